#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "net/udp_exchange.h"
#include "os/cancel_flag.h"
#include "os/endpoint.h"

namespace talvo {

// The standard SSDP multicast group and port (UPnP Device Architecture 1.1, 1.3.2).
constexpr std::uint8_t kSsdpMulticastGroup[4] = {239, 255, 255, 250};
constexpr std::uint16_t kSsdpPort = 1900;
Ipv4Endpoint SsdpMulticastEndpoint();

enum class SsdpOutcome : int { Found = 0, NoAnswer = 1, Failed = 2, Cancelled = 3 };

// One M-SEARCH for an Internet Gateway Device; accepts only an answer from `gatewayAddress`
// whose LOCATION passes IsGatewayUrl. `locationUrl` may be null.
SsdpOutcome DiscoverGateway(std::uint32_t localAddress, const Ipv4Endpoint& destination,
                            std::uint32_t gatewayAddress, const CancelFlag& cancel,
                            std::u16string* locationUrl);

// The search and the wait for its answer on a port already aimed at the destination, with
// the clock and the network the port gives.
SsdpOutcome ExchangeSsdpSearch(const DatagramPort& port, std::uint32_t gatewayAddress,
                               const CancelFlag& cancel, std::u16string* locationUrl);

// The 137-byte search, exactly as it goes on the wire.
std::string_view SsdpSearchRequest();

bool ParseSsdpResponse(std::string_view text, std::uint32_t gatewayAddress,
                       std::u16string* locationUrl);

}  // namespace talvo
