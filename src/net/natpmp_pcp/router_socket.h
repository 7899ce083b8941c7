#pragma once
// What NAT-PMP and PCP share: the same port on the same gateway (kRouterProtocolPort),
// reached through one UDP socket bound to the default route's address and connected to the
// router.
#include <cstdint>

#include "os/endpoint.h"
#include "os/socket.h"

namespace talvo {

// Both probes wait in slices this long, so a cancellation or the end of the window is seen
// within about one slice.
constexpr std::uint32_t kRouterWaitSliceMs = 100;

// An address and endpoint a probe can use at all; anything else ends it before any socket work.
bool IsUsableRouterTarget(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint);

// A UDP socket bound to `localAddress` port 0 and connected to `routerEndpoint`, so that it
// receives datagrams from the router's port only; an invalid Socket when any step fails.
Socket OpenRouterSocket(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint);

}  // namespace talvo
