#include "net/http/http_client.h"
#include "net/upnp/description.h"
#include "net/upnp/gateway_url.h"

namespace talvo {

bool FetchDeviceDescription(std::u16string_view locationUrl, std::uint32_t gatewayAddress,
                            std::string& responseBody) {
  responseBody.clear();
  // Nothing goes over the network to a URL that leads anywhere but the gateway.
  if (!IsGatewayUrl(locationUrl, gatewayAddress)) return false;
  return HttpFetch(GatewayDescriptionGet, locationUrl, {}, {}, responseBody);
}

}  // namespace talvo
