#pragma once
// Addresses as the probes pass them around, in portable records: the platform's socket
// address types stay inside the socket layer's platform files.
#include <cstdint>
#include <cstring>

namespace talvo {

// An IPv4 address in network byte order, exactly as in_addr holds it (the first byte in memory
// is the first dotted part), and a port in host byte order.
struct Ipv4Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};

inline bool operator==(const Ipv4Endpoint& a, const Ipv4Endpoint& b) {
  return a.address == b.address && a.port == b.port;
}

// An IPv6 address (16 bytes in network order), its scope and a port in host byte order.
struct Ipv6Endpoint {
  std::uint8_t address[16] = {};
  std::uint32_t scopeId = 0;
  std::uint16_t port = 0;
};

// An IPv4 address in network byte order from its four dotted parts, first part first.
inline std::uint32_t Ipv4FromParts(std::uint8_t a, std::uint8_t b, std::uint8_t c,
                                   std::uint8_t d) {
  const std::uint8_t bytes[4] = {a, b, c, d};
  std::uint32_t address = 0;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

}  // namespace talvo
