#pragma once
#include <cstdint>

#include "os/cancel_flag.h"

namespace talvo {

// The IPv4 address (network byte order) under which the internet sees this PC, from the
// first address-echo service that gives a usable answer. `address` is written only on true.
bool LookupPublicAddress(const CancelFlag& cancel, std::uint32_t& address);

}  // namespace talvo
