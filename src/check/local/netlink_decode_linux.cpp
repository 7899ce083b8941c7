#include "check/local/netlink_decode_linux.h"

#include <libmnl/libmnl.h>
#include <linux/fib_rules.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstring>
#include <string>

namespace talvo {

namespace {

// Walks the messages of one datagram. `decode` takes each data message and answers false for
// one it cannot read; the control messages end the answer.
template <typename Decode>
NetlinkStep Walk(const NetlinkPart& part, Decode decode) {
  if (part.data == nullptr || part.bytes > 0x7FFFFFFF) return NetlinkStep::Failed;
  int remaining = static_cast<int>(part.bytes);
  for (auto* header = reinterpret_cast<const nlmsghdr*>(part.data);
       mnl_nlmsg_ok(header, remaining); header = mnl_nlmsg_next(header, &remaining)) {
    if (!mnl_nlmsg_portid_ok(header, part.portId) || !mnl_nlmsg_seq_ok(header, part.sequence)) {
      return NetlinkStep::Failed;
    }
    // The kernel flags the messages of a dump that a concurrent change may have made
    // inconsistent, its done message included.
    if ((header->nlmsg_flags & NLM_F_DUMP_INTR) != 0) return NetlinkStep::Interrupted;
    int error = 0;
    switch (header->nlmsg_type) {
      case NLMSG_NOOP:
        break;
      case NLMSG_ERROR:
        // An error of 0 is the acknowledgement that ends a request's answer.
        if (mnl_nlmsg_get_payload_len(header) < sizeof(nlmsgerr)) return NetlinkStep::Failed;
        std::memcpy(&error, mnl_nlmsg_get_payload(header), sizeof error);
        return error == 0 ? NetlinkStep::Complete : NetlinkStep::Failed;
      case NLMSG_DONE:
        // A dump that broke off carries its error here.
        if (mnl_nlmsg_get_payload_len(header) >= sizeof error) {
          std::memcpy(&error, mnl_nlmsg_get_payload(header), sizeof error);
        }
        return error == 0 ? NetlinkStep::Complete : NetlinkStep::Failed;
      case NLMSG_OVERRUN:
        return NetlinkStep::Failed;
      default:
        if (!decode(header)) return NetlinkStep::Failed;
        break;
    }
  }
  // Bytes left over are a message cut short.
  return remaining > 0 ? NetlinkStep::Failed : NetlinkStep::More;
}

// The message's fixed family header, when the message is long enough to hold it.
template <typename Head>
const Head* FamilyHeader(const nlmsghdr* header) {
  if (mnl_nlmsg_get_payload_len(header) < sizeof(Head)) return nullptr;
  return static_cast<const Head*>(mnl_nlmsg_get_payload(header));
}

// libmnl's attribute loop macro does not compile as C++ (void* to nlattr*); the same walk.
template <typename Visit>
void ForEachAttribute(const nlmsghdr* header, std::size_t headerBytes, Visit visit) {
  const auto* tail = static_cast<const char*>(mnl_nlmsg_get_payload_tail(header));
  for (auto* attribute =
           static_cast<const nlattr*>(mnl_nlmsg_get_payload_offset(header, headerBytes));
       mnl_attr_ok(attribute, static_cast<int>(tail - reinterpret_cast<const char*>(attribute)));
       attribute = mnl_attr_next(attribute)) {
    visit(attribute);
  }
}

template <typename Visit>
void ForEachNested(const void* payload, int bytes, Visit visit) {
  for (auto* attribute = static_cast<const nlattr*>(payload); mnl_attr_ok(attribute, bytes);
       attribute = mnl_attr_next(attribute)) {
    visit(attribute);
    bytes -= static_cast<int>(MNL_ALIGN(attribute->nla_len));
  }
}

bool IsU32(const nlattr* attribute) { return mnl_attr_validate(attribute, MNL_TYPE_U32) >= 0; }

bool IsString(const nlattr* attribute) {
  return mnl_attr_validate(attribute, MNL_TYPE_NUL_STRING) >= 0;
}

unsigned char KernelFamily(AddressFamily family) {
  return family == AddressFamily::Ipv4 ? AF_INET : AF_INET6;
}

// Administratively up, with carrier now (IFF_LOWER_UP follows the driver at once) and an
// operational state that lets traffic pass (IFF_RUNNING, cleared while e.g. Wi-Fi is still
// dormant) - the counterpart of OperStatus Up.
bool FlagsMeanUp(unsigned flags) {
  constexpr unsigned kUp = IFF_UP | IFF_LOWER_UP | IFF_RUNNING;
  return (flags & kUp) == kUp;
}

// The IP-in-IP link types mean a tunnel whichever driver made them.
bool TypeEncapsulates(unsigned short type) {
  switch (type) {
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_IP6GRE:
      return true;
    default:
      return false;
  }
}

bool DecodeLink(const nlmsghdr* header, std::vector<LinkFacts>& links) {
  if (header->nlmsg_type != RTM_NEWLINK) return true;
  const auto* info = FamilyHeader<ifinfomsg>(header);
  if (info == nullptr) return false;
  LinkFacts link;
  link.index = static_cast<std::uint32_t>(info->ifi_index);
  link.loopback = (info->ifi_flags & IFF_LOOPBACK) != 0;
  link.up = FlagsMeanUp(info->ifi_flags);
  link.encapsulatingType = TypeEncapsulates(info->ifi_type);
  ForEachAttribute(header, sizeof(ifinfomsg), [&link](const nlattr* attribute) {
    if (mnl_attr_get_type(attribute) == IFLA_IFNAME && IsString(attribute)) {
      link.name = mnl_attr_get_str(attribute);
    }
    if (mnl_attr_get_type(attribute) != IFLA_LINKINFO) return;
    ForEachNested(mnl_attr_get_payload(attribute), mnl_attr_get_payload_len(attribute),
                  [&link](const nlattr* nested) {
                    if (mnl_attr_get_type(nested) == IFLA_INFO_KIND && IsString(nested)) {
                      link.kind = mnl_attr_get_str(nested);
                    }
                  });
  });
  links.push_back(std::move(link));
  return true;
}

bool DecodeAddress(const nlmsghdr* header, std::vector<LinkAddress>& addresses) {
  if (header->nlmsg_type != RTM_NEWADDR) return true;
  const auto* info = FamilyHeader<ifaddrmsg>(header);
  if (info == nullptr) return false;
  std::uint32_t flags = info->ifa_flags;
  // IFA_FLAGS carries the full 32 bits; the header field only the low eight.
  ForEachAttribute(header, sizeof(ifaddrmsg), [&flags](const nlattr* attribute) {
    if (mnl_attr_get_type(attribute) == IFA_FLAGS && IsU32(attribute)) {
      flags = mnl_attr_get_u32(attribute);
    }
  });
  LinkAddress address;
  address.interfaceIndex = info->ifa_index;
  address.fact.family = info->ifa_family == AF_INET    ? AddressFamily::Ipv4
                        : info->ifa_family == AF_INET6 ? AddressFamily::Ipv6
                                                       : AddressFamily::Other;
  address.fact.preferred = (flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED | IFA_F_DEPRECATED)) == 0;
  addresses.push_back(address);
  return true;
}

RuleAction ActionOf(std::uint8_t action) {
  switch (action) {
    case FR_ACT_TO_TBL:
      return RuleAction::LookUpTable;
    case FR_ACT_GOTO:
      return RuleAction::Goto;
    case FR_ACT_NOP:
      return RuleAction::Continue;
    default:
      return RuleAction::Refuse;  // blackhole, unreachable, prohibit: the lookup ends there
  }
}

bool DecodeRule(const nlmsghdr* header, std::vector<RoutingRule>& rules) {
  if (header->nlmsg_type != RTM_NEWRULE) return true;
  const auto* info = FamilyHeader<fib_rule_hdr>(header);
  if (info == nullptr) return false;
  RoutingRule rule;
  rule.action = ActionOf(info->action);
  rule.table = info->table;
  rule.inverted = (info->flags & FIB_RULE_INVERT) != 0;
  rule.sourceLength = info->src_len;
  rule.destinationLength = info->dst_len;
  rule.otherSelector = info->tos != 0;
  bool maskGiven = false;
  ForEachAttribute(header, sizeof(fib_rule_hdr), [&](const nlattr* attribute) {
    const bool u32 = IsU32(attribute);
    switch (mnl_attr_get_type(attribute)) {
      case FRA_PRIORITY:
        if (u32) rule.priority = mnl_attr_get_u32(attribute);
        break;
      case FRA_TABLE:
        if (u32) rule.table = mnl_attr_get_u32(attribute);
        break;
      case FRA_GOTO:
        if (u32) rule.gotoPriority = mnl_attr_get_u32(attribute);
        break;
      case FRA_FWMARK:
        if (u32) rule.mark = mnl_attr_get_u32(attribute);
        break;
      case FRA_FWMASK:
        if (u32) rule.markMask = mnl_attr_get_u32(attribute);
        maskGiven = u32;
        break;
      case FRA_SUPPRESS_PREFIXLEN:
        // Unset reads as -1.
        if (u32) {
          rule.suppressesDefaultRoutes =
              static_cast<std::int32_t>(mnl_attr_get_u32(attribute)) >= 0;
        }
        break;
      case FRA_IIFNAME:
        // The kernel marks a rule whose device is gone; a name it cannot read matches nothing
        // either.
        if (IsString(attribute)) rule.inputName = mnl_attr_get_str(attribute);
        rule.inputGone = (info->flags & FIB_RULE_IIF_DETACHED) != 0 || rule.inputName.empty();
        break;
      case FRA_UID_RANGE:
        if (mnl_attr_get_payload_len(attribute) == sizeof(fib_rule_uid_range)) {
          fib_rule_uid_range range{};
          std::memcpy(&range, mnl_attr_get_payload(attribute), sizeof range);
          rule.hasUidRange = true;
          rule.uidFirst = range.start;
          rule.uidLast = range.end;
        }
        break;
      case FRA_OIFNAME:
      case FRA_TUN_ID:
      case FRA_L3MDEV:
      case FRA_IP_PROTO:
      case FRA_SPORT_RANGE:
      case FRA_DPORT_RANGE:
        rule.otherSelector = true;
        break;
      default:
        break;
    }
  });
  // A mark without a mask compares all its bits, as the kernel stores it.
  if (!maskGiven) rule.markMask = rule.mark != 0 ? 0xFFFFFFFFu : 0;
  rules.push_back(std::move(rule));
  return true;
}

// RTA_GATEWAY and RTA_VIA, at the top of a route or inside one of its multipath next hops.
void ReadNextHop(const nlattr* attribute, unsigned char family, RouteRow& row) {
  switch (mnl_attr_get_type(attribute)) {
    case RTA_GATEWAY:
      if (family == AF_INET && mnl_attr_get_payload_len(attribute) == 4) {
        std::memcpy(&row.nextHopIpv4, mnl_attr_get_payload(attribute), 4);
      }
      break;
    case RTA_VIA:
      // An IPv4 route through an IPv6 next hop.
      if (family == AF_INET) row.nextHopFamily = AddressFamily::Ipv6;
      break;
    default:
      break;
  }
}

bool DecodeRoute(const nlmsghdr* header, unsigned char family, std::vector<TableRoute>& routes) {
  if (header->nlmsg_type != RTM_NEWROUTE) return true;
  const auto* info = FamilyHeader<rtmsg>(header);
  if (info == nullptr) return false;
  if (info->rtm_family != family || info->rtm_dst_len != 0 || info->rtm_type != RTN_UNICAST ||
      (info->rtm_flags & RTM_F_CLONED) != 0) {
    return true;
  }
  std::uint32_t table = info->rtm_table;
  RouteRow row;
  row.prefixLength = info->rtm_dst_len;
  // A route without a gateway is on-link: an IPv4 next hop of 0, as Windows lists it.
  row.nextHopFamily = family == AF_INET ? AddressFamily::Ipv4 : AddressFamily::Ipv6;
  const nlattr* multipath = nullptr;
  ForEachAttribute(header, sizeof(rtmsg), [&](const nlattr* attribute) {
    switch (mnl_attr_get_type(attribute)) {
      case RTA_TABLE:  // the full table id; the header holds only its low eight bits
        if (IsU32(attribute)) table = mnl_attr_get_u32(attribute);
        break;
      case RTA_OIF:
        if (IsU32(attribute)) row.interfaceIndex = mnl_attr_get_u32(attribute);
        break;
      case RTA_PRIORITY:
        if (IsU32(attribute)) row.routeMetric = mnl_attr_get_u32(attribute);
        break;
      case RTA_MULTIPATH:
        multipath = attribute;
        break;
      default:
        ReadNextHop(attribute, family, row);
        break;
    }
  });
  if (multipath == nullptr) {
    row.interfaceLuid = row.interfaceIndex;
    routes.push_back({table, row});
    return true;
  }
  // An equal-cost route: one row per next hop, as the Windows route table lists them.
  const auto* cursor = static_cast<const char*>(mnl_attr_get_payload(multipath));
  std::size_t remaining = mnl_attr_get_payload_len(multipath);
  while (remaining >= sizeof(rtnexthop)) {
    rtnexthop hop;
    std::memcpy(&hop, cursor, sizeof hop);
    if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > remaining) break;
    RouteRow path = row;
    path.interfaceIndex = static_cast<std::uint32_t>(hop.rtnh_ifindex);
    path.interfaceLuid = path.interfaceIndex;
    ForEachNested(cursor + RTNH_LENGTH(0),
                  static_cast<int>(hop.rtnh_len) - static_cast<int>(RTNH_LENGTH(0)),
                  [&](const nlattr* nested) { ReadNextHop(nested, family, path); });
    routes.push_back({table, path});
    const std::size_t step = RTNH_ALIGN(hop.rtnh_len);
    if (step >= remaining) break;
    cursor += step;
    remaining -= step;
  }
  return true;
}

bool DecodeLookupAnswer(const nlmsghdr* header, unsigned char family, LookupAnswer& answer) {
  if (header->nlmsg_type != RTM_NEWROUTE) return true;
  const auto* info = FamilyHeader<rtmsg>(header);
  if (info == nullptr) return false;
  answer.destinationLength = info->rtm_dst_len;
  const std::size_t addressBytes = family == AF_INET ? 4 : 16;
  ForEachAttribute(header, sizeof(rtmsg), [&answer, addressBytes](const nlattr* attribute) {
    switch (mnl_attr_get_type(attribute)) {
      case RTA_PREFSRC:
        if (mnl_attr_get_payload_len(attribute) == addressBytes) {
          std::memcpy(answer.source, mnl_attr_get_payload(attribute), addressBytes);
          answer.hasSource = true;
        }
        break;
      case RTA_OIF:
        if (IsU32(attribute)) answer.interfaceIndex = mnl_attr_get_u32(attribute);
        break;
      case RTA_GATEWAY:
        if (addressBytes == 4 && mnl_attr_get_payload_len(attribute) == 4) {
          std::memcpy(&answer.gatewayIpv4, mnl_attr_get_payload(attribute), 4);
        }
        break;
      default:
        break;
    }
  });
  return true;
}

}  // namespace

NetlinkStep DecodeLinks(const NetlinkPart& part, std::vector<LinkFacts>& links) {
  return Walk(part, [&links](const nlmsghdr* header) { return DecodeLink(header, links); });
}

NetlinkStep DecodeAddresses(const NetlinkPart& part, std::vector<LinkAddress>& addresses) {
  return Walk(part,
              [&addresses](const nlmsghdr* header) { return DecodeAddress(header, addresses); });
}

NetlinkStep DecodeDefaultRoutes(const NetlinkPart& part, AddressFamily family,
                                std::vector<TableRoute>& routes) {
  const unsigned char kernelFamily = KernelFamily(family);
  return Walk(part, [&routes, kernelFamily](const nlmsghdr* header) {
    return DecodeRoute(header, kernelFamily, routes);
  });
}

NetlinkStep DecodeRules(const NetlinkPart& part, std::vector<RoutingRule>& rules) {
  return Walk(part, [&rules](const nlmsghdr* header) { return DecodeRule(header, rules); });
}

NetlinkStep DecodeLookup(const NetlinkPart& part, AddressFamily family, LookupAnswer& answer) {
  const unsigned char kernelFamily = KernelFamily(family);
  return Walk(part, [&answer, kernelFamily](const nlmsghdr* header) {
    return DecodeLookupAnswer(header, kernelFamily, answer);
  });
}

BestRouteAnswer BestRouteOf(AddressFamily family, const std::optional<LookupAnswer>& matched,
                            const std::optional<LookupAnswer>& resolved) {
  BestRouteAnswer best;
  if (!matched || !resolved) return best;
  best.ok = true;
  best.prefixLength = matched->destinationLength;
  if (resolved->hasSource) {
    best.sourceFamily = family;
    if (family == AddressFamily::Ipv4) {
      std::memcpy(&best.sourceIpv4, resolved->source, 4);
    } else {
      std::memcpy(best.sourceIpv6, resolved->source, 16);
    }
  }
  best.interfaceIndex = resolved->interfaceIndex;
  if (family == AddressFamily::Ipv4) best.nextHopIpv4 = resolved->gatewayIpv4;
  return best;
}

}  // namespace talvo
