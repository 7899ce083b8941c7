// Local facts from rtnetlink: links, addresses, the default routes of the routing tables that
// the policy rules reach for this host's traffic, and the kernel's own route lookup (what
// GetBestRoute2 answers on Windows).
#include <libmnl/libmnl.h>
#include <linux/fib_rules.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "check/local/local_facts.h"

namespace talvo {

namespace {

// Local answers come at once; the bound only guards against a kernel that never replies.
constexpr long kNetlinkReceiveTimeoutMs = 2000;
// Room for one receive of a dump: the kernel packs up to 32 KiB of messages into each.
constexpr std::size_t kNetlinkBufferBytes = 64 * 1024;
// A dump that a concurrent change interrupts this often is a table changing faster than it
// can be read: unreadable rather than chased.
constexpr int kDumpAttempts = 3;

class NetlinkSocket {
 public:
  NetlinkSocket() : socket_(mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC)) {
    if (socket_ == nullptr) return;
    timeval timeout{kNetlinkReceiveTimeoutMs / 1000, (kNetlinkReceiveTimeoutMs % 1000) * 1000};
    if (setsockopt(mnl_socket_get_fd(socket_), SOL_SOCKET, SO_RCVTIMEO, &timeout,
                   sizeof timeout) != 0 ||
        mnl_socket_bind(socket_, 0, MNL_SOCKET_AUTOPID) != 0) {
      mnl_socket_close(socket_);
      socket_ = nullptr;
    }
  }
  ~NetlinkSocket() {
    if (socket_ != nullptr) mnl_socket_close(socket_);
  }
  NetlinkSocket(const NetlinkSocket&) = delete;
  NetlinkSocket& operator=(const NetlinkSocket&) = delete;

  bool valid() const { return socket_ != nullptr; }
  mnl_socket* get() const { return socket_; }

 private:
  mnl_socket* socket_;
};

enum class ExchangeResult : std::uint8_t { Complete, Interrupted, Failed };

// What libmnl does not tell apart: the kernel flags the messages of a dump that a concurrent
// change may have made inconsistent, and a dump that broke off ends with its error in the
// done message, which libmnl takes as a normal end.
ExchangeResult Screen(const char* data, std::size_t bytes) {
  int remaining = static_cast<int>(bytes);
  for (auto* header = reinterpret_cast<const nlmsghdr*>(data); mnl_nlmsg_ok(header, remaining);
       header = mnl_nlmsg_next(header, &remaining)) {
    if ((header->nlmsg_flags & NLM_F_DUMP_INTR) != 0) return ExchangeResult::Interrupted;
    if (header->nlmsg_type == NLMSG_DONE && mnl_nlmsg_get_payload_len(header) >= sizeof(int)) {
      int error = 0;
      std::memcpy(&error, mnl_nlmsg_get_payload(header), sizeof error);
      if (error != 0) return ExchangeResult::Failed;
    }
  }
  return ExchangeResult::Complete;
}

// Sends one request and feeds every answer to `callback` until the dump's end or the
// acknowledgement. Any error, including an error answer from the kernel, is a failure.
ExchangeResult Exchange(const nlmsghdr* request, mnl_cb_t callback, void* data) {
  const NetlinkSocket socket;
  if (!socket.valid()) return ExchangeResult::Failed;
  const unsigned portId = mnl_socket_get_portid(socket.get());
  const unsigned sequence = request->nlmsg_seq;
  if (mnl_socket_sendto(socket.get(), request, request->nlmsg_len) < 0) {
    return ExchangeResult::Failed;
  }
  std::vector<char> buffer(kNetlinkBufferBytes);
  // Each receive either ends the exchange or consumes at least one message; the kernel's
  // answer is finite, and a silent kernel ends it through the receive timeout.
  for (;;) {
    const ssize_t n = mnl_socket_recvfrom(socket.get(), buffer.data(), buffer.size());
    if (n <= 0) return ExchangeResult::Failed;
    const ExchangeResult seen = Screen(buffer.data(), static_cast<std::size_t>(n));
    if (seen != ExchangeResult::Complete) return seen;
    const int result = mnl_cb_run(buffer.data(), static_cast<std::size_t>(n), sequence, portId,
                                  callback, data);
    if (result == MNL_CB_STOP) return ExchangeResult::Complete;
    if (result < 0) return ExchangeResult::Failed;
  }
}

// A dump into `collected`, started again from its first state when a concurrent change
// interrupted it.
template <typename Collected>
bool Dump(const nlmsghdr* request, mnl_cb_t callback, Collected& collected) {
  const Collected start = collected;
  for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
    collected = start;
    const ExchangeResult result = Exchange(request, callback, &collected);
    if (result != ExchangeResult::Interrupted) return result == ExchangeResult::Complete;
  }
  return false;
}

nlmsghdr* StartRequest(std::vector<char>& buffer, std::uint16_t type, std::uint16_t flags) {
  buffer.assign(MNL_SOCKET_BUFFER_SIZE, 0);
  nlmsghdr* header = mnl_nlmsg_put_header(buffer.data());
  header->nlmsg_type = type;
  header->nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | flags);
  header->nlmsg_seq = static_cast<std::uint32_t>(time(nullptr));
  return header;
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

struct LinkState {
  unsigned short type = 0;
  unsigned flags = 0;
  std::string name;
  std::string kind;  // IFLA_INFO_KIND: the driver that made the link
};
using LinkMap = std::map<std::uint32_t, LinkState>;

// Administratively up, with carrier now (IFF_LOWER_UP follows the driver at once) and an
// operational state that lets traffic pass (IFF_RUNNING, cleared while e.g. Wi-Fi is still
// dormant) - the counterpart of OperStatus Up.
bool LinkIsUp(const LinkState& link) {
  constexpr unsigned kUp = IFF_UP | IFF_LOWER_UP | IFF_RUNNING;
  return (link.flags & kUp) == kUp;
}

// The drivers that carry packets inside other packets: VPN devices (tun, WireGuard, IPsec
// interfaces) and the kernel's encapsulations. The link type alone does not say it: a raw-IP
// mobile broadband modem has no link layer either, like a tun device.
bool LinkIsTunnel(const LinkState& link) {
  static constexpr const char* kTunnelKinds[] = {
      "tun", "wireguard", "xfrm", "vti", "vti6", "ipip", "ip6tnl", "sit", "gre", "gretap",
      "ip6gre", "ip6gretap", "erspan", "ip6erspan", "l2tpeth", "vxlan", "geneve", "bareudp",
      "gtp"};
  for (const char* kind : kTunnelKinds) {
    if (link.kind == kind) return true;
  }
  // The IP-in-IP link types mean a tunnel whichever driver made them.
  switch (link.type) {
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

int OnLink(const nlmsghdr* header, void* data) {
  if (header->nlmsg_type != RTM_NEWLINK) return MNL_CB_OK;
  const auto* info = static_cast<const ifinfomsg*>(mnl_nlmsg_get_payload(header));
  LinkState& link = (*static_cast<LinkMap*>(data))[static_cast<std::uint32_t>(info->ifi_index)];
  link.type = info->ifi_type;
  link.flags = info->ifi_flags;
  ForEachAttribute(header, sizeof(ifinfomsg), [&link](const nlattr* attribute) {
    if (mnl_attr_get_type(attribute) == IFLA_IFNAME &&
        mnl_attr_validate(attribute, MNL_TYPE_NUL_STRING) >= 0) {
      link.name = mnl_attr_get_str(attribute);
    }
    if (mnl_attr_get_type(attribute) != IFLA_LINKINFO) return;
    ForEachNested(mnl_attr_get_payload(attribute), mnl_attr_get_payload_len(attribute),
                  [&link](const nlattr* nested) {
                    if (mnl_attr_get_type(nested) == IFLA_INFO_KIND &&
                        mnl_attr_validate(nested, MNL_TYPE_NUL_STRING) >= 0) {
                      link.kind = mnl_attr_get_str(nested);
                    }
                  });
  });
  return MNL_CB_OK;
}

bool ReadLinks(LinkMap& links) {
  links.clear();
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETLINK, NLM_F_DUMP);
  auto* info = static_cast<ifinfomsg*>(mnl_nlmsg_put_extra_header(request, sizeof(ifinfomsg)));
  info->ifi_family = AF_UNSPEC;
  return Dump(request, OnLink, links);
}

struct RuleCollector {
  const LinkMap* links = nullptr;
  std::vector<RoutingRule> rules;
};

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

// The input interface of locally sent packets is the loopback device; a rule naming a device
// that is gone matches nothing.
RuleInput InputOf(const nlattr* attribute, std::uint32_t ruleFlags, const LinkMap& links) {
  if ((ruleFlags & FIB_RULE_IIF_DETACHED) != 0 ||
      mnl_attr_validate(attribute, MNL_TYPE_NUL_STRING) < 0) {
    return RuleInput::OtherInterface;
  }
  for (const auto& [index, link] : links) {
    if (link.name == mnl_attr_get_str(attribute)) {
      return (link.flags & IFF_LOOPBACK) != 0 ? RuleInput::Loopback : RuleInput::OtherInterface;
    }
  }
  return RuleInput::OtherInterface;
}

int OnRule(const nlmsghdr* header, void* data) {
  if (header->nlmsg_type != RTM_NEWRULE) return MNL_CB_OK;
  auto* collector = static_cast<RuleCollector*>(data);
  const auto* info = static_cast<const fib_rule_hdr*>(mnl_nlmsg_get_payload(header));
  RoutingRule rule;
  rule.action = ActionOf(info->action);
  rule.table = info->table;
  rule.inverted = (info->flags & FIB_RULE_INVERT) != 0;
  rule.sourceLength = info->src_len;
  rule.destinationLength = info->dst_len;
  rule.otherSelector = info->tos != 0;
  bool maskGiven = false;
  ForEachAttribute(header, sizeof(fib_rule_hdr), [&](const nlattr* attribute) {
    const bool u32 = mnl_attr_validate(attribute, MNL_TYPE_U32) >= 0;
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
        rule.input = InputOf(attribute, info->flags, *collector->links);
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
  collector->rules.push_back(rule);
  return MNL_CB_OK;
}

bool ReadRules(unsigned char family, RuleCollector& collector) {
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETRULE, NLM_F_DUMP);
  auto* info =
      static_cast<fib_rule_hdr*>(mnl_nlmsg_put_extra_header(request, sizeof(fib_rule_hdr)));
  info->family = family;
  return Dump(request, OnRule, collector);
}

struct AddressRow {
  std::uint32_t interfaceIndex = 0;
  AddressFact fact;
};

int OnAddress(const nlmsghdr* header, void* data) {
  if (header->nlmsg_type != RTM_NEWADDR) return MNL_CB_OK;
  const auto* info = static_cast<const ifaddrmsg*>(mnl_nlmsg_get_payload(header));
  std::uint32_t flags = info->ifa_flags;
  // IFA_FLAGS carries the full 32 bits; the header field only the low eight.
  ForEachAttribute(header, sizeof(ifaddrmsg), [&flags](const nlattr* attribute) {
    if (mnl_attr_get_type(attribute) == IFA_FLAGS &&
        mnl_attr_validate(attribute, MNL_TYPE_U32) >= 0) {
      flags = mnl_attr_get_u32(attribute);
    }
  });
  AddressRow row;
  row.interfaceIndex = info->ifa_index;
  row.fact.family = info->ifa_family == AF_INET    ? AddressFamily::Ipv4
                    : info->ifa_family == AF_INET6 ? AddressFamily::Ipv6
                                                   : AddressFamily::Other;
  row.fact.preferred = (flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED | IFA_F_DEPRECATED)) == 0;
  static_cast<std::vector<AddressRow>*>(data)->push_back(row);
  return MNL_CB_OK;
}

// One default route of a dump with its routing table, before its interface is looked up.
struct TableRow {
  std::uint32_t table = 0;
  RouteRow row;
};

struct RouteCollector {
  unsigned char family = AF_INET;
  std::vector<TableRow> rows;
};

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

int OnRoute(const nlmsghdr* header, void* data) {
  if (header->nlmsg_type != RTM_NEWROUTE) return MNL_CB_OK;
  auto* collector = static_cast<RouteCollector*>(data);
  const auto* info = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(header));
  if (info->rtm_family != collector->family || info->rtm_dst_len != 0 ||
      info->rtm_type != RTN_UNICAST || (info->rtm_flags & RTM_F_CLONED) != 0) {
    return MNL_CB_OK;
  }
  const unsigned char family = collector->family;
  std::uint32_t table = info->rtm_table;
  RouteRow row;
  row.prefixLength = info->rtm_dst_len;
  // A route without a gateway is on-link: an IPv4 next hop of 0, as Windows lists it.
  row.nextHopFamily = family == AF_INET ? AddressFamily::Ipv4 : AddressFamily::Ipv6;
  const nlattr* multipath = nullptr;
  ForEachAttribute(header, sizeof(rtmsg), [&](const nlattr* attribute) {
    switch (mnl_attr_get_type(attribute)) {
      case RTA_TABLE:  // the full table id; the header holds only its low eight bits
        if (mnl_attr_validate(attribute, MNL_TYPE_U32) >= 0) table = mnl_attr_get_u32(attribute);
        break;
      case RTA_OIF:
        if (mnl_attr_validate(attribute, MNL_TYPE_U32) >= 0) {
          row.interfaceIndex = mnl_attr_get_u32(attribute);
        }
        break;
      case RTA_PRIORITY:
        if (mnl_attr_validate(attribute, MNL_TYPE_U32) >= 0) {
          row.routeMetric = mnl_attr_get_u32(attribute);
        }
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
    collector->rows.push_back({table, row});
    return MNL_CB_OK;
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
    collector->rows.push_back({table, path});
    const std::size_t step = RTNH_ALIGN(hop.rtnh_len);
    if (step >= remaining) break;
    cursor += step;
    remaining -= step;
  }
  return MNL_CB_OK;
}

// Windows has one route table; here the rules pick the tables. The rows are the default
// routes of the tables that the rules reach for this host's own traffic, table by table in
// the order the rules consult them: a VPN's table that the rules put first is the route, and
// a table only other traffic reaches (from one source address, with a firewall mark) is none.
bool ReadDefaultRoutes(unsigned char family, std::vector<RouteRow>& rows) {
  rows.clear();
  LinkMap links;
  if (!ReadLinks(links)) return false;
  RuleCollector rules;
  rules.links = &links;
  if (!ReadRules(family, rules)) return false;
  RouteCollector collector;
  collector.family = family;
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETROUTE, NLM_F_DUMP);
  auto* info = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(rtmsg)));
  info->rtm_family = family;
  info->rtm_table = RT_TABLE_UNSPEC;  // every table, in one dump
  if (!Dump(request, OnRoute, collector)) return false;
  const std::vector<std::uint32_t> tables = TablesConsulted(rules.rules, geteuid());
  for (std::uint32_t order = 0; order < tables.size(); ++order) {
    for (const TableRow& entry : collector.rows) {
      if (entry.table != tables[order]) continue;
      RouteRow row = entry.row;
      row.lookupOrder = order;
      const auto link = links.find(row.interfaceIndex);
      row.interfaceReadable = link != links.end();
      row.interfaceConnected = row.interfaceReadable && LinkIsUp(link->second);
      row.interfaceMetric = 0;  // Linux has no per-interface metric; RTA_PRIORITY is the cost
      rows.push_back(row);
    }
  }
  return true;
}

struct LookupAnswer {
  unsigned char family = AF_INET;
  std::uint8_t destinationLength = 0;
  bool hasSource = false;
  std::uint8_t source[16] = {};
  std::uint32_t interfaceIndex = 0;
  std::uint32_t gatewayIpv4 = 0;
};

int OnLookup(const nlmsghdr* header, void* data) {
  if (header->nlmsg_type != RTM_NEWROUTE) return MNL_CB_OK;
  auto* answer = static_cast<LookupAnswer*>(data);
  const auto* info = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(header));
  answer->destinationLength = info->rtm_dst_len;
  const std::size_t addressBytes = answer->family == AF_INET ? 4 : 16;
  ForEachAttribute(header, sizeof(rtmsg), [answer, addressBytes](const nlattr* attribute) {
    switch (mnl_attr_get_type(attribute)) {
      case RTA_PREFSRC:
        if (mnl_attr_get_payload_len(attribute) == addressBytes) {
          std::memcpy(answer->source, mnl_attr_get_payload(attribute), addressBytes);
          answer->hasSource = true;
        }
        break;
      case RTA_OIF:
        if (mnl_attr_validate(attribute, MNL_TYPE_U32) >= 0) {
          answer->interfaceIndex = mnl_attr_get_u32(attribute);
        }
        break;
      case RTA_GATEWAY:
        if (addressBytes == 4 && mnl_attr_get_payload_len(attribute) == 4) {
          std::memcpy(&answer->gatewayIpv4, mnl_attr_get_payload(attribute), 4);
        }
        break;
      default:
        break;
    }
  });
  return MNL_CB_OK;
}

// One RTM_GETROUTE lookup. With RTM_F_FIB_MATCH the kernel answers with the table entry that
// matched (its real prefix length) instead of the per-destination result.
bool Lookup(unsigned char family, const std::uint8_t* destination, std::uint32_t interfaceIndex,
            bool fibMatch, LookupAnswer& answer) {
  answer = LookupAnswer{};
  answer.family = family;
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETROUTE, NLM_F_ACK);
  auto* info = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(rtmsg)));
  info->rtm_family = family;
  const std::size_t addressBytes = family == AF_INET ? 4 : 16;
  info->rtm_dst_len = static_cast<unsigned char>(addressBytes * 8);
  if (fibMatch) info->rtm_flags = RTM_F_FIB_MATCH;
  mnl_attr_put(request, RTA_DST, addressBytes, destination);
  if (interfaceIndex != 0) mnl_attr_put_u32(request, RTA_OIF, interfaceIndex);
  // Rules can select by user; the lookup is for this process's own sockets.
  mnl_attr_put_u32(request, RTA_UID, geteuid());
  return Exchange(request, OnLookup, &answer) == ExchangeResult::Complete;
}

}  // namespace

EnumerationStatus ReadAdapters(bool withAddresses, std::vector<AdapterFacts>& adapters) {
  adapters.clear();
  LinkMap links;
  if (!ReadLinks(links)) return EnumerationStatus::Failed;
  std::vector<AddressRow> addresses;
  if (withAddresses) {
    std::vector<char> buffer;
    nlmsghdr* request = StartRequest(buffer, RTM_GETADDR, NLM_F_DUMP);
    auto* info = static_cast<ifaddrmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(ifaddrmsg)));
    info->ifa_family = AF_UNSPEC;
    if (!Dump(request, OnAddress, addresses)) return EnumerationStatus::Failed;
  }
  if (links.empty()) return EnumerationStatus::NoData;
  std::map<std::uint32_t, std::size_t> position;
  for (const auto& [index, link] : links) {
    position[index] = adapters.size();
    AdapterFacts adapter;
    adapter.loopback = (link.flags & IFF_LOOPBACK) != 0;
    adapter.up = LinkIsUp(link);
    adapters.push_back(adapter);
  }
  for (const AddressRow& row : addresses) {
    const auto found = position.find(row.interfaceIndex);
    if (found != position.end()) adapters[found->second].addresses.push_back(row.fact);
  }
  return EnumerationStatus::Ok;
}

bool ReadIpv4DefaultRoutes(std::vector<RouteRow>& rows) { return ReadDefaultRoutes(AF_INET, rows); }

bool ReadIpv6DefaultRoutes(std::vector<RouteRow>& rows) {
  return ReadDefaultRoutes(AF_INET6, rows);
}

BestRouteAnswer LookupIpv4Route(std::uint32_t destination, std::uint64_t /*interfaceLuid*/,
                                std::uint32_t interfaceIndex) {
  BestRouteAnswer best;
  std::uint8_t bytes[4];
  std::memcpy(bytes, &destination, sizeof bytes);
  LookupAnswer matched;
  LookupAnswer resolved;
  if (!Lookup(AF_INET, bytes, interfaceIndex, true, matched) ||
      !Lookup(AF_INET, bytes, interfaceIndex, false, resolved)) {
    return best;
  }
  best.ok = true;
  best.prefixLength = matched.destinationLength;
  if (resolved.hasSource) {
    best.sourceFamily = AddressFamily::Ipv4;
    std::memcpy(&best.sourceIpv4, resolved.source, 4);
  }
  best.interfaceIndex = resolved.interfaceIndex;
  best.nextHopIpv4 = resolved.gatewayIpv4;
  return best;
}

BestRouteAnswer LookupIpv6Route(const std::uint8_t (&destination)[16]) {
  BestRouteAnswer best;
  LookupAnswer matched;
  LookupAnswer resolved;
  if (!Lookup(AF_INET6, destination, 0, true, matched) ||
      !Lookup(AF_INET6, destination, 0, false, resolved)) {
    return best;
  }
  best.ok = true;
  best.prefixLength = matched.destinationLength;
  if (resolved.hasSource) {
    best.sourceFamily = AddressFamily::Ipv6;
    std::memcpy(best.sourceIpv6, resolved.source, 16);
  }
  best.interfaceIndex = resolved.interfaceIndex;
  return best;
}

InterfaceFacts ReadInterface(std::uint32_t interfaceIndex) {
  InterfaceFacts facts;
  LinkMap links;
  if (!ReadLinks(links)) return facts;
  const auto link = links.find(interfaceIndex);
  if (link == links.end()) return facts;
  facts.readable = true;
  facts.isTunnel = LinkIsTunnel(link->second);
  facts.up = LinkIsUp(link->second);
  return facts;
}

// libcurl takes its proxy from these variables, so they are this platform's system proxy.
ProxyFacts ReadSystemProxy() {
  static constexpr const char* kVariables[] = {"https_proxy", "HTTPS_PROXY", "all_proxy",
                                               "ALL_PROXY",   "http_proxy",  "HTTP_PROXY"};
  ProxyFacts facts;
  facts.readable = true;
  for (const char* name : kVariables) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') facts.configured = true;
  }
  return facts;
}

}  // namespace talvo
