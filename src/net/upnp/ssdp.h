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

// How long one wait for an answer may last at `now`: a 200 ms slice, cut short at `deadline`.
std::uint32_t SsdpWaitSliceMs(std::uint64_t now, std::uint64_t deadline);

bool ParseSsdpResponse(std::string_view text, std::uint32_t gatewayAddress,
                       std::u16string* locationUrl);

}  // namespace talvo
