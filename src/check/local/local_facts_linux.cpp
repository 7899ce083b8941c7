// Local facts from rtnetlink: links, addresses, the default routes of the routing tables that
// the policy rules reach for this host's traffic, and the kernel's own route lookup (what
// GetBestRoute2 answers on Windows). Only the exchange lives here: netlink_decode_linux.cpp
// reads the answers and network_rules.cpp decides.
#include <libmnl/libmnl.h>
#include <linux/fib_rules.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>
#include <vector>

#include "check/local/local_facts.h"
#include "check/local/netlink_decode_linux.h"

namespace talvo {

namespace {

// Local answers come at once; the bound only guards against a kernel that never replies.
constexpr long kNetlinkReceiveTimeoutMs = 2000;
// Room for one receive of a dump: the kernel packs up to 32 KiB of messages into each.
constexpr std::size_t kNetlinkBufferBytes = 64 * 1024;

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

// Sends one request and hands every datagram of the answer to `decode` until it says the
// answer has ended.
template <typename Decode>
NetlinkStep Exchange(const nlmsghdr* request, Decode decode) {
  const NetlinkSocket socket;
  if (!socket.valid()) return NetlinkStep::Failed;
  const NetlinkPart expected{nullptr, 0, request->nlmsg_seq, mnl_socket_get_portid(socket.get())};
  if (mnl_socket_sendto(socket.get(), request, request->nlmsg_len) < 0) {
    return NetlinkStep::Failed;
  }
  std::vector<std::uint8_t> buffer(kNetlinkBufferBytes);
  // Each datagram either ends the answer or brings at least one whole message; the kernel's
  // answer is finite, and a silent kernel ends it through the receive timeout.
  for (;;) {
    const ssize_t n = mnl_socket_recvfrom(socket.get(), buffer.data(), buffer.size());
    if (n <= 0) return NetlinkStep::Failed;
    NetlinkPart part = expected;
    part.data = buffer.data();
    part.bytes = static_cast<std::size_t>(n);
    const NetlinkStep step = decode(part);
    if (step != NetlinkStep::More) return step;
  }
}

// A dump, read again from the start when a concurrent change interrupted it.
template <typename Row, typename Decode>
std::optional<std::vector<Row>> Dump(const nlmsghdr* request, Decode decode) {
  return DumpRows<Row>([request, &decode](std::vector<Row>& rows) {
    return Exchange(request, [&decode, &rows](const NetlinkPart& part) {
      return decode(part, rows);
    });
  });
}

nlmsghdr* StartRequest(std::vector<char>& buffer, std::uint16_t type, std::uint16_t flags) {
  buffer.assign(MNL_SOCKET_BUFFER_SIZE, 0);
  nlmsghdr* header = mnl_nlmsg_put_header(buffer.data());
  header->nlmsg_type = type;
  header->nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | flags);
  header->nlmsg_seq = static_cast<std::uint32_t>(time(nullptr));
  return header;
}

std::optional<std::vector<LinkFacts>> DumpLinks() {
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETLINK, NLM_F_DUMP);
  auto* info = static_cast<ifinfomsg*>(mnl_nlmsg_put_extra_header(request, sizeof(ifinfomsg)));
  info->ifi_family = AF_UNSPEC;
  return Dump<LinkFacts>(request, DecodeLinks);
}

std::optional<std::vector<LinkAddress>> DumpAddresses() {
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETADDR, NLM_F_DUMP);
  auto* info = static_cast<ifaddrmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(ifaddrmsg)));
  info->ifa_family = AF_UNSPEC;
  return Dump<LinkAddress>(request, DecodeAddresses);
}

std::optional<std::vector<RoutingRule>> DumpRules(AddressFamily family) {
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETRULE, NLM_F_DUMP);
  auto* info =
      static_cast<fib_rule_hdr*>(mnl_nlmsg_put_extra_header(request, sizeof(fib_rule_hdr)));
  info->family = family == AddressFamily::Ipv4 ? AF_INET : AF_INET6;
  return Dump<RoutingRule>(request, DecodeRules);
}

std::optional<std::vector<TableRoute>> DumpDefaultRoutes(AddressFamily family) {
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETROUTE, NLM_F_DUMP);
  auto* info = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(rtmsg)));
  info->rtm_family = family == AddressFamily::Ipv4 ? AF_INET : AF_INET6;
  info->rtm_table = RT_TABLE_UNSPEC;  // every table, in one dump
  return Dump<TableRoute>(request,
                          [family](const NetlinkPart& part, std::vector<TableRoute>& rows) {
                            return DecodeDefaultRoutes(part, family, rows);
                          });
}

// Windows has one route table; here the rules pick the tables.
std::optional<std::vector<RouteRow>> ReadDefaultRoutes(AddressFamily family) {
  const auto links = DumpLinks();
  const auto rules = DumpRules(family);
  const auto routes = DumpDefaultRoutes(family);
  return DefaultRoutesOf(links, rules, routes, geteuid());
}

// One RTM_GETROUTE lookup. With RTM_F_FIB_MATCH the kernel answers with the table entry that
// matched (its real prefix length) instead of the per-destination result.
std::optional<LookupAnswer> Lookup(AddressFamily family, const std::uint8_t* destination,
                                   std::uint32_t interfaceIndex, bool fibMatch) {
  std::vector<char> buffer;
  nlmsghdr* request = StartRequest(buffer, RTM_GETROUTE, NLM_F_ACK);
  auto* info = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(rtmsg)));
  info->rtm_family = family == AddressFamily::Ipv4 ? AF_INET : AF_INET6;
  const std::size_t addressBytes = family == AddressFamily::Ipv4 ? 4 : 16;
  info->rtm_dst_len = static_cast<unsigned char>(addressBytes * 8);
  if (fibMatch) info->rtm_flags = RTM_F_FIB_MATCH;
  mnl_attr_put(request, RTA_DST, addressBytes, destination);
  if (interfaceIndex != 0) mnl_attr_put_u32(request, RTA_OIF, interfaceIndex);
  // Rules can select by user; the lookup is for this process's own sockets.
  mnl_attr_put_u32(request, RTA_UID, geteuid());
  LookupAnswer answer;
  const NetlinkStep step = Exchange(request, [family, &answer](const NetlinkPart& part) {
    return DecodeLookup(part, family, answer);
  });
  if (step != NetlinkStep::Complete) return std::nullopt;
  return answer;
}

}  // namespace

EnumerationStatus ReadAdapters(bool withAddresses, std::vector<AdapterFacts>& adapters) {
  const auto links = DumpLinks();
  const auto addresses =
      withAddresses ? DumpAddresses() : std::optional<std::vector<LinkAddress>>(std::in_place);
  return AdaptersOf(links, addresses, adapters);
}

std::optional<std::vector<RouteRow>> ReadIpv4DefaultRoutes() {
  return ReadDefaultRoutes(AddressFamily::Ipv4);
}

std::optional<std::vector<RouteRow>> ReadIpv6DefaultRoutes() {
  return ReadDefaultRoutes(AddressFamily::Ipv6);
}

BestRouteAnswer LookupIpv4Route(std::uint32_t destination, std::uint64_t /*interfaceLuid*/,
                                std::uint32_t interfaceIndex) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &destination, sizeof bytes);
  const auto matched = Lookup(AddressFamily::Ipv4, bytes, interfaceIndex, true);
  const auto resolved = Lookup(AddressFamily::Ipv4, bytes, interfaceIndex, false);
  return BestRouteOf(AddressFamily::Ipv4, matched, resolved);
}

BestRouteAnswer LookupIpv6Route(const std::uint8_t (&destination)[16]) {
  const auto matched = Lookup(AddressFamily::Ipv6, destination, 0, true);
  const auto resolved = Lookup(AddressFamily::Ipv6, destination, 0, false);
  return BestRouteOf(AddressFamily::Ipv6, matched, resolved);
}

InterfaceFacts ReadInterface(std::uint32_t interfaceIndex) {
  return InterfaceOf(DumpLinks(), interfaceIndex);
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
