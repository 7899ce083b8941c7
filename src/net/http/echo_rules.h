#pragma once
// How an address-echo service's answer is read, and the lookup loop over an ordered list of
// services, apart from the fixed service list so that both can be exercised on loopback.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "os/cancel_flag.h"
#include "net/http/http_client.h"

namespace talvo {

// The longest raw answer taken, line end included: a dotted IPv4 address needs at most 15.
constexpr std::size_t kMaxEchoBodyBytes = 64;

// A public IPv4 address (network byte order) from an echo body: 1 to 64 raw bytes, trailing
// CR, LF and space removed and nothing else, then the complete dotted-decimal form only.
bool ParseEchoBody(std::string_view body, std::uint32_t& address);

// Asks `urls` in order with `profile`; the first usable answer wins. The cancel flag is read
// before each service and nowhere else. `address` is written only on true.
bool LookupPublicAddressFrom(const CancelFlag& cancel, const HttpProfile& profile,
                             const std::u16string_view* urls, std::size_t count,
                             std::uint32_t& address);

}  // namespace talvo
