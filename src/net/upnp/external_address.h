#pragma once
#include <cstdint>
#include <string_view>

#include "net/upnp/description.h"

namespace talvo {

// SOAP GetExternalIPAddress; `address` (network byte order) is set to 0 first.
bool QueryExternalAddress(const WanConnectionService& service, std::uint32_t gatewayAddress,
                          std::uint32_t& address);

bool ParseExternalAddressResponse(std::string_view body, std::uint32_t& address);

}  // namespace talvo
