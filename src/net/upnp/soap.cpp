#include "net/upnp/soap.h"

namespace talvo {
namespace {

constexpr std::u16string_view kHeadersBeforeType =
    u"Content-Type: text/xml; charset=\"utf-8\"\r\nSOAPAction: \"";
constexpr std::u16string_view kHeadersAfterType = u"#GetExternalIPAddress\"\r\n";
static_assert(kHeadersBeforeType.size() + kHeadersAfterType.size() == 78);

// SOAP 1.1: the envelope namespace and the standard encoding style. The action element is
// empty and carries the service type as its namespace.
constexpr std::string_view kBodyBeforeType =
    "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
    "<u:GetExternalIPAddress xmlns:u=\"";
constexpr std::string_view kBodyAfterType = "\"/></s:Body></s:Envelope>";
static_assert(kBodyBeforeType.size() == 186);
static_assert(kBodyAfterType.size() == 25);

}  // namespace

std::u16string BuildGetExternalIpHeaders(std::u16string_view serviceType) {
  std::u16string headers;
  headers.reserve(kHeadersBeforeType.size() + serviceType.size() + kHeadersAfterType.size());
  headers.append(kHeadersBeforeType);
  headers.append(serviceType);
  headers.append(kHeadersAfterType);
  return headers;
}

std::string BuildGetExternalIpBody(std::u16string_view serviceType) {
  std::string body;
  body.reserve(kBodyBeforeType.size() + serviceType.size() + kBodyAfterType.size());
  body.append(kBodyBeforeType);
  for (char16_t unit : serviceType) body.push_back(static_cast<char>(unit));
  body.append(kBodyAfterType);
  return body;
}

}  // namespace talvo
