#include "net/http/http_client.h"
#include "net/upnp/external_address.h"
#include "net/upnp/gateway_url.h"
#include "net/upnp/soap.h"

namespace talvo {

bool QueryExternalAddress(const WanConnectionService& service, std::uint32_t gatewayAddress,
                          std::uint32_t& address) {
  address = 0;
  if (WanServicePreference(service.serviceType) >= 100) return false;
  // Checked again here: the record may not have come straight from the description parser.
  if (!IsGatewayUrl(service.controlUrl, gatewayAddress)) return false;
  for (char16_t unit : service.serviceType) {
    if (unit > 0x7F) return false;
  }
  const std::u16string headers = BuildGetExternalIpHeaders(service.serviceType);
  const std::string body = BuildGetExternalIpBody(service.serviceType);
  std::string response;
  // A failed exchange (an HTTP 500 carrying a SOAP fault among them) is never parsed.
  if (!HttpFetch(GatewayControlPost, service.controlUrl, headers, body, response)) return false;
  return ParseExternalAddressResponse(response, address);
}

}  // namespace talvo
