#pragma once
#include <cstdint>

#include "check/check_result.h"
#include "os/inet.h"

namespace talvo {

enum class NatPmpStatus : std::int32_t {
  AddressReceived = 0,
  RouterRefused = 1,
  NoResponse = 2,
  Failed = 3,
  Cancelled = 4,
};

struct NatPmpResult {
  NatPmpStatus status = NatPmpStatus::Failed;
  std::uint32_t externalAddress = 0;  // network byte order; 0 unless AddressReceived
};

// `cancelFlag` may be null.
NatPmpResult ProbeNatPmp(std::uint32_t localAddress, const sockaddr_in& routerEndpoint,
                         const CancelFlag* cancelFlag);

}  // namespace talvo
