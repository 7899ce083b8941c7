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
  std::vector<AdapterFacts> adapters;
  const EnumerationStatus status = ReadAdapters(true, adapters);
  const std::optional<AddressCounts> counts = PreferredAddressCounts(status, adapters);
  ipv4Count = counts ? counts->ipv4 : 0;
  ipv6Count = counts ? counts->ipv6 : 0;
  return counts.has_value();
}

bool HasNoActiveAdapter() {
  std::vector<AdapterFacts> adapters;
  const EnumerationStatus status = ReadAdapters(false, adapters);
  return NoActiveAdapter(status, adapters);
}

bool FindDefaultRouteTowards(std::uint32_t destination, DefaultRoute& route) {
  route = DefaultRoute{};
  const std::optional<std::vector<RouteRow>> rows = ReadIpv4DefaultRoutes();
  if (!rows) return false;
  const std::optional<std::size_t> kept = ChooseDefaultRoute(*rows);
  if (!kept) return false;
  const RouteRow& row = (*rows)[*kept];
  const BestRouteAnswer pinned =
      LookupIpv4Route(destination, row.interfaceLuid, row.interfaceIndex);
  const BestRouteAnswer taken = LookupIpv4Route(destination, 0, 0);
  return ConfirmDefaultRoute(*rows, *kept, pinned, taken, route);
}

bool FindDefaultRoute(DefaultRoute& route) {
  std::uint32_t destination = 0;
  std::memcpy(&destination, kRouteConfirmationTarget, sizeof destination);
  return FindDefaultRouteTowards(destination, route);
}

bool HasOtherDefaultRoute(std::uint32_t interfaceIndex, bool& otherRoute) {
  return FindOtherDefaultRoute(ReadIpv4DefaultRoutes(), interfaceIndex, otherRoute);
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
  const Socket socket(SocketKind::UdpIpv4);
  if (!socket.valid()) return false;
  return Bind(socket, Ipv4Endpoint{address, 0});
}

bool ProbePublicIpv6RouteTo(const char* targetText, std::uint16_t port) {
  const NetSession session;
  if (!session.ok()) return false;
  Ipv6Endpoint target;
  if (!ParseIpv6Literal(targetText, target.address)) return false;

  // Every local condition is settled before the one packet this probe may send.
  const BestRouteAnswer best = LookupIpv6Route(target.address);
  if (!Ipv6SourceQualifies(best)) return false;
  if (!Ipv6InterfaceQualifies(ReadInterface(best.interfaceIndex))) return false;
  const std::optional<std::vector<RouteRow>> rows = ReadIpv6DefaultRoutes();
  if (!rows || !Ipv6DefaultRoutesQualify(*rows, best.interfaceIndex)) return false;

  const Socket socket(SocketKind::TcpIpv6);
  if (!socket.valid()) return false;
  Ipv6Endpoint source;
  std::memcpy(source.address, best.sourceIpv6, sizeof source.address);
  source.scopeId = best.sourceScopeId;
  if (!Bind(socket, source)) return false;
  if (!SetNonBlocking(socket)) return false;
  target.port = port;
  // Only the handshake matters; nothing is sent on the connection.
  switch (StartConnect(socket, target)) {
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
