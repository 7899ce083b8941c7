// Properties of the description parser on any bytes: it never crashes or spins, a chosen
// service is one of the three WAN connection types with a control URL that passes the gateway
// URL rule, a refusal leaves both fields empty, nothing over 256 KiB is read at all, and the same bytes give the same answer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/http/http_client.h"
#include "net/upnp/description.h"
#include "net/upnp/gateway_url.h"
#include "os/endpoint.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

namespace {

constexpr std::size_t kCapBytes = talvo::kMaxRouterBodyBytes;


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace talvo;
  const std::uint32_t gateway = Ipv4FromParts(192, 168, 1, 1);
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  WanConnectionService chosen;
  const bool accepted =
      ParseDeviceDescription(body, u"http://192.168.1.1:5000/rootDesc.xml", gateway, chosen);

  // The same document made one byte longer than the cap with trailing blanks, where a
  // document may end: refused whatever it holds, and the fields left empty.
  if (size > 0 && data[size - 1] == ' ') {
    std::string padded(body);
    padded.resize(kCapBytes + 1, ' ');
    WanConnectionService over{u"stale", u"stale"};
    Require(!ParseDeviceDescription(padded, u"http://192.168.1.1:5000/rootDesc.xml", gateway, over));
    Require(over.serviceType.empty() && over.controlUrl.empty());
  }
  if (!accepted) {
    Require(chosen.serviceType.empty() && chosen.controlUrl.empty());
    return 0;
  }
  Require(size >= 1 && size <= kCapBytes);
  Require(WanServicePreference(chosen.serviceType) < kNotWanService);
  Require(IsGatewayUrl(chosen.controlUrl, gateway));
  WanConnectionService again;
  Require(ParseDeviceDescription(body, u"http://192.168.1.1:5000/rootDesc.xml", gateway, again));
  Require(again.serviceType == chosen.serviceType && again.controlUrl == chosen.controlUrl);
  return 0;
}
