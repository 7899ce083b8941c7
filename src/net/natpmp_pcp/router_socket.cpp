#include "net/natpmp_pcp/router_socket.h"

namespace talvo {

bool IsUsableRouterTarget(std::uint32_t localAddress, const sockaddr_in& routerEndpoint) {
  return localAddress != 0 && routerEndpoint.sin_family == AF_INET && routerEndpoint.sin_port != 0;
}

Socket OpenRouterSocket(std::uint32_t localAddress, const sockaddr_in& routerEndpoint) {
  Socket socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (!socket.valid()) return socket;
  if (!BindIpv4(socket, localAddress, 0) || !ConnectIpv4(socket, routerEndpoint)) {
    socket.Close();
  }
  return socket;
}

}  // namespace talvo
