#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "check/probe_sequence.h"

namespace talvo::test {

// 192.168.1.10 and 192.168.1.1 in network byte order: a private address, so no bind test and
// no router probe runs; nothing here touches the network.
inline std::uint32_t Ipv4(unsigned a, unsigned b, unsigned c, unsigned d) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                  static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
  // The first byte in memory is the first dotted part, on either byte order.
  std::uint32_t stored = 0;
  std::memcpy(&stored, bytes, sizeof stored);
  return stored;
}

// A check with one waiting point: the public address lookup, where `during` runs on the worker
// with the check's cancel flag (it may wait for it, or throw). With `ipv6Route` the finished
// verdict is (80, High, 5), without it (35, Low, 2).
inline ProbeOperations ScriptedProbes(bool ipv6Route,
                                      std::function<void(const CancelFlag&)> during = {}) {
  ProbeOperations probes;
  probes.countPreferredAddresses = [](std::uint32_t& v4, std::uint32_t& v6) {
    v4 = 1;
    v6 = 1;
    return true;
  };
  probes.hasNoActiveAdapter = [] { return false; };
  probes.probePublicIpv6Route = [ipv6Route] { return ipv6Route; };
  probes.findDefaultRoute = [](DefaultRoute& route) {
    route.localAddress = Ipv4(192, 168, 1, 10);
    route.gatewayAddress = Ipv4(192, 168, 1, 1);
    route.interfaceIndex = 2;
    return true;
  };
  probes.assessIndirectPath = [](std::uint32_t) { return false; };
  probes.canBindLocalAddress = [](std::uint32_t) { return false; };
  probes.lookupPublicAddress = [during](const CancelFlag& cancel, std::uint32_t&) {
    if (during) during(cancel);
    return false;
  };
  return probes;
}

// (3, High, 0): no address and no adapter up.
inline ProbeOperations NoActiveRouteProbes() {
  ProbeOperations probes;
  probes.countPreferredAddresses = [](std::uint32_t& v4, std::uint32_t& v6) {
    v4 = 0;
    v6 = 0;
    return true;
  };
  probes.hasNoActiveAdapter = [] { return true; };
  return probes;
}

}  // namespace talvo::test
