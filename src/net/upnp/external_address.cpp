#include "net/upnp/external_address.h"

#include <string>

#include "net/http/http_client.h"
#include "net/upnp/gateway_url.h"
#include "net/upnp/soap.h"
#include "net/upnp/xml_reader.h"
#include "net/url.h"

namespace talvo {
namespace {

// A dotted-decimal address with generous room for blanks around it; anything longer is not
// an address.
constexpr std::size_t kMaxAddressUnits = 64;

// Only the address text is bounded; other text in a SOAP answer is read and dropped.
constexpr std::size_t kAnyTextLength = static_cast<std::size_t>(-1);

bool IsBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\r' || unit == u'\n';
}

std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool ParseExternalAddressResponse(std::string_view body, std::uint32_t& address) {
  address = 0;
  if (body.empty() || body.size() > kMaxRouterBodyBytes) return false;

  bool faultSeen = false;
  bool responseSeen = false;
  bool inResponse = false;
  std::uint32_t responseDepth = 0;
  bool addressSeen = false;
  bool inAddress = false;
  std::u16string text;

  XmlPullReader reader(body, kAnyTextLength);
  XmlNode node;
  bool reachedEnd = false;
  while (!reachedEnd) {
    switch (reader.Next(node)) {
      case XmlNodeKind::ElementStart:
        // A fault anywhere, even beside a well-formed answer, means the router did not
        // answer the question.
        if (node.localName == u"Fault") {
          faultSeen = true;
        } else if (node.localName == u"GetExternalIPAddressResponse") {
          if (responseSeen) return false;
          responseSeen = true;
          inResponse = true;
          responseDepth = node.depth;
        } else if (inResponse && node.localName == u"NewExternalIPAddress") {
          // Two addresses, or one buried deeper, leave it unclear which one the router meant.
          if (addressSeen || node.depth != responseDepth + 1) return false;
          addressSeen = true;
          inAddress = true;
        }
        break;
      case XmlNodeKind::Text:
        if (inAddress) {
          if (text.size() + node.value.size() > kMaxAddressUnits) return false;
          text += node.value;
        }
        break;
      case XmlNodeKind::ElementEnd:
        if (node.localName == u"NewExternalIPAddress") {
          inAddress = false;
        } else if (node.localName == u"GetExternalIPAddressResponse") {
          inResponse = false;
        }
        break;
      case XmlNodeKind::Other:
        break;
      case XmlNodeKind::End:
        reachedEnd = true;
        break;
      case XmlNodeKind::Error:
        return false;
    }
  }
  if (!responseSeen || !addressSeen || inAddress || inResponse || faultSeen) return false;

  const std::u16string_view trimmed = TrimBlanks(text);
  if (trimmed.empty()) return false;
  std::uint32_t parsed = 0;
  if (!ParseIpv4Literal(trimmed, parsed) || parsed == 0) return false;
  address = parsed;
  return true;
}

bool QueryExternalAddress(const WanConnectionService& service, std::uint32_t gatewayAddress,
                          std::uint32_t& address) {
  address = 0;
  if (WanServicePreference(service.serviceType) >= kNotWanService) return false;
  for (char16_t unit : service.serviceType) {
    if (unit > 0x7F) return false;
  }
  const std::u16string headers = BuildGetExternalIpHeaders(service.serviceType);
  const std::string body = BuildGetExternalIpBody(service.serviceType);
  std::string response;
  // A failed exchange (an HTTP 500 carrying a SOAP fault among them) is never parsed.
  // The record may not have come straight from the description parser: the URL meets the
  // gateway rule again on its way to the request.
  if (!FetchFromGateway(GatewayControlPost, service.controlUrl, gatewayAddress, headers, body,
                        response)) {
    return false;
  }
  return ParseExternalAddressResponse(response, address);
}

}  // namespace talvo
