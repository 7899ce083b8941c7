#include "check/verdict.h"

namespace talvo {
namespace {

// Each reason always comes with the same score and level.
constexpr Verdict kNoActiveRoute{3, EvidenceLevel::High, ReasonId::NoActiveRoute};
constexpr Verdict kUnchecked{35, EvidenceLevel::Low, ReasonId::RequirementsUnchecked};
constexpr Verdict kDirectPublic{90, EvidenceLevel::High, ReasonId::DirectPublicIpv4};
constexpr Verdict kLocalPublicUnconfirmed{80, EvidenceLevel::Medium,
                                           ReasonId::LocalPublicIpv4Unconfirmed};
constexpr Verdict kPublicIpv6{80, EvidenceLevel::High, ReasonId::PublicIpv6Route};
constexpr Verdict kUpnpMatch{82, EvidenceLevel::High, ReasonId::UpnpAddressMatches};
constexpr Verdict kNatPmpMatch{78, EvidenceLevel::High, ReasonId::NatPmpAddressMatches};
constexpr Verdict kPcpMatch{74, EvidenceLevel::High, ReasonId::PcpAddressMatches};
constexpr Verdict kRouterMatchUnmapped{45, EvidenceLevel::Low,
                                        ReasonId::RouterAddressMatchesUnmapped};
constexpr Verdict kRouterFound{40, EvidenceLevel::Low, ReasonId::RouterServiceFound};
constexpr Verdict kCarrierGradeNat{20, EvidenceLevel::Medium, ReasonId::CarrierGradeNat};
constexpr Verdict kDoubleNat{30, EvidenceLevel::Medium, ReasonId::DoubleNat};

// A candidate replaces the current verdict only when it is better; a tie keeps the earlier.
void RaiseTo(Verdict& current, const Verdict& candidate) {
  if (candidate.score > current.score ||
      (candidate.score == current.score && candidate.level > current.level)) {
    current = candidate;
  }
}

}  // namespace

Verdict DecideVerdict(const CheckResult& r) {
  if (r.noActiveRoute) return kNoActiveRoute;

  Verdict verdict = kUnchecked;
  // A possibly indirect path or any sign of a second NAT rules out the direct-address and
  // router-match verdicts.
  const bool clean = !r.indirectPath && !r.routerAddressMismatch && !r.upnpAddressIsCgnat;

  if (r.directPublicIpv4 && clean) RaiseTo(verdict, kDirectPublic);
  if (r.localPublicIpv4Unconfirmed && clean) RaiseTo(verdict, kLocalPublicUnconfirmed);
  if (r.publicIpv6Route) RaiseTo(verdict, kPublicIpv6);

  if (r.hasDefaultRoute && r.publicAddressObserved && clean) {
    if (r.routerAddressMatches) {
      if (r.upnpAddressReceived) RaiseTo(verdict, kUpnpMatch);
      if (r.natpmpAddressMatches) RaiseTo(verdict, kNatPmpMatch);
      RaiseTo(verdict, r.pcpSupported ? kPcpMatch : kRouterMatchUnmapped);
    }
    if (r.gatewayDiscovered && !r.routerAddressMatches) {
      RaiseTo(verdict, kRouterFound);
      return verdict;
    }
  }

  // With nothing positive found, signs of a second NAT lower the score below the default.
  if (verdict.score <= kUnchecked.score) {
    if (r.upnpAddressIsCgnat) {
      verdict = kCarrierGradeNat;
    } else if (r.routerAddressMismatch) {
      verdict = kDoubleNat;
    }
  }
  return verdict;
}

}  // namespace talvo
