#include "check/local/network_rules.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "os/endpoint.h"
#include "support/answers.h"

namespace talvo {
namespace {

AdapterFacts Adapter(bool up, bool loopback, std::vector<AddressFact> addresses) {
  AdapterFacts adapter;
  adapter.up = up;
  adapter.loopback = loopback;
  adapter.addresses = std::move(addresses);
  return adapter;
}

constexpr AddressFact kV4{AddressFamily::Ipv4, true};
constexpr AddressFact kV6{AddressFamily::Ipv6, true};
constexpr AddressFact kV4Tentative{AddressFamily::Ipv4, false};
constexpr AddressFact kV6Tentative{AddressFamily::Ipv6, false};
constexpr AddressFact kOther{AddressFamily::Other, true};

TEST(AdapterAddresses, CountsOnlyPreferredAddressesOnUpNonLoopbackAdapters) {
  const std::vector<AdapterFacts> adapters = {
      Adapter(true, true, {kV4, kV6}),                  // loopback: never counted
      Adapter(false, false, {kV4, kV6}),                // down
      Adapter(true, false, {kV4, kV4Tentative, kV6}),   // one tentative IPv4 dropped
      Adapter(true, false, {kV6, kV6, kV6Tentative, kOther}),
  };
  const AddressCounts counts = CountAdapterAddresses(adapters);
  EXPECT_EQ(counts.ipv4, 1u);
  EXPECT_EQ(counts.ipv6, 3u);
}

TEST(AdapterAddresses, OnlyTentativeAddressesCountNothingButTheAdapterIsActive) {
  const std::vector<AdapterFacts> adapters = {Adapter(true, false, {kV4Tentative}),
                                              Adapter(true, true, {kV4})};
  const AddressCounts counts = CountAdapterAddresses(adapters);
  EXPECT_EQ(counts.ipv4, 0u);
  EXPECT_EQ(counts.ipv6, 0u);
  EXPECT_TRUE(AnyActiveAdapter(adapters));
}

TEST(AdapterAddresses, OnlyLoopbackOrDownAdaptersAreNotActive) {
  EXPECT_FALSE(AnyActiveAdapter({}));
  EXPECT_FALSE(AnyActiveAdapter({Adapter(true, true, {kV4}), Adapter(false, false, {kV4})}));
  EXPECT_TRUE(AnyActiveAdapter({Adapter(false, false, {}), Adapter(true, false, {})}));
}

TEST(AdapterAddresses, AFailedReadIsNeitherNoAdaptersNorAnInactiveList) {
  const std::vector<AdapterFacts> up = {Adapter(true, false, {kV4, kV6})};
  EXPECT_FALSE(PreferredAddressCounts(EnumerationStatus::Failed, up));
  EXPECT_FALSE(NoActiveAdapter(EnumerationStatus::Failed, {}));
  const std::optional<AddressCounts> none = PreferredAddressCounts(EnumerationStatus::NoData, up);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->ipv4 + none->ipv6, 0u);
  EXPECT_TRUE(NoActiveAdapter(EnumerationStatus::NoData, up));
  EXPECT_EQ(PreferredAddressCounts(EnumerationStatus::Ok, up).value_or(AddressCounts{}).ipv6, 1u);
  EXPECT_FALSE(NoActiveAdapter(EnumerationStatus::Ok, up));
}

TEST(AdapterAddresses, LinksAndTheirAddressesMakeTheAdaptersUnlessADumpFailed) {
  const std::vector<LinkFacts> links = {{1, "lo", true, true, "", false},
                                        {2, "eth0", false, true, "", false}};
  const std::vector<LinkAddress> addresses = {{2, kV4}, {1, kV6}, {2, kV6Tentative}, {9, kV4}};
  std::vector<AdapterFacts> adapters = {Adapter(true, false, {kV4})};
  EXPECT_EQ(AdaptersOf(std::nullopt, addresses, adapters), EnumerationStatus::Failed);
  EXPECT_TRUE(adapters.empty());
  EXPECT_EQ(AdaptersOf(links, std::nullopt, adapters), EnumerationStatus::Failed);
  EXPECT_EQ(AdaptersOf(std::vector<LinkFacts>{}, addresses, adapters), EnumerationStatus::NoData);
  ASSERT_EQ(AdaptersOf(links, addresses, adapters), EnumerationStatus::Ok);
  ASSERT_EQ(adapters.size(), 2u);
  EXPECT_TRUE(adapters[0].loopback);
  EXPECT_EQ(adapters[1].addresses.size(), 2u);
  EXPECT_EQ(CountAdapterAddresses(adapters).ipv4, 1u);
}

TEST(LinkKinds, TunnelsAreKnownByTheirDriverOrAnEncapsulatingLinkType) {
  for (const char* kind : {"tun", "wireguard", "xfrm", "vti", "vti6", "ipip", "ip6tnl", "sit",
                           "gre", "gretap", "ip6gre", "ip6gretap", "erspan", "ip6erspan",
                           "l2tpeth", "vxlan", "geneve", "bareudp", "gtp", "ppp"}) {
    EXPECT_TRUE(LinkKindIsTunnel(kind)) << kind;
  }
  for (const char* kind : {"", "veth", "bridge", "vlan", "macvlan", "bond", "dummy", "wireguar"}) {
    EXPECT_FALSE(LinkKindIsTunnel(kind)) << kind;
  }
  const std::vector<LinkFacts> links = {{4, "wg0", false, true, "wireguard", false},
                                        {5, "gre1", false, false, "", true},
                                        {2, "eth0", false, true, "veth", false}};
  for (const auto& [index, tunnel, up] : {std::tuple{4u, true, true}, std::tuple{5u, true, false},
                                          std::tuple{2u, false, true}}) {
    const InterfaceFacts facts = InterfaceOf(links, index);
    EXPECT_TRUE(facts.readable) << index;
    EXPECT_EQ(facts.isTunnel, tunnel) << index;
    EXPECT_EQ(facts.up, up) << index;
  }
  EXPECT_FALSE(InterfaceOf(links, 9).readable);
  EXPECT_FALSE(InterfaceOf(std::nullopt, 4).readable);
}

TEST(LinkKinds, WindowsInterfaceRowsAreTunnelsByTypeOrTunnelType) {
  test::AnswerLog answers;
  for (const auto& [name, type, tunnelType, tunnel] :
       {std::tuple{"Wintun, WireGuard (53)", 53u, 0u, true}, {"PPP, dial-up or VPN", 23u, 0u, true},
        {"a tunnel type on any row", 1u, 11u, true}, {"Ethernet, Hyper-V, TAP", 6u, 0u, false},
        {"Wi-Fi", 71u, 0u, false}}) {
    EXPECT_EQ(InterfaceTypeIsTunnel(type, tunnelType), tunnel) << name;
    answers.Record(name, InterfaceTypeIsTunnel(type, tunnelType) ? "tunnel" : "no tunnel");
  }
}

// A scripted GetAdaptersAddresses: each call takes the next answer and the size it asks for.
struct ScriptedFill {
  std::vector<FillAnswer> answers;
  std::vector<std::uint32_t> wantedSizes;
  std::vector<std::uint32_t> offeredSizes;

  FillAnswer operator()(std::uint8_t* data, std::uint32_t& size) {
    const std::size_t call = offeredSizes.size();
    offeredSizes.push_back(size);
    EXPECT_EQ(data[size - 1], 0) << "the buffer is handed over zero-filled";
    if (call >= answers.size()) return FillAnswer::Failed;
    if (answers[call] == FillAnswer::BufferTooSmall) size = wantedSizes[call];
    return answers[call];
  }
};

TEST(AdapterEnumeration, GrowsTheBufferToTheAskedSizeAtMostTwice) {
  struct Case {
    const char* name;
    std::vector<FillAnswer> answers;
    EnumerationStatus expected;
    std::size_t calls;
  };
  using A = FillAnswer;
  const Case cases[] = {
      {"filled at once", {A::Filled}, EnumerationStatus::Ok, 1},
      {"no adapters", {A::NoData}, EnumerationStatus::NoData, 1},
      {"call fails", {A::Failed}, EnumerationStatus::Failed, 1},
      {"grows once", {A::BufferTooSmall, A::Filled}, EnumerationStatus::Ok, 2},
      {"grows twice", {A::BufferTooSmall, A::BufferTooSmall, A::Filled}, EnumerationStatus::Ok, 3},
      {"three overflows",
       {A::BufferTooSmall, A::BufferTooSmall, A::BufferTooSmall, A::Filled},
       EnumerationStatus::Failed,
       3},
      {"no data after growing", {A::BufferTooSmall, A::NoData}, EnumerationStatus::NoData, 2},
  };
  for (const Case& c : cases) {
    ScriptedFill fill{c.answers, {20000, 30000, 40000, 50000}, {}};
    std::vector<std::uint8_t> buffer;
    EXPECT_EQ(FillGrowingBuffer(buffer, std::ref(fill)), c.expected) << c.name;
    ASSERT_EQ(fill.offeredSizes.size(), c.calls) << c.name;
    EXPECT_EQ(fill.offeredSizes[0], kAdapterBufferStartBytes) << c.name;
    for (std::size_t i = 1; i < c.calls; ++i) {
      EXPECT_EQ(fill.offeredSizes[i], fill.wantedSizes[i - 1]) << c.name;
    }
  }
}

TEST(AdapterEnumeration, AnOverflowAskingForNoBytesIsAFailure) {
  std::vector<std::uint8_t> buffer;
  int calls = 0;
  const auto fill = [&calls](std::uint8_t*, std::uint32_t& size) {
    ++calls;
    size = 0;
    return FillAnswer::BufferTooSmall;
  };
  EXPECT_EQ(FillGrowingBuffer(buffer, fill), EnumerationStatus::Failed);
  EXPECT_EQ(calls, 1);
}

// A connected, readable IPv4 default route.
RouteRow Default(std::uint32_t index, std::uint32_t gateway, std::uint32_t routeMetric,
                 std::uint32_t interfaceMetric) {
  RouteRow row;
  row.prefixLength = 0;
  row.nextHopFamily = AddressFamily::Ipv4;
  row.nextHopIpv4 = gateway;
  row.interfaceIndex = index;
  row.interfaceLuid = 1000 + index;
  row.routeMetric = routeMetric;
  row.interfaceReadable = true;
  row.interfaceConnected = true;
  row.interfaceMetric = interfaceMetric;
  return row;
}

const std::uint32_t kGatewayA = Ipv4FromParts(192, 168, 1, 1);
const std::uint32_t kGatewayB = Ipv4FromParts(10, 0, 0, 1);

TEST(DefaultRouteChoice, PicksTheLowestSumOfRouteAndInterfaceMetric) {
  struct Case {
    const char* name;
    std::vector<RouteRow> rows;
    std::optional<std::size_t> expected;
  };
  RouteRow unreadable = Default(3, kGatewayB, 0, 0);
  unreadable.interfaceReadable = false;
  RouteRow disconnected = Default(3, kGatewayB, 0, 0);
  disconnected.interfaceConnected = false;
  RouteRow notDefault = Default(3, kGatewayB, 0, 0);
  notDefault.prefixLength = 8;
  RouteRow ipv6NextHop = Default(3, 0, 0, 0);
  ipv6NextHop.nextHopFamily = AddressFamily::Ipv6;
  RouteRow laterTable = Default(2, kGatewayB, 0, 0);
  laterTable.lookupOrder = 1;
  const Case cases[] = {
      {"empty table", {}, std::nullopt},
      {"interface metric 25 beats 35",
       {Default(1, kGatewayA, 0, 35), Default(2, kGatewayB, 0, 25)}, 1},
      {"route metric counts as well",
       {Default(1, kGatewayA, 10, 20), Default(2, kGatewayB, 40, 0)}, 0},
      {"equal sums keep the first row",
       {Default(1, kGatewayA, 10, 25), Default(2, kGatewayB, 25, 10)}, 0},
      {"equal sums keep the first row, reversed",
       {Default(2, kGatewayB, 25, 10), Default(1, kGatewayA, 10, 25)}, 0},
      {"a sum past 32 bits never wins",
       {Default(1, kGatewayA, 0xFFFFFFF0u, 0x20), Default(2, kGatewayB, 4000, 4000)}, 1},
      {"a sum past 32 bits alone is no route", {Default(1, kGatewayA, 0xFFFFFFFFu, 1)},
       std::nullopt},
      {"a sum of exactly 32 bits still counts", {Default(1, kGatewayA, 0xFFFFFFFEu, 1)}, 0},
      {"an unreadable interface drops its row", {unreadable, Default(1, kGatewayA, 50, 50)}, 1},
      {"a disconnected interface drops its row", {disconnected, Default(1, kGatewayA, 50, 50)},
       1},
      {"only default routes count", {notDefault, Default(1, kGatewayA, 50, 50)}, 1},
      {"an IPv6 next hop does not count", {ipv6NextHop}, std::nullopt},
      {"an on-link default route counts", {Default(4, 0, 0, 5)}, 0},
      {"an earlier table wins whatever it costs", {Default(1, kGatewayA, 500, 0), laterTable}, 0},
      {"a later table when the earlier has no usable row", {disconnected, laterTable}, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseDefaultRoute(c.rows), c.expected) << c.name;
  }
}

TEST(DefaultRouteChoice, TheReachedTablesJoinInRuleOrderWithTheirLinksState) {
  const std::vector<LinkFacts> links = {{2, "eth0", false, true, "", false},
                                        {3, "eth1", false, false, "", false},
                                        {4, "wg0", false, true, "wireguard", false}};
  RoutingRule vpn;
  vpn.priority = 10;
  vpn.table = 51820;
  RoutingRule main;
  main.priority = 32766;
  main.table = 254;
  const std::vector<RoutingRule> rules = {main, vpn};
  const std::vector<TableRoute> routes = {{254, Default(2, kGatewayA, 100, 0)},
                                          {51820, Default(4, 0, 500, 0)},
                                          {100, Default(2, kGatewayB, 0, 0)},
                                          {254, Default(3, kGatewayB, 0, 0)},
                                          {254, Default(7, kGatewayB, 0, 0)}};
  const auto rows = DefaultRoutesOf(links, rules, routes, 0);
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 4u);
  const std::uint32_t indexes[] = {4, 2, 3, 7};
  const std::uint32_t orders[] = {0, 1, 1, 1};
  const bool connected[] = {true, true, false, false};
  for (std::size_t i = 0; i < rows->size(); ++i) {
    EXPECT_EQ((*rows)[i].interfaceIndex, indexes[i]) << i;
    EXPECT_EQ((*rows)[i].lookupOrder, orders[i]) << i;
    EXPECT_EQ((*rows)[i].interfaceConnected, connected[i]) << i;
    EXPECT_EQ((*rows)[i].interfaceReadable, i != 3) << i;
  }
  EXPECT_EQ(ChooseDefaultRoute(*rows), 0u) << "the VPN's table first, whatever it costs";
  EXPECT_FALSE(DefaultRoutesOf(std::nullopt, rules, routes, 0));
  EXPECT_FALSE(DefaultRoutesOf(links, std::nullopt, routes, 0));
  EXPECT_FALSE(DefaultRoutesOf(links, rules, std::nullopt, 0));
}

RoutingRule Rule(std::uint32_t priority, RuleAction action, std::uint32_t target = 0) {
  RoutingRule rule;
  rule.priority = priority;
  rule.action = action;
  rule.table = target;
  rule.gotoPriority = target;
  return rule;
}

// A rule looking up table 9 at priority 100, changed by `change`.
RoutingRule Table9(void (*change)(RoutingRule&)) {
  RoutingRule rule = Rule(100, RuleAction::LookUpTable, 9);
  change(rule);
  return rule;
}

TEST(PolicyRules, ListTheTablesInTheOrderTheRulesReachThem) {
  constexpr RuleAction kTable = RuleAction::LookUpTable;
  const RoutingRule main = Rule(32766, kTable, 254);
  RoutingRule suppressed = Rule(50, kTable, 254);
  suppressed.suppressesDefaultRoutes = true;
  const auto marked = [](RoutingRule& r) { r.mark = 0x51, r.markMask = 0xFFFFFFFFu; };
  const std::vector<LinkFacts> links = {{1, "lo", true, true, "", false},
                                        {2, "eth0", false, true, "", false}};
  struct Case {
    const char* name;
    std::vector<RoutingRule> rules;
    std::vector<std::uint32_t> expected;
  };
  const Case cases[] = {
      {"in priority order", {main, Rule(0, kTable, 255)}, {255, 254}},
      {"each table once", {Rule(10, kTable, 9), Rule(20, kTable, 9), main}, {9, 254}},
      {"a jump passes the rules between",
       {Rule(60, RuleAction::Goto, 32766), Rule(100, kTable, 9), main}, {254}},
      {"a jump without a target is passed by",
       {Rule(60, RuleAction::Goto, 32000), Rule(70, RuleAction::Continue), Rule(100, kTable, 9),
        main},
       {9, 254}},
      {"a refusing rule ends the walk",
       {Rule(0, kTable, 255), Rule(200, RuleAction::Refuse), main}, {255}},
      {"suppress_prefixlength 0 passes the table on", {suppressed, Rule(100, kTable, 9), main},
       {9, 254}},
      {"a mark rule misses unmarked traffic", {Table9(marked), main}, {254}},
      {"not a mark",
       {Table9([](RoutingRule& r) { r.mark = 0x51, r.markMask = 0xFF, r.inverted = true; }), main},
       {9, 254}},
      {"a mark under a mask of 0", {Table9([](RoutingRule& r) { r.mark = 0x51; }), main}, {9, 254}},
      {"not from one address",
       {Table9([](RoutingRule& r) { r.sourceLength = 32, r.inverted = true; }), main}, {9, 254}},
      {"not from all", {Table9([](RoutingRule& r) { r.inverted = true; }), main}, {254}},
      {"a uid range ending at the sender",
       {Table9([](RoutingRule& r) { r.hasUidRange = true; }), main}, {9, 254}},
      {"another uid range",
       {Table9([](RoutingRule& r) { r.hasUidRange = true, r.uidFirst = 1, r.uidLast = ~0u; }),
        main},
       {254}},
      {"from the loopback input", {Table9([](RoutingRule& r) { r.inputName = "lo"; }), main},
       {9, 254}},
      {"from another input", {Table9([](RoutingRule& r) { r.inputName = "eth0"; }), main}, {254}},
      {"from an input that is gone",
       {Table9([](RoutingRule& r) { r.inputName = "lo", r.inputGone = true; }), main}, {254}},
      {"another selector", {Table9([](RoutingRule& r) { r.otherSelector = true; }), main}, {254}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TablesConsulted(c.rules, links, 0), c.expected) << c.name;
  }
}

BestRouteAnswer Agreeing(const RouteRow& row, std::uint32_t source) {
  BestRouteAnswer best;
  best.ok = true;
  best.sourceFamily = AddressFamily::Ipv4;
  best.sourceIpv4 = source;
  best.prefixLength = 0;
  best.interfaceIndex = row.interfaceIndex;
  best.nextHopIpv4 = row.nextHopIpv4;
  return best;
}

TEST(DefaultRouteConfirmation, FillsTheRouteWhenTheSystemLookupAgrees) {
  const RouteRow row = Default(7, kGatewayA, 0, 25);
  const std::uint32_t source = Ipv4FromParts(192, 168, 1, 20);
  DefaultRoute route;
  ASSERT_TRUE(ConfirmDefaultRoute({row}, 0, Agreeing(row, source), Agreeing(row, source), route));
  EXPECT_EQ(route.localAddress, source);
  EXPECT_EQ(route.gatewayAddress, kGatewayA);
  EXPECT_EQ(route.interfaceIndex, 7u);
}

TEST(DefaultRouteConfirmation, EachDisagreementRejectsTheWholeLookup) {
  const RouteRow row = Default(7, kGatewayA, 0, 25);
  const std::uint32_t source = Ipv4FromParts(192, 168, 1, 20);
  struct Case {
    const char* name;
    void (*spoil)(BestRouteAnswer&);
  };
  const Case cases[] = {
      {"lookup failed", [](BestRouteAnswer& b) { b.ok = false; }},
      {"source not IPv4", [](BestRouteAnswer& b) { b.sourceFamily = AddressFamily::Ipv6; }},
      {"source 0", [](BestRouteAnswer& b) { b.sourceIpv4 = 0; }},
      {"a more specific route matched", [](BestRouteAnswer& b) { b.prefixLength = 1; }},
      {"another interface", [](BestRouteAnswer& b) { b.interfaceIndex = 8; }},
      {"another next hop", [](BestRouteAnswer& b) { b.nextHopIpv4 = kGatewayB; }},
      {"no next hop where the row has one", [](BestRouteAnswer& b) { b.nextHopIpv4 = 0; }},
  };
  for (const Case& c : cases) {
    BestRouteAnswer best = Agreeing(row, source);
    c.spoil(best);
    DefaultRoute route{1, 2, 3};
    EXPECT_FALSE(ConfirmDefaultRoute({row}, 0, best, Agreeing(row, source), route)) << c.name;
    EXPECT_EQ(route.localAddress, 0u) << c.name;
    EXPECT_EQ(route.gatewayAddress, 0u) << c.name;
    EXPECT_EQ(route.interfaceIndex, 0u) << c.name;
  }
}

// The unpinned lookup: the route that traffic to the address really takes.
TEST(DefaultRouteConfirmation, TheRouteTrafficTakesMustLeadTheChosenWay) {
  const RouteRow lan = Default(7, kGatewayA, 0, 25);
  RouteRow halfRoute = Default(4, kGatewayB, 0, 1);
  halfRoute.prefixLength = 1;
  const RouteRow other = Default(8, kGatewayB, 0, 30);
  const RouteRow sibling = Default(9, kGatewayB, 0, 25);
  test::AnswerLog answers;
  for (const auto& [name, rows, taken, confirmed] :
       {std::tuple{"a split or full tunnel's half route", std::vector{lan}, halfRoute, false},
        {"another interface's default route", std::vector{lan, other}, other, false},
        {"an equal-cost next hop of the same table", std::vector{lan, sibling}, sibling, true}}) {
    BestRouteAnswer lookup = Agreeing(taken, 1);
    lookup.prefixLength = taken.prefixLength;
    const std::size_t kept = ChooseDefaultRoute(rows).value_or(rows.size());  // always lan
    DefaultRoute route;
    const bool answer = ConfirmDefaultRoute(rows, kept, Agreeing(lan, 1), lookup, route);
    EXPECT_EQ(answer, confirmed) << name;
    answers.Record(name, answer ? "confirmed" : "not confirmed");
  }
}

TEST(OtherDefaultRoute, OnlyAConnectedInterfaceWithAGatewayCounts) {
  struct Case {
    const char* name;
    std::vector<RouteRow> rows;
    bool answered;
    bool other;
  };
  RouteRow otherDisconnected = Default(2, kGatewayB, 0, 0);
  otherDisconnected.interfaceConnected = false;
  RouteRow otherUnreadable = Default(2, kGatewayB, 0, 0);
  otherUnreadable.interfaceReadable = false;
  RouteRow ownUnreadable = Default(1, kGatewayA, 0, 0);
  ownUnreadable.interfaceReadable = false;
  RouteRow unreadableWithoutGateway = Default(3, 0, 0, 0);
  unreadableWithoutGateway.interfaceReadable = false;
  RouteRow otherNotDefault = Default(2, kGatewayB, 0, 0);
  otherNotDefault.prefixLength = 1;
  const Case cases[] = {
      {"only the own route", {Default(1, kGatewayA, 0, 0)}, true, false},
      {"a VPN's route on another connected interface",
       {Default(1, kGatewayA, 0, 0), Default(2, kGatewayB, 0, 0)}, true, true},
      {"another interface, but disconnected", {Default(1, kGatewayA, 0, 0), otherDisconnected},
       true, false},
      {"another on-link route without a gateway", {Default(1, kGatewayA, 0, 0), Default(3, 0, 0, 0)},
       true, false},
      {"another interface that cannot be read", {Default(1, kGatewayA, 0, 0), otherUnreadable},
       false, false},
      {"a connected one before an unreadable one",
       {Default(2, kGatewayB, 0, 0), Default(3, kGatewayB, 0, 0), otherUnreadable}, true, true},
      {"the own interface unreadable does not matter", {ownUnreadable}, true, false},
      {"unreadable without a gateway does not matter", {unreadableWithoutGateway}, true, false},
      {"a half-default route is not a default route", {otherNotDefault}, true, false},
      {"Ethernet and Wi-Fi to one router",
       {Default(1, kGatewayA, 0, 0), Default(2, kGatewayA, 0, 0)}, true, false},
  };
  test::AnswerLog answers;
  for (const Case& c : cases) {
    bool other = !c.other;
    EXPECT_EQ(FindOtherDefaultRoute(c.rows, 1, other), c.answered) << c.name;
    EXPECT_EQ(other, c.other) << c.name;
    answers.Record(c.name, other ? "other route" : "none");
  }
  bool other = true;
  EXPECT_FALSE(FindOtherDefaultRoute(std::nullopt, 1, other)) << "the route table unreadable";
  EXPECT_FALSE(other);
}

TEST(IndirectPath, AnythingUnreadableOrSuspiciousMakesThePathIndirect) {
  const InterfaceFacts ethernet{true, false, true};
  const InterfaceFacts tunnel{true, true, true};
  const InterfaceFacts unreadable{false, false, false};
  const ProxyFacts noProxy{true, false};
  const ProxyFacts proxy{true, true};
  const ProxyFacts proxyUnknown{false, false};
  struct Case {
    const char* name;
    bool answered;
    bool other;
    InterfaceFacts routeInterface;
    ProxyFacts proxy;
    bool expected;
  };
  const Case cases[] = {
      {"plain ethernet, one route, no proxy", true, false, ethernet, noProxy, false},
      {"another connected default route", true, true, ethernet, noProxy, true},
      {"other routes unanswered", false, false, ethernet, noProxy, true},
      {"tunnel interface (type 131)", true, false, tunnel, noProxy, true},
      {"interface row unreadable", true, false, unreadable, noProxy, true},
      {"a named proxy", true, false, ethernet, proxy, true},
      {"proxy configuration unreadable", true, false, ethernet, proxyUnknown, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CombineIndirectPath(c.answered, c.other, c.routeInterface, c.proxy), c.expected)
        << c.name;
  }
}

TEST(IndirectPath, AUserProxyServerOrScriptCountsButAutomaticDetectionAloneDoesNot) {
  test::AnswerLog answers;
  for (const auto& [name, user, expected] :
       {std::tuple{"detect settings automatically alone", UserProxySettings{true, true}, "none"},
        {"the user's proxy server", UserProxySettings{true, true, true}, "proxy"},
        {"the user's configuration script", UserProxySettings{true, false, false, true}, "proxy"},
        {"the user's settings unreadable", UserProxySettings{}, "unreadable"}}) {
    const ProxyFacts facts = CombineProxySettings({true, false}, user);
    const char* answer = !facts.readable ? "unreadable" : facts.configured ? "proxy" : "none";
    EXPECT_STREQ(answer, expected) << name;
    answers.Record(name, answer);
  }
}

// An IPv6 source address from its first two bytes and its last byte.
BestRouteAnswer Ipv6Best(std::uint8_t x0, std::uint8_t x1, std::uint8_t x15) {
  BestRouteAnswer best;
  best.ok = true;
  best.sourceFamily = AddressFamily::Ipv6;
  best.sourceIpv6[0] = x0;
  best.sourceIpv6[1] = x1;
  best.sourceIpv6[15] = x15;
  best.interfaceIndex = 4;
  return best;
}

TEST(Ipv6Path, TheSourceMustBeGlobalUnicast) {
  EXPECT_TRUE(Ipv6SourceQualifies(Ipv6Best(0x2a, 0x00, 5)));
  EXPECT_FALSE(Ipv6SourceQualifies(Ipv6Best(0xfe, 0x80, 1)));  // link-local
  EXPECT_FALSE(Ipv6SourceQualifies(Ipv6Best(0xfd, 0x00, 1)));  // unique local
  EXPECT_FALSE(Ipv6SourceQualifies(Ipv6Best(0x20, 0x02, 1)));  // 6to4
  EXPECT_FALSE(Ipv6SourceQualifies(Ipv6Best(0x20, 0x01, 1)));  // Teredo, 2001::/32
  EXPECT_FALSE(Ipv6SourceQualifies(Ipv6Best(0x00, 0x00, 1)));  // ::1
  BestRouteAnswer failed = Ipv6Best(0x2a, 0x00, 5);
  failed.ok = false;
  EXPECT_FALSE(Ipv6SourceQualifies(failed));
  BestRouteAnswer ipv4Source = Ipv6Best(0x2a, 0x00, 5);
  ipv4Source.sourceFamily = AddressFamily::Ipv4;
  EXPECT_FALSE(Ipv6SourceQualifies(ipv4Source));
}

TEST(Ipv6Path, TheInterfaceMustBeReadableUpAndNoTunnel) {
  EXPECT_TRUE(Ipv6InterfaceQualifies({true, false, true}));
  EXPECT_FALSE(Ipv6InterfaceQualifies({true, true, true}));    // type 131
  EXPECT_FALSE(Ipv6InterfaceQualifies({true, false, false}));  // down
  EXPECT_FALSE(Ipv6InterfaceQualifies({false, false, true}));  // GetIfEntry2 failed
}

RouteRow Ipv6Default(std::uint32_t index, bool readable, bool up) {
  RouteRow row;
  row.nextHopFamily = AddressFamily::Ipv6;
  row.interfaceIndex = index;
  row.interfaceReadable = readable;
  row.interfaceConnected = up;
  return row;
}

TEST(Ipv6Path, TheBestInterfaceMustBeTheOnlyUpOneWithADefaultRoute) {
  RouteRow moreSpecific = Ipv6Default(5, true, true);
  moreSpecific.prefixLength = 64;
  struct Case {
    const char* name;
    std::vector<RouteRow> rows;
    bool expected;
  };
  const Case cases[] = {
      {"one default route on the best interface", {Ipv6Default(4, true, true)}, true},
      {"two entries on the best interface", {Ipv6Default(4, true, true), Ipv6Default(4, true, true)},
       true},
      {"no default route", {}, false},
      {"the default route is elsewhere", {Ipv6Default(5, true, true)}, false},
      {"two up interfaces with default routes",
       {Ipv6Default(4, true, true), Ipv6Default(5, true, true)}, false},
      {"a second one on a down interface", {Ipv6Default(4, true, true), Ipv6Default(5, true, false)},
       true},
      {"a second one on an unreadable interface",
       {Ipv6Default(4, true, true), Ipv6Default(5, false, true)}, true},
      {"the best interface's route is unreadable", {Ipv6Default(4, false, true)}, false},
      {"a more specific route elsewhere", {Ipv6Default(4, true, true), moreSpecific}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ipv6DefaultRoutesQualify(c.rows, 4), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace talvo
