#include "check/local/local_probes.h"

#include <cstring>
#include <optional>
#include <vector>

#include "check/local/local_facts.h"
#include "os/socket.h"

namespace talvo {

namespace {

// Public anycast resolvers: stable for years and answered from nearby everywhere. The IPv4
// one only selects a route (nothing is sent to it); the IPv6 one gets one TCP handshake.
constexpr std::uint8_t kRouteConfirmationTarget[4] = {1, 1, 1, 1};
constexpr char kIpv6ProbeTarget[] = "2606:4700:4700::1111";
constexpr std::uint16_t kIpv6ProbePort = 443;
constexpr std::uint32_t kIpv6ConnectTimeoutMs = 2000;

}  // namespace

bool CountPreferredAddresses(std::uint32_t& ipv4Count, std::uint32_t& ipv6Count) {
  ipv4Count = 0;
  ipv6Count = 0;
  std::vector<AdapterFacts> adapters;
  const EnumerationStatus status = ReadAdapters(true, adapters);
  if (status == EnumerationStatus::Failed) return false;
  if (status == EnumerationStatus::NoData) return true;
  const AddressCounts counts = CountAdapterAddresses(adapters);
  ipv4Count = counts.ipv4;
  ipv6Count = counts.ipv6;
  return true;
}

bool HasNoActiveAdapter() {
  std::vector<AdapterFacts> adapters;
  const EnumerationStatus status = ReadAdapters(false, adapters);
  if (status == EnumerationStatus::NoData) return true;
  if (status == EnumerationStatus::Failed) return false;
  return !AnyActiveAdapter(adapters);
}

bool FindDefaultRouteTowards(std::uint32_t destination, DefaultRoute& route) {
  route = DefaultRoute{};
  std::vector<RouteRow> rows;
  if (!ReadIpv4DefaultRoutes(rows)) return false;
  const std::optional<std::size_t> kept = ChooseDefaultRoute(rows);
  if (!kept) return false;
  const RouteRow& row = rows[*kept];
  const BestRouteAnswer best = LookupIpv4Route(destination, row.interfaceLuid, row.interfaceIndex);
  return ConfirmDefaultRoute(row, best, route);
}

bool FindDefaultRoute(DefaultRoute& route) {
  std::uint32_t destination = 0;
  std::memcpy(&destination, kRouteConfirmationTarget, sizeof destination);
  return FindDefaultRouteTowards(destination, route);
}

bool HasOtherDefaultRoute(std::uint32_t interfaceIndex, bool& otherRoute) {
  otherRoute = false;
  std::vector<RouteRow> rows;
  if (!ReadIpv4DefaultRoutes(rows)) return false;
  return FindOtherDefaultRoute(rows, interfaceIndex, otherRoute);
}

bool AssessIndirectPath(std::uint32_t interfaceIndex) {
  bool otherRoute = false;
  const bool answered = HasOtherDefaultRoute(interfaceIndex, otherRoute);
  const InterfaceFacts routeInterface = ReadInterface(interfaceIndex);
  const ProxyFacts proxy = ReadSystemProxy();
  return CombineIndirectPath(answered, otherRoute, routeInterface, proxy);
}

bool CanBindLocalAddress(std::uint32_t address) {
  const NetSession session;
  if (!session.ok()) return false;
  const Socket socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (!socket.valid()) return false;
  return BindIpv4(socket, address, 0);
}

bool ProbePublicIpv6RouteTo(const char* targetText, std::uint16_t port) {
  const NetSession session;
  if (!session.ok()) return false;
  sockaddr_in6 target{};
  target.sin6_family = AF_INET6;
  if (inet_pton(AF_INET6, targetText, &target.sin6_addr) != 1) return false;
  std::uint8_t destination[16];
  std::memcpy(destination, &target.sin6_addr, sizeof destination);

  // Every local condition is settled before the one packet this probe may send.
  const BestRouteAnswer best = LookupIpv6Route(destination);
  if (!Ipv6SourceQualifies(best)) return false;
  if (!Ipv6InterfaceQualifies(ReadInterface(best.interfaceIndex))) return false;
  std::vector<RouteRow> rows;
  if (!ReadIpv6DefaultRoutes(rows)) return false;
  if (!Ipv6DefaultRoutesQualify(rows, best.interfaceIndex)) return false;

  const Socket socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
  if (!socket.valid()) return false;
  sockaddr_in6 source{};
  source.sin6_family = AF_INET6;
  std::memcpy(&source.sin6_addr, best.sourceIpv6, sizeof best.sourceIpv6);
  source.sin6_scope_id = best.sourceScopeId;
  if (!BindAddress(socket, reinterpret_cast<const sockaddr*>(&source), sizeof source)) {
    return false;
  }
  if (!SetNonBlocking(socket)) return false;
  target.sin6_port = htons(port);
  // Only the handshake matters; nothing is sent on the connection.
  switch (StartConnect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target)) {
    case ConnectStart::Connected:
      return true;
    case ConnectStart::InProgress:
      return WaitConnected(socket, kIpv6ConnectTimeoutMs);
    case ConnectStart::Failed:
      break;
  }
  return false;
}

bool ProbePublicIpv6Route() { return ProbePublicIpv6RouteTo(kIpv6ProbeTarget, kIpv6ProbePort); }

}  // namespace talvo
