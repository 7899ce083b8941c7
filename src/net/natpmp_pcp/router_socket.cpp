#include "net/natpmp_pcp/router_socket.h"

namespace talvo {

bool IsUsableRouterTarget(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint) {
  return localAddress != 0 && routerEndpoint.port != 0;
}

Socket OpenRouterSocket(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint) {
  Socket socket(SocketKind::UdpIpv4);
  if (!socket.valid()) return socket;
  if (!Bind(socket, Ipv4Endpoint{localAddress, 0}) || !Connect(socket, routerEndpoint)) {
    socket.Close();
  }
  return socket;
}

}  // namespace talvo
