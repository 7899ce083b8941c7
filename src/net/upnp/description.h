#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace talvo {

struct WanConnectionService {
  std::u16string serviceType;
  std::u16string controlUrl;
};

// The rank of a text that names no WAN connection service; every real rank is below it.
constexpr int kNotWanService = 100;

// 0 to 2 for the three WAN connection service types, lower preferred; kNotWanService for
// anything else.
int WanServicePreference(std::u16string_view serviceType);

// One GET of the description from the gateway; nothing is sent to a URL that fails the gateway
// URL rule.
bool FetchDeviceDescription(std::u16string_view locationUrl, std::uint32_t gatewayAddress,
                            std::string& responseBody);

bool ParseDeviceDescription(std::string_view responseBody, std::u16string_view locationUrl,
                            std::uint32_t gatewayAddress, WanConnectionService& chosenService);

// The description fetched and parsed: the WAN connection service the gateway offers, or false.
bool DescribeGateway(std::u16string_view locationUrl, std::uint32_t gatewayAddress,
                     WanConnectionService& chosenService);

}  // namespace talvo
