#include "net/address_rules.h"

#include <cstring>

namespace talvo {

bool IsCarrierGradeNat(std::uint32_t address) {
  std::uint8_t b[4];
  std::memcpy(b, &address, sizeof b);
  return b[0] == 100 && b[1] >= 64 && b[1] <= 127;
}

bool IsPublicIpv4(std::uint32_t address) {
  if (IsCarrierGradeNat(address)) return false;
  std::uint8_t b[4];
  std::memcpy(b, &address, sizeof b);
  if (b[0] == 0 || b[0] == 10 || b[0] == 127) return false;   // this network, private, loopback
  if (b[0] == 169 && b[1] == 254) return false;                // link-local
  if (b[0] == 172 && b[1] >= 16 && b[1] <= 31) return false;   // private
  if (b[0] == 192 && b[1] == 0 && b[2] == 0) {
    return b[3] == 9 || b[3] == 10;  // protocol assignments, but for two anycast services
  }
  if (b[0] == 192 && b[1] == 0 && b[2] == 2) return false;      // documentation
  if (b[0] == 192 && b[1] == 168) return false;                 // private
  if (b[0] == 198 && (b[1] == 18 || b[1] == 19)) return false;  // benchmarking
  if (b[0] == 198 && b[1] == 51 && b[2] == 100) return false;   // documentation
  if (b[0] == 203 && b[1] == 0 && b[2] == 113) return false;    // documentation
  if (b[0] >= 224) return false;                                // multicast, reserved, broadcast
  return true;
}

bool PrefixMatches(const std::uint8_t* address, const std::uint8_t* prefix, unsigned lengthBits) {
  const unsigned wholeBytes = lengthBits / 8;
  if (std::memcmp(address, prefix, wholeBytes) != 0) return false;
  const unsigned restBits = lengthBits % 8;
  if (restBits == 0) return true;
  const auto mask = static_cast<std::uint8_t>(0xFF << (8 - restBits));
  return (address[wholeBytes] & mask) == (prefix[wholeBytes] & mask);
}

bool IsGlobalUnicastIpv6(const std::uint8_t* x) {
  if ((x[0] & 0xE0) != 0x20) return false;
  if (x[0] != 0x20) return !(x[0] == 0x3F && x[1] == 0xFF && x[2] < 0x10);  // 3fff::/20
  if (x[1] == 0x02) return false;                                         // 6to4
  if (x[1] != 0x01) return true;
  if (x[2] == 0x0D && x[3] == 0xB8) return false;  // documentation
  if (x[2] >= 2) return true;
  // 2001::/23 holds protocol assignments; only these prefixes in it are globally reachable.
  struct Exception {
    std::uint8_t prefix[16];
    unsigned length;
  };
  static constexpr Exception kGlobalInside2001[] = {
      {{0x20, 0x01, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01}, 128},
      {{0x20, 0x01, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02}, 128},
      {{0x20, 0x01, 0x00, 0x03}, 32},
      {{0x20, 0x01, 0x00, 0x04, 0x01, 0x12}, 48},
      {{0x20, 0x01, 0x00, 0x20}, 28},
      {{0x20, 0x01, 0x00, 0x30}, 28},
  };
  for (const Exception& e : kGlobalInside2001) {
    if (PrefixMatches(x, e.prefix, e.length)) return true;
  }
  return false;
}

}  // namespace talvo
