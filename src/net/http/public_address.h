#pragma once
#include <cstdint>

#include "check/check_result.h"

namespace talvo {

// The IPv4 address (network byte order) under which the internet sees this PC, from the
// first address-echo service that gives a usable answer. `address` is written only on true.
bool LookupPublicAddress(const CancelFlag& cancel, std::uint32_t& address);

}  // namespace talvo
