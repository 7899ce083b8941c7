#pragma once
// The route choice the stand-in makes for GetBestRoute2, kept apart from Wine so the test can
// hold it to the documented cases row by row.
#include <cstddef>
#include <cstdint>

namespace standin {

struct RouteCandidate {
  std::uint8_t prefixLength;
  std::uint32_t routeMetric;
  std::uint32_t interfaceMetric;
  bool interfaceConnected;
  std::uint64_t interfaceLuid;
};

// True when the first `bits` bits of `address` equal those of `prefix` (network order).
inline bool PrefixMatches(const std::uint8_t* prefix, const std::uint8_t* address,
                          unsigned bits) {
  for (unsigned i = 0; i < bits / 8; ++i) {
    if (prefix[i] != address[i]) return false;
  }
  if (bits % 8 == 0) return true;
  const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00u >> (bits % 8));
  return ((prefix[bits / 8] ^ address[bits / 8]) & mask) == 0;
}

// Windows routes by the longest matching prefix first; among equally long prefixes by the
// lowest sum of the route's and its interface's metric. A route on a disconnected interface
// is not used, and a caller that names an interface gets a route on that interface only.
// Returns the index of the chosen candidate, or -1 when none may carry the packet.
inline long ChooseBestRoute(const RouteCandidate* rows, std::size_t count,
                            std::uint64_t onlyLuid) {
  long best = -1;
  for (std::size_t i = 0; i < count; ++i) {
    const RouteCandidate& row = rows[i];
    if (!row.interfaceConnected) continue;
    if (onlyLuid != 0 && row.interfaceLuid != onlyLuid) continue;
    if (best < 0) {
      best = static_cast<long>(i);
      continue;
    }
    const RouteCandidate& held = rows[best];
    const std::uint64_t metric = std::uint64_t{row.routeMetric} + row.interfaceMetric;
    const std::uint64_t heldMetric = std::uint64_t{held.routeMetric} + held.interfaceMetric;
    if (row.prefixLength > held.prefixLength ||
        (row.prefixLength == held.prefixLength && metric < heldMetric)) {
      best = static_cast<long>(i);
    }
  }
  return best;
}

// Windows' automatic interface metric, by the interface's link speed in bits per second.
inline std::uint32_t AutomaticMetric(std::uint64_t speed) {
  if (speed >= 2000000000ull) return 5;
  if (speed >= 200000000ull) return 10;
  if (speed >= 80000000ull) return 20;
  if (speed >= 20000000ull) return 25;
  if (speed >= 4000000ull) return 30;
  if (speed >= 500000ull) return 40;
  return 50;
}

}  // namespace standin
