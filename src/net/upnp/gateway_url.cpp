#include "net/upnp/gateway_url.h"

#include <utility>

#include "net/http/http_rules.h"

namespace talvo {
namespace {

// Longer URLs are no description or control URL a router needs, and the bound keeps every
// copy of one small.
constexpr std::size_t kMaxGatewayUrlUnits = 2048;

}  // namespace

bool IsGatewayUrl(std::u16string_view url, std::uint32_t gatewayAddress) {
  CrackedUrl parts;
  return CheckGatewayUrl(url, gatewayAddress, parts);
}

bool CheckGatewayUrl(std::u16string_view url, std::uint32_t gatewayAddress, CrackedUrl& parts) {
  parts = CrackedUrl{};
  if (url.empty() || url.size() > kMaxGatewayUrlUnits) return false;
  // A line break could smuggle a header into a request built from the URL; a fragment is
  // never part of what a router may point us at. A zero unit would end the text early for
  // the platform calls that read terminated strings, so they would judge another URL.
  for (char16_t unit : url) {
    if (unit == u'\r' || unit == u'\n' || unit == u'#' || unit == u'\0') return false;
  }
  // The splitter also insists on an authority, a port of 1 to 65535 in plain digits and
  // characters that every HTTP stack sends as they are, so what passes here is fetched from
  // exactly the host, port and path it names.
  if (!CrackUrl(url, parts)) return false;
  if (parts.scheme != UrlScheme::Http) return false;
  if (parts.host.empty()) return false;
  // Credentials in a router's URL have no honest use here and could be sent on to it.
  if (parts.hasUserInfo) return false;
  // Only the gateway's own address in its one dotted-decimal spelling, never a name (a name
  // could resolve anywhere) nor a number some stack would read as the same address.
  std::uint32_t hostAddress = 0;
  if (!ParseIpv4Literal(parts.host, hostAddress)) return false;
  return hostAddress == gatewayAddress;
}

bool FetchFromGateway(const HttpProfile& profile, std::u16string_view url,
                      std::uint32_t gatewayAddress, std::u16string_view extraHeaders,
                      std::string_view requestBody, std::string& responseBody) {
  responseBody.clear();
  CrackedUrl parts;
  HttpTarget target;
  return CheckGatewayUrl(url, gatewayAddress, parts) &&
         HttpTargetFromParts(profile, std::move(parts), target) &&
         HttpFetchTarget(profile, target, extraHeaders, requestBody, responseBody);
}

}  // namespace talvo
