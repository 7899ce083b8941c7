#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace talvo {

struct WanConnectionService {
  std::u16string serviceType;
  std::u16string controlUrl;
};

// 0 to 2 for the three WAN connection service types, lower preferred; 100 for anything else.
int WanServicePreference(std::u16string_view serviceType);

bool FetchDeviceDescription(std::u16string_view locationUrl, std::uint32_t gatewayAddress,
                            std::string& responseBody);

bool ParseDeviceDescription(std::string_view responseBody, std::u16string_view locationUrl,
                            std::uint32_t gatewayAddress, WanConnectionService& chosenService);

}  // namespace talvo
