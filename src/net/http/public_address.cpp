#include "net/http/public_address.h"

#include <iterator>
#include <string>

#include "check/local/address_rules.h"
#include "net/http/echo_rules.h"
#include "net/url.h"

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

bool ParseEchoBody(std::string_view body, std::uint32_t& address) {
  if (body.empty() || body.size() > kMaxEchoBodyBytes) return false;
  while (!body.empty() && (body.back() == '\r' || body.back() == '\n' || body.back() == ' ')) {
    body.remove_suffix(1);
  }
  // The bytes stay bytes: each becomes one unit, so anything but ASCII digits and dots fails
  // the literal test. A NUL would end a C string early and let "1.2.3.4\0junk" through.
  std::u16string text;
  text.reserve(body.size());
  for (char byte : body) {
    if (byte == '\0') return false;
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
  }
  std::uint32_t parsed = 0;
  if (!ParseIpv4Literal(text, parsed) || !IsPublicIpv4(parsed)) return false;
  address = parsed;
  return true;
}

bool LookupPublicAddressFrom(const CancelFlag& cancel, const HttpProfile& profile,
                             const std::u16string_view* urls, std::size_t count,
                             std::uint32_t& address) {
  for (std::size_t i = 0; i < count; ++i) {
    if (cancel.load()) return false;
    std::string body;
    std::uint32_t parsed = 0;
    if (HttpFetch(profile, urls[i], u"", {}, body) && ParseEchoBody(body, parsed)) {
      address = parsed;
      return true;
    }
  }
  return false;
}

bool LookupPublicAddress(const CancelFlag& cancel, std::uint32_t& address) {
  return LookupPublicAddressFrom(cancel, PublicEchoGet, kEchoServices, std::size(kEchoServices),
                                 address);
}

}  // namespace talvo
