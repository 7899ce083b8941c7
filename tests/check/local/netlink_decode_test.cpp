// The netlink decoders over messages built here as the kernel lays them out: no socket, no
// root.
#include "check/local/netlink_decode_linux.h"

#include <libmnl/libmnl.h>
#include <linux/fib_rules.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <tuple>
#include <vector>

#include "os/endpoint.h"

namespace talvo {
namespace {

constexpr std::uint32_t kSequence = 77;
constexpr std::uint32_t kPort = 4242;

// One received datagram: messages one after another, attributes going to the last one.
class Part {
 public:
  template <typename Head>
  Part& Add(std::uint16_t type, const Head& head, std::uint16_t flags = NLM_F_MULTI) {
    if (open_) used_ += NLMSG_ALIGN(last()->nlmsg_len);
    open_ = true;
    nlmsghdr* header = mnl_nlmsg_put_header(bytes_.data() + used_);
    header->nlmsg_type = type;
    header->nlmsg_flags = flags;
    header->nlmsg_seq = kSequence;
    header->nlmsg_pid = kPort;
    std::memcpy(mnl_nlmsg_put_extra_header(header, sizeof head), &head, sizeof head);
    return *this;
  }
  Part& Done(int error = 0, std::uint16_t flags = NLM_F_MULTI) {
    return Add(NLMSG_DONE, error, flags);
  }
  Part& U32(std::uint16_t type, std::uint32_t value) {
    mnl_attr_put_u32(last(), type, value);
    return *this;
  }
  Part& Text(std::uint16_t type, const char* value) {
    mnl_attr_put_strz(last(), type, value);
    return *this;
  }
  Part& Bytes(std::uint16_t type, const void* data, std::size_t size) {
    mnl_attr_put(last(), type, size, data);
    return *this;
  }
  nlmsghdr* last() { return reinterpret_cast<nlmsghdr*>(bytes_.data() + used_); }
  // The datagram, less its last `cut` bytes.
  NetlinkPart Get(std::size_t cut = 0) {
    const std::size_t end = used_ + (open_ ? NLMSG_ALIGN(last()->nlmsg_len) : 0);
    return {bytes_.data(), end - cut, kSequence, kPort};
  }

 private:
  std::vector<std::uint8_t> bytes_ = std::vector<std::uint8_t>(16384);
  std::size_t used_ = 0;  // where the last message starts
  bool open_ = false;
};

ifinfomsg LinkHead(int index, unsigned flags, unsigned short type = ARPHRD_ETHER) {
  ifinfomsg head{};
  head.ifi_family = AF_UNSPEC;
  head.ifi_index = index;
  head.ifi_flags = flags;
  head.ifi_type = type;
  return head;
}

constexpr unsigned kUp = IFF_UP | IFF_LOWER_UP | IFF_RUNNING;

TEST(NetlinkFraming, EachAnswerEndsAsItsLastMessageSays) {
  struct Case {
    const char* name;
    Part part;
    NetlinkStep expected;
  };
  nlmsgerr refused{};
  refused.error = -EPERM;
  nlmsgerr acknowledged{};
  Case cases[] = {
      {"a dump's end", Part().Add(RTM_NEWLINK, LinkHead(1, kUp)).Done(), NetlinkStep::Complete},
      {"more parts to come", Part().Add(RTM_NEWLINK, LinkHead(1, kUp)), NetlinkStep::More},
      {"a dump that broke off", Part().Add(RTM_NEWLINK, LinkHead(1, kUp)).Done(-EBUSY),
       NetlinkStep::Failed},
      {"an error answer", Part().Add(NLMSG_ERROR, refused, 0), NetlinkStep::Failed},
      {"an acknowledgement", Part().Add(NLMSG_ERROR, acknowledged, 0), NetlinkStep::Complete},
      {"an interrupted message",
       Part().Add(RTM_NEWLINK, LinkHead(1, kUp), NLM_F_MULTI | NLM_F_DUMP_INTR).Done(),
       NetlinkStep::Interrupted},
      {"an interrupted end", Part().Done(0, NLM_F_MULTI | NLM_F_DUMP_INTR),
       NetlinkStep::Interrupted},
      {"a family header cut short", Part().Add(RTM_NEWLINK, std::uint32_t{1}).Done(),
       NetlinkStep::Failed},
  };
  for (Case& c : cases) {
    std::vector<LinkFacts> links;
    EXPECT_EQ(DecodeLinks(c.part.Get(), links), c.expected) << c.name;
  }
  Part whole;
  whole.Add(RTM_NEWLINK, LinkHead(1, kUp)).Text(IFLA_IFNAME, "eth0");
  std::vector<LinkFacts> links;
  EXPECT_EQ(DecodeLinks(whole.Get(4), links), NetlinkStep::Failed) << "a message cut short";
  NetlinkPart other = whole.Get();
  other.sequence = kSequence + 1;
  EXPECT_EQ(DecodeLinks(other, links), NetlinkStep::Failed) << "another request's answer";
}

TEST(NetlinkFraming, AnInterruptedDumpIsReadAgainFromEmptyRowsAtMostThreeTimes) {
  using S = NetlinkStep;
  struct Case {
    std::vector<NetlinkStep> steps;
    bool read;
    std::size_t attempts;
  };
  const Case cases[] = {{{S::Complete}, true, 1},
                        {{S::Interrupted, S::Complete}, true, 2},
                        {{S::Interrupted, S::Interrupted, S::Interrupted, S::Complete}, false, 3},
                        {{S::Failed, S::Complete}, false, 1}};
  for (const Case& c : cases) {
    std::size_t attempts = 0;
    const auto rows = DumpRows<int>([&](std::vector<int>& fill) {
      EXPECT_TRUE(fill.empty());
      fill.push_back(static_cast<int>(attempts));
      return c.steps[attempts++];
    });
    EXPECT_EQ(attempts, c.attempts);
    ASSERT_EQ(rows.has_value(), c.read) << c.attempts;
    if (rows) {
      EXPECT_EQ(*rows, std::vector<int>{static_cast<int>(c.attempts - 1)});
    }
  }
}

TEST(NetlinkDecode, LinksWithTheirStateNameAndDriver) {
  Part part;
  part.Add(RTM_NEWLINK, LinkHead(1, kUp | IFF_LOOPBACK, ARPHRD_LOOPBACK)).Text(IFLA_IFNAME, "lo");
  part.Add(RTM_NEWLINK, LinkHead(2, IFF_UP | IFF_LOWER_UP | IFF_DORMANT));  // Wi-Fi associating
  part.Add(RTM_NEWLINK, LinkHead(3, IFF_UP | IFF_RUNNING));                 // no carrier
  part.Add(RTM_NEWLINK, LinkHead(4, kUp, ARPHRD_NONE)).Text(IFLA_IFNAME, "wg0");
  nlattr* info = mnl_attr_nest_start(part.last(), IFLA_LINKINFO);
  mnl_attr_put_strz(part.last(), IFLA_INFO_KIND, "wireguard");
  mnl_attr_nest_end(part.last(), info);
  part.Add(RTM_NEWLINK, LinkHead(5, kUp, ARPHRD_IPGRE));
  part.Add(RTM_NEWADDR, ifaddrmsg{});  // another kind of message is passed by
  std::vector<LinkFacts> links;
  ASSERT_EQ(DecodeLinks(part.Done().Get(), links), NetlinkStep::Complete);
  ASSERT_EQ(links.size(), 5u);
  EXPECT_TRUE(links[0].loopback && links[0].up);
  EXPECT_EQ(links[0].name, "lo");
  EXPECT_FALSE(links[1].up) << "dormant";
  EXPECT_FALSE(links[2].up) << "without carrier";
  EXPECT_FALSE(links[1].loopback);
  EXPECT_EQ(links[3].index, 4u);
  EXPECT_EQ(links[3].kind, "wireguard");
  EXPECT_FALSE(links[3].encapsulatingType);
  EXPECT_TRUE(links[4].encapsulatingType);
}

TEST(NetlinkDecode, AddressesArePreferredUnlessTheFullFlagsSayOtherwise) {
  const auto head = [](unsigned char family, std::uint8_t flags) {
    ifaddrmsg address{};
    address.ifa_family = family;
    address.ifa_flags = flags;
    address.ifa_index = 7;
    return address;
  };
  Part part;
  part.Add(RTM_NEWADDR, head(AF_INET, 0));
  part.Add(RTM_NEWADDR, head(AF_INET6, IFA_F_TENTATIVE));
  part.Add(RTM_NEWADDR, head(AF_INET6, IFA_F_DEPRECATED));
  part.Add(RTM_NEWADDR, head(AF_INET6, IFA_F_DADFAILED));
  part.Add(RTM_NEWADDR, head(AF_INET6, 0)).U32(IFA_FLAGS, IFA_F_TENTATIVE | IFA_F_MANAGETEMPADDR);
  part.Add(RTM_NEWADDR, head(AF_INET, IFA_F_TENTATIVE)).U32(IFA_FLAGS, IFA_F_PERMANENT);
  std::vector<LinkAddress> rows;
  ASSERT_EQ(DecodeAddresses(part.Done().Get(), rows), NetlinkStep::Complete);
  ASSERT_EQ(rows.size(), 6u);
  const bool preferred[] = {true, false, false, false, false, true};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].interfaceIndex, 7u);
    EXPECT_EQ(rows[i].fact.preferred, preferred[i]) << i;
  }
  EXPECT_EQ(rows[0].fact.family, AddressFamily::Ipv4);
  EXPECT_EQ(rows[1].fact.family, AddressFamily::Ipv6);
}

rtmsg RouteHead(unsigned char family, unsigned char destinationLength = 0,
                unsigned char type = RTN_UNICAST, unsigned flags = 0) {
  rtmsg route{};
  route.rtm_family = family;
  route.rtm_dst_len = destinationLength;
  route.rtm_table = RT_TABLE_MAIN;
  route.rtm_type = type;
  route.rtm_flags = flags;
  return route;
}

TEST(NetlinkDecode, DefaultRoutesWithTheirTableAndEachNextHop) {
  const std::uint32_t gatewayA = Ipv4FromParts(203, 0, 113, 1);
  const std::uint32_t gatewayB = Ipv4FromParts(198, 51, 100, 1);
  const std::uint8_t via[18] = {AF_INET6};
  Part part;
  part.Add(RTM_NEWROUTE, RouteHead(AF_INET)).U32(RTA_OIF, 2).U32(RTA_PRIORITY, 30)
      .Bytes(RTA_GATEWAY, &gatewayA, 4).U32(RTA_TABLE, 51820);
  part.Add(RTM_NEWROUTE, RouteHead(AF_INET, 24)).U32(RTA_OIF, 9);
  part.Add(RTM_NEWROUTE, RouteHead(AF_INET, 0, RTN_BLACKHOLE)).U32(RTA_OIF, 9);
  part.Add(RTM_NEWROUTE, RouteHead(AF_INET, 0, RTN_UNICAST, RTM_F_CLONED)).U32(RTA_OIF, 9);
  part.Add(RTM_NEWROUTE, RouteHead(AF_INET6)).U32(RTA_OIF, 9);
  part.Add(RTM_NEWROUTE, RouteHead(AF_INET)).U32(RTA_OIF, 3).Bytes(RTA_VIA, via, sizeof via);
  // Two next hops: each an rtnexthop followed by its own attributes.
  part.Add(RTM_NEWROUTE, RouteHead(AF_INET)).U32(RTA_PRIORITY, 10);
  nlattr* paths = mnl_attr_nest_start(part.last(), RTA_MULTIPATH);
  for (const auto& [index, gateway] : {std::pair{4, gatewayA}, std::pair{5, gatewayB}}) {
    auto* hop = static_cast<rtnexthop*>(mnl_nlmsg_get_payload_tail(part.last()));
    part.last()->nlmsg_len += RTNH_ALIGN(sizeof(rtnexthop));
    hop->rtnh_ifindex = index;
    mnl_attr_put(part.last(), RTA_GATEWAY, 4, &gateway);
    hop->rtnh_len = static_cast<unsigned short>(
        static_cast<const char*>(mnl_nlmsg_get_payload_tail(part.last())) -
        reinterpret_cast<const char*>(hop));
  }
  mnl_attr_nest_end(part.last(), paths);
  std::vector<TableRoute> routes;
  ASSERT_EQ(DecodeDefaultRoutes(part.Done().Get(), AddressFamily::Ipv4, routes),
            NetlinkStep::Complete);
  ASSERT_EQ(routes.size(), 4u);
  EXPECT_EQ(routes[0].table, 51820u);
  EXPECT_EQ(routes[0].row.interfaceIndex, 2u);
  EXPECT_EQ(routes[0].row.routeMetric, 30u);
  EXPECT_EQ(routes[0].row.nextHopIpv4, gatewayA);
  EXPECT_EQ(routes[0].row.nextHopFamily, AddressFamily::Ipv4);
  EXPECT_EQ(routes[1].row.nextHopFamily, AddressFamily::Ipv6) << "through an IPv6 next hop";
  for (std::size_t i : {2u, 3u}) {
    EXPECT_EQ(routes[i].table, RT_TABLE_MAIN);
    EXPECT_EQ(routes[i].row.routeMetric, 10u);
    EXPECT_EQ(routes[i].row.interfaceIndex, i + 2);
    EXPECT_EQ(routes[i].row.nextHopIpv4, i == 2 ? gatewayA : gatewayB);
  }
  std::vector<TableRoute> ipv6;
  ASSERT_EQ(DecodeDefaultRoutes(part.Get(), AddressFamily::Ipv6, ipv6), NetlinkStep::Complete);
  ASSERT_EQ(ipv6.size(), 1u);
  EXPECT_EQ(ipv6[0].row.interfaceIndex, 9u);
  EXPECT_EQ(ipv6[0].row.nextHopFamily, AddressFamily::Ipv6);
}

fib_rule_hdr RuleHead(std::uint8_t action = FR_ACT_TO_TBL, std::uint32_t flags = 0,
                      std::uint8_t sourceLength = 0, std::uint8_t tos = 0) {
  fib_rule_hdr rule{};
  rule.family = AF_INET;
  rule.action = action;
  rule.flags = flags;
  rule.src_len = sourceLength;
  rule.tos = tos;
  return rule;
}

TEST(NetlinkDecode, RulesWithEverySelectorThatDecidesForThisHostsTraffic) {
  const fib_rule_uid_range users{1000, 1999};
  const std::uint8_t protocol = 17;  // UDP
  Part part;
  part.Add(RTM_NEWRULE, RuleHead()).U32(FRA_PRIORITY, 32764).U32(FRA_TABLE, RT_TABLE_MAIN)
      .U32(FRA_SUPPRESS_PREFIXLEN, 0);
  part.Add(RTM_NEWRULE, RuleHead(FR_ACT_TO_TBL, FIB_RULE_INVERT)).U32(FRA_PRIORITY, 32765)
      .U32(FRA_TABLE, 51820).U32(FRA_FWMARK, 51820);
  part.Add(RTM_NEWRULE, RuleHead()).U32(FRA_SUPPRESS_PREFIXLEN, 0xFFFFFFFFu)
      .U32(FRA_FWMARK, 0x51).U32(FRA_FWMASK, 0xF0);
  part.Add(RTM_NEWRULE, RuleHead(FR_ACT_GOTO)).U32(FRA_GOTO, 900).Text(FRA_IIFNAME, "lo")
      .Bytes(FRA_UID_RANGE, &users, sizeof users);
  part.Add(RTM_NEWRULE, RuleHead(FR_ACT_NOP, FIB_RULE_IIF_DETACHED, 32)).Text(FRA_IIFNAME, "ppp0");
  part.Add(RTM_NEWRULE, RuleHead(FR_ACT_BLACKHOLE)).Bytes(FRA_IP_PROTO, &protocol, 1);
  part.Add(RTM_NEWRULE, RuleHead(FR_ACT_PROHIBIT, 0, 0, 0x10));
  part.Add(RTM_NEWRULE, RuleHead()).Text(FRA_OIFNAME, "eth0");
  std::vector<RoutingRule> rules;
  ASSERT_EQ(DecodeRules(part.Done().Get(), rules), NetlinkStep::Complete);
  // A mark without a mask compares every bit; an unset suppress_prefixlength reads as -1.
  const RoutingRule expected[] = {
      {.priority = 32764, .table = 254, .suppressesDefaultRoutes = true},
      {.priority = 32765, .table = 51820, .inverted = true, .mark = 51820, .markMask = ~0u},
      {.mark = 0x51, .markMask = 0xF0},
      {.action = RuleAction::Goto, .gotoPriority = 900, .inputName = "lo", .hasUidRange = true,
       .uidFirst = 1000, .uidLast = 1999},
      {.action = RuleAction::Continue, .sourceLength = 32, .inputName = "ppp0", .inputGone = true},
      {.action = RuleAction::Refuse, .otherSelector = true},
      {.action = RuleAction::Refuse, .otherSelector = true},
      {.otherSelector = true},
  };
  const auto fields = [](const RoutingRule& r) {
    return std::tie(r.priority, r.action, r.table, r.gotoPriority, r.inverted, r.sourceLength,
                    r.destinationLength, r.mark, r.markMask, r.inputName, r.inputGone,
                    r.hasUidRange, r.uidFirst, r.uidLast, r.otherSelector,
                    r.suppressesDefaultRoutes);
  };
  ASSERT_EQ(rules.size(), std::size(expected));
  for (std::size_t i = 0; i < rules.size(); ++i) {
    EXPECT_EQ(fields(rules[i]), fields(expected[i])) << i;
  }
}

TEST(NetlinkDecode, ALookupAnswerGivesTheSystemsBestRoute) {
  const std::uint32_t source = Ipv4FromParts(192, 168, 1, 20);
  const std::uint32_t gateway = Ipv4FromParts(192, 168, 1, 1);
  Part matched;
  matched.Add(RTM_NEWROUTE, RouteHead(AF_INET, 0), 0).Add(NLMSG_ERROR, nlmsgerr{}, 0);
  Part resolved;
  resolved.Add(RTM_NEWROUTE, RouteHead(AF_INET, 32), 0).Bytes(RTA_PREFSRC, &source, 4)
      .U32(RTA_OIF, 3).Bytes(RTA_GATEWAY, &gateway, 4);
  LookupAnswer match;
  LookupAnswer resolution;
  ASSERT_EQ(DecodeLookup(matched.Get(), AddressFamily::Ipv4, match), NetlinkStep::Complete);
  ASSERT_EQ(DecodeLookup(resolved.Get(), AddressFamily::Ipv4, resolution), NetlinkStep::More);
  const BestRouteAnswer best = BestRouteOf(AddressFamily::Ipv4, match, resolution);
  EXPECT_TRUE(best.ok);
  EXPECT_EQ(best.prefixLength, 0u) << "the matched entry's length, not the destination's";
  EXPECT_EQ(best.sourceFamily, AddressFamily::Ipv4);
  EXPECT_EQ(best.sourceIpv4, source);
  EXPECT_EQ(best.interfaceIndex, 3u);
  EXPECT_EQ(best.nextHopIpv4, gateway);
  EXPECT_FALSE(BestRouteOf(AddressFamily::Ipv4, std::nullopt, resolution).ok);
  EXPECT_FALSE(BestRouteOf(AddressFamily::Ipv4, match, std::nullopt).ok);
}

}  // namespace
}  // namespace talvo
