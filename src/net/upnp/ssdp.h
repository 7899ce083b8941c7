#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "check/check_result.h"
#include "os/inet.h"

namespace talvo {

enum class SsdpOutcome : int { Found = 0, NoAnswer = 1, Failed = 2, Cancelled = 3 };

// One M-SEARCH for an Internet Gateway Device; accepts only an answer from `gatewayAddress`
// whose LOCATION passes IsGatewayUrl. `cancelFlag` and `locationUrl` may be null.
SsdpOutcome DiscoverGateway(std::uint32_t localAddress, const sockaddr_in& destination,
                            std::uint32_t gatewayAddress, const CancelFlag* cancelFlag,
                            std::u16string* locationUrl);

bool ParseSsdpResponse(std::string_view text, std::uint32_t gatewayAddress,
                       std::u16string* locationUrl);

}  // namespace talvo
