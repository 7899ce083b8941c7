#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http/http_client.h"
#include "net/url.h"

namespace talvo {

// Every URL the router hands out must pass this before it is used: plain http, host the
// gateway's IPv4 address, no user information, no fragment, 1 to 2048 UTF-16 units.
bool IsGatewayUrl(std::u16string_view url, std::uint32_t gatewayAddress);
// The rule and the split in one: `parts` holds the URL's pieces when it passes.
bool CheckGatewayUrl(std::u16string_view url, std::uint32_t gatewayAddress, CrackedUrl& parts);

// HttpFetch for a URL the router handed out: split and checked once on its way to the request,
// and nothing is sent for one that fails the rule.
bool FetchFromGateway(const HttpProfile& profile, std::u16string_view url,
                      std::uint32_t gatewayAddress, std::u16string_view extraHeaders,
                      std::string_view requestBody, std::string& responseBody);

}  // namespace talvo
