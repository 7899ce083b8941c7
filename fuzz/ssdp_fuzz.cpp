// Properties of the SSDP answer parser: an accepted answer is at most 8192 bytes, and its URL
// passes the gateway URL rule, cracks to http on the gateway's dotted address and holds no
// byte that could end a line or a string early.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/upnp/gateway_url.h"
#include "net/upnp/ssdp.h"
#include "net/url.h"
#include "os/endpoint.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace talvo;
  if (size == 0) return 0;
  const std::uint32_t gateway = Ipv4FromParts(192, 168, 1, 1);
  const std::uint8_t mode = data[0];
  std::string text;
  // Bit 0: start with a status line and a LOCATION on the gateway, so mutations reach the URL
  // rule. Bit 1: pad past the size limit, which nothing may survive.
  if (mode & 1) text = "HTTP/1.1 200 OK\r\nLOCATION: http://192.168.1.1";
  text.append(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode & 2) text += "\r\nX-PAD: " + std::string(8192, 'p') + "\r\n";

  std::u16string url = u"stale";
  const bool accepted = ParseSsdpResponse(text, gateway, &url);
  Require(accepted == ParseSsdpResponse(text, gateway, nullptr));
  if (!accepted) {
    Require(url.empty());
    return 0;
  }
  Require(text.size() <= 8192);
  Require(!url.empty() && url.size() <= 2048);
  for (char16_t unit : url) {
    Require(unit != u'\r' && unit != u'\n' && unit != u'\0' && unit != u'#');
  }
  Require(IsGatewayUrl(url, gateway));
  CrackedUrl parts;
  Require(CrackUrl(url, parts));
  Require(parts.scheme == UrlScheme::Http);
  Require(parts.host == u"192.168.1.1");
  Require(parts.port != 0 && !parts.hasUserInfo);
  return 0;
}
