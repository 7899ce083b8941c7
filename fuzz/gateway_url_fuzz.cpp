// Properties of the gateway URL rule: whatever it accepts is 1 to 2048 units of printable
// ASCII without a blank, '#', '\\' or '%' outside an escape, and cracks to plain http on
// exactly the gateway's dotted address in its one spelling, a port of 1 to 65535 and no user
// information; the HTTP target built from it names that same host and port.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http/http_rules.h"
#include "net/upnp/gateway_url.h"
#include "net/url.h"
#include "os/endpoint.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace talvo;
  if (size == 0) return 0;
  const std::uint32_t gateway = Ipv4FromParts(192, 168, 1, 1);
  const std::uint8_t mode = data[0];
  ++data;
  --size;
  std::u16string url;
  // Bit 0: start at the gateway so mutations explore what may follow the host.
  if (mode & 1) url = u"http://192.168.1.1";
  if (mode & 2) {
    // Whole UTF-16 units, little-endian, to reach units a byte cannot hold.
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      url.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
  } else {
    for (std::size_t i = 0; i < size; ++i) url.push_back(static_cast<char16_t>(data[i]));
  }

  const bool accepted = IsGatewayUrl(url, gateway);
  Require(accepted == IsGatewayUrl(url, gateway));
  if (!accepted) return 0;
  Require(!url.empty() && url.size() <= 2048);
  for (std::size_t i = 0; i < url.size(); ++i) {
    const char16_t unit = url[i];
    Require(unit > 0x20 && unit < 0x7F && unit != u'#' && unit != u'\\');
    Require(unit != u'%' || (i + 2 < url.size() && std::isxdigit(url[i + 1]) &&
                             std::isxdigit(url[i + 2])));
  }
  CrackedUrl parts;
  Require(CrackUrl(url, parts));
  Require(parts.scheme == UrlScheme::Http);
  Require(parts.host == u"192.168.1.1");
  Require(parts.port != 0 && !parts.hasUserInfo);
  std::uint32_t host = 0;
  Require(ParseIpv4Literal(parts.host, host) && host == gateway);
  HttpTarget target;
  Require(BuildHttpTarget(GatewayDescriptionGet, url, target));
  Require(target.host == parts.host && target.port == parts.port && !target.secure);
  return 0;
}
