#include "net/http/echo_rules.h"

#include <string>

#include "net/address_rules.h"
#include "net/network_bytes.h"
#include "net/url.h"

namespace talvo {

bool ParseEchoBody(std::string_view body, std::uint32_t& address) {
  if (body.empty() || body.size() > kMaxEchoBodyBytes) return false;
  while (!body.empty() && (body.back() == '\r' || body.back() == '\n' || body.back() == ' ')) {
    body.remove_suffix(1);
  }
  // The bytes stay bytes: each becomes one unit, so anything but ASCII digits and dots fails
  // the literal test. A NUL would end a C string early and let "1.2.3.4\0junk" through.
  if (body.find('\0') != std::string_view::npos) return false;
  const std::u16string text = UnitsFromNetworkBytes(body);
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
    if (HttpFetch(profile, urls[i], u"", {}, body, &cancel) && ParseEchoBody(body, parsed)) {
      address = parsed;
      return true;
    }
  }
  return false;
}

}  // namespace talvo
