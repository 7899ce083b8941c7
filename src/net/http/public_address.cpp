#include "net/http/public_address.h"

#include <iterator>

#include "net/http/echo_rules.h"
#include "net/http/http_client.h"

namespace talvo {
namespace {

// Long-lived services that answer a plain GET with the caller's address as bare text. Each
// host name has IPv4 records only, so the answer is never the IPv6 address of a dual-stack
// connection (which would be refused and waste the attempt): api.ipify.org is ipify's
// IPv4-only name (api64 is its dual-stack one), ipv4.icanhazip.com is icanhazip's IPv4-only
// name, and ipinfo.io keeps IPv6 on a separate name (v6.ipinfo.io) and serves the bare
// address under /ip.
constexpr std::u16string_view kEchoServices[] = {
    u"https://api.ipify.org",
    u"https://ipv4.icanhazip.com",
    u"https://ipinfo.io/ip",
};

}  // namespace

bool LookupPublicAddress(const CancelFlag& cancel, std::uint32_t& address) {
  return LookupPublicAddressFrom(cancel, PublicEchoGet, kEchoServices, std::size(kEchoServices),
                                 address);
}

}  // namespace talvo
