#pragma once
// The platform's socket address types (sockaddr_in, sockaddr_in6, AF_INET, htons) for
// portable code that passes them around without doing socket work itself.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <cstring>

namespace talvo {

// An IPv4 address in network byte order from its four dotted parts, first part first.
inline std::uint32_t Ipv4FromParts(std::uint8_t a, std::uint8_t b, std::uint8_t c,
                                   std::uint8_t d) {
  const std::uint8_t bytes[4] = {a, b, c, d};
  std::uint32_t address = 0;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

inline sockaddr_in MakeIpv4Endpoint(std::uint32_t address, std::uint16_t port) {
  sockaddr_in endpoint{};
  endpoint.sin_family = AF_INET;
  endpoint.sin_port = htons(port);
  endpoint.sin_addr.s_addr = address;
  return endpoint;
}

}  // namespace talvo
