#pragma once
#include <cstdint>

namespace talvo {

// The chosen IPv4 default route; addresses in network byte order, all 0 until confirmed.
struct DefaultRoute {
  std::uint32_t localAddress = 0;
  std::uint32_t gatewayAddress = 0;
  std::uint32_t interfaceIndex = 0;
};

// Preferred unicast addresses on up, non-loopback adapters. False: the adapter list is
// unreadable.
bool CountPreferredAddresses(std::uint32_t& ipv4Count, std::uint32_t& ipv6Count);
bool HasNoActiveAdapter();
bool FindDefaultRoute(DefaultRoute& route);
// False: the question stays open. Otherwise `otherRoute` tells whether another connected
// interface has an IPv4 default route with a gateway.
bool HasOtherDefaultRoute(std::uint32_t interfaceIndex, bool& otherRoute);
bool AssessIndirectPath(std::uint32_t interfaceIndex);
bool CanBindLocalAddress(std::uint32_t address);

// Part of the same module: a usable public IPv6 path, proven by one TCP connection.
bool ProbePublicIpv6Route();

}  // namespace talvo
