#pragma once
#include <cstdint>

#include "check/local/network_rules.h"

namespace talvo {

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

// The operations with their destination as an argument, for tests that aim them at addresses
// inside network namespaces they built. The public operations call these with the fixed
// public destinations.
bool FindDefaultRouteTowards(std::uint32_t destination, DefaultRoute& route);
bool ProbePublicIpv6RouteTo(const char* targetText, std::uint16_t port);

}  // namespace talvo
