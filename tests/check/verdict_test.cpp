#include <gtest/gtest.h>

#include "check/verdict.h"

namespace talvo {
namespace {

using L = EvidenceLevel;

// Builds a record from the names of the findings that are true.
struct Findings {
  CheckResult r;
  Findings& noRoute() { r.noActiveRoute = true; return *this; }
  Findings& route() { r.hasDefaultRoute = true; return *this; }
  Findings& observed() { r.publicAddressObserved = true; return *this; }
  Findings& direct() { r.directPublicIpv4 = true; return *this; }
  Findings& localUnconfirmed() { r.localPublicIpv4Unconfirmed = true; return *this; }
  Findings& matches() { r.routerAddressMatches = true; return *this; }
  Findings& mismatch() { r.routerAddressMismatch = true; return *this; }
  Findings& upnp() { r.upnpAddressReceived = true; return *this; }
  Findings& natpmp() { r.natpmpAddressMatches = true; return *this; }
  Findings& pcp() { r.pcpSupported = true; return *this; }
  Findings& discovered() { r.gatewayDiscovered = true; return *this; }
  Findings& cgnat() { r.upnpAddressIsCgnat = true; return *this; }
  Findings& ipv6() { r.publicIpv6Route = true; return *this; }
  Findings& indirect() { r.indirectPath = true; return *this; }
};

// The reason by its number in the catalogue, so the table reads as the cascade is written.
struct Expected {
  int score;
  EvidenceLevel level;
  int reason;
};

struct Case {
  const char* name;
  CheckResult record;
  Expected expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class VerdictCascade : public ::testing::TestWithParam<Case> {};

TEST_P(VerdictCascade, GivesTheExpectedScoreLevelAndReason) {
  const Case& c = GetParam();
  const Verdict v = DecideVerdict(c.record);
  EXPECT_EQ(v.score, c.expected.score);
  EXPECT_EQ(v.level, c.expected.level);
  EXPECT_EQ(Index(v.reason), c.expected.reason);
}

const Case kCases[] = {
    {"NothingFound", Findings().r, {35, L::Low, 2}},
    {"NoActiveRouteWinsOverEverything",
     Findings().noRoute().direct().ipv6().route().observed().matches().upnp().r, {3, L::High, 0}},
    {"DirectPublic", Findings().route().observed().direct().r, {90, L::High, 3}},
    {"DirectBeatsIpv6", Findings().direct().ipv6().r, {90, L::High, 3}},
    {"LocalUnconfirmed", Findings().route().localUnconfirmed().r, {80, L::Medium, 4}},
    {"EqualScoreHigherLevelReplaces", Findings().localUnconfirmed().ipv6().r, {80, L::High, 5}},
    {"DirectNotCleanWhenIndirect", Findings().direct().indirect().r, {35, L::Low, 2}},
    {"Ipv6IsNotSubjectToClean", Findings().direct().indirect().ipv6().r, {80, L::High, 5}},
    {"LocalUnconfirmedNotCleanWithCgnat", Findings().localUnconfirmed().cgnat().r,
     {20, L::Medium, 11}},
    {"UpnpMatchWinsOverNatPmpAndPcp",
     Findings().route().observed().matches().upnp().natpmp().pcp().r, {82, L::High, 6}},
    {"NatPmpMatch", Findings().route().observed().matches().natpmp().r, {78, L::High, 7}},
    {"NatPmpMatchWithPcp", Findings().route().observed().matches().natpmp().pcp().r,
     {78, L::High, 7}},
    {"PcpOnlyWithMatch", Findings().route().observed().matches().pcp().r, {74, L::High, 8}},
    {"MatchWithoutMapping", Findings().route().observed().matches().r, {45, L::Low, 9}},
    {"UpnpMatchBeatsIpv6", Findings().route().observed().matches().upnp().ipv6().r,
     {82, L::High, 6}},
    {"Ipv6BeatsNatPmpMatch", Findings().route().observed().matches().natpmp().ipv6().r,
     {80, L::High, 5}},
    {"DirectBeatsUpnpMatch", Findings().route().observed().direct().matches().upnp().r,
     {90, L::High, 3}},
    {"GatewayDiscoveredOnly", Findings().route().observed().discovered().r, {40, L::Low, 10}},
    {"GatewayDiscoveredWithIpv6", Findings().route().observed().discovered().ipv6().r,
     {80, L::High, 5}},
    {"MatchAndDiscoveredTakesMatchPath", Findings().route().observed().discovered().matches().r,
     {45, L::Low, 9}},
    {"RouterRulesNeedDefaultRoute", Findings().observed().matches().upnp().r, {35, L::Low, 2}},
    {"RouterRulesNeedObservedAddress", Findings().route().matches().upnp().r, {35, L::Low, 2}},
    {"RouterRulesNeedCleanPath", Findings().route().observed().matches().upnp().indirect().r,
     {35, L::Low, 2}},
    {"DiscoveredWithMismatchGivesDoubleNat", Findings().route().observed().discovered().mismatch().r,
     {30, L::Medium, 12}},
    {"CgnatNamedBeforeDoubleNat", Findings().route().observed().upnp().mismatch().cgnat().r,
     {20, L::Medium, 11}},
    {"CgnatWithIpv6", Findings().route().observed().upnp().mismatch().cgnat().ipv6().r,
     {80, L::High, 5}},
    {"IndirectWithMismatchStillDoubleNat", Findings().route().observed().mismatch().indirect().r,
     {30, L::Medium, 12}},
    {"NatRulesDoNotLowerAPositiveFinding",
     Findings().route().observed().localUnconfirmed().mismatch().ipv6().r, {80, L::High, 5}},
    {"DoubleNatNeedsNoDefaultRoute", Findings().mismatch().r, {30, L::Medium, 12}},
};

INSTANTIATE_TEST_SUITE_P(Cases, VerdictCascade, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           return std::string(param.param.name);
                         });

// Every reason always carries the same score and level, whichever path chose it.
TEST(VerdictCascade, EachReasonKeepsOneScoreAndLevel) {
  Verdict seen[kReasonCount]{};
  bool present[kReasonCount]{};
  for (unsigned bits = 0; bits < (1u << 14); ++bits) {
    CheckResult r;
    bool* fields[] = {&r.noActiveRoute,       &r.hasDefaultRoute,     &r.publicAddressObserved,
                      &r.directPublicIpv4,    &r.localPublicIpv4Unconfirmed,
                      &r.routerAddressMatches, &r.routerAddressMismatch, &r.upnpAddressReceived,
                      &r.natpmpAddressMatches, &r.pcpSupported,       &r.gatewayDiscovered,
                      &r.upnpAddressIsCgnat,  &r.publicIpv6Route,     &r.indirectPath};
    for (unsigned i = 0; i < 14; ++i) *fields[i] = ((bits >> i) & 1u) != 0;
    const Verdict v = DecideVerdict(r);
    const int reason = Index(v.reason);
    ASSERT_GE(reason, 0);
    ASSERT_LT(reason, kReasonCount);
    ASSERT_NE(v.reason, ReasonId::BlockingPolicyConfirmed) << "no rule picks it";
    ASSERT_GE(v.score, 0);
    ASSERT_LE(v.score, 100);
    if (present[reason]) {
      ASSERT_EQ(seen[reason], v) << "reason " << reason;
    } else {
      present[reason] = true;
      seen[reason] = v;
    }
  }
  for (int reason = 0; reason < kReasonCount; ++reason) {
    EXPECT_EQ(present[reason], reason != 1) << "reason " << reason;
  }
}

}  // namespace
}  // namespace talvo
