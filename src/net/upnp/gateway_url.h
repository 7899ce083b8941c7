#pragma once
#include <cstdint>
#include <string_view>

namespace talvo {

// Every URL the router hands out must pass this before it is used: plain http, host the
// gateway's IPv4 address, no user information, no fragment, 1 to 2048 UTF-16 units.
bool IsGatewayUrl(std::u16string_view url, std::uint32_t gatewayAddress);

}  // namespace talvo
