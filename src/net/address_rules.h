#pragma once
#include <cstdint>

namespace talvo {

// The one test of a public IPv4 address; `address` is in network byte order.
bool IsPublicIpv4(std::uint32_t address);

// The shared address space of carrier-grade NAT, 100.64.0.0/10: first byte 100, second 64 to
// 127. Network byte order.
bool IsCarrierGradeNat(std::uint32_t address);

// True when the first `lengthBits` bits of the two 16-byte addresses agree.
bool PrefixMatches(const std::uint8_t* address, const std::uint8_t* prefix, unsigned lengthBits);

// A global unicast IPv6 address by the special-purpose address registry; 16 bytes in network
// order.
bool IsGlobalUnicastIpv6(const std::uint8_t* address);

}  // namespace talvo
