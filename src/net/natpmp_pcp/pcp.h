#pragma once
#include <cstdint>

#include "check/check_result.h"
#include "os/inet.h"

namespace talvo {

enum class PcpStatus : int {
  Supported = 0,
  NoResponse = 1,
  Denied = 2,
  Unsupported = 3,
  Unknown = 4,
  Cancelled = 5,
};

PcpStatus ProbePcpAnnounce(std::uint32_t localAddress, const sockaddr_in& routerEndpoint,
                           const CancelFlag* cancelFlag);

}  // namespace talvo
