#include "net/upnp/description.h"

#include <algorithm>
#include <vector>

#include "net/http/http_client.h"
#include "net/upnp/gateway_url.h"
#include "net/upnp/xml_reader.h"
#include "net/url.h"

namespace talvo {
namespace {


// No honest description needs more in one text node; a long one (a padded model name, say)
// is treated as a hostile document rather than skipped.
constexpr std::size_t kMaxTextUnits = 2048;

struct ServiceCandidate {
  std::u16string serviceType;
  std::u16string controlUrl;
};

enum class Capture { None, UrlBase, ServiceType, ControlUrl };

std::u16string_view CaptureName(Capture capture) {
  switch (capture) {
    case Capture::UrlBase:
      return u"URLBase";
    case Capture::ServiceType:
      return u"serviceType";
    case Capture::ControlUrl:
      return u"controlURL";
    case Capture::None:
      break;
  }
  return {};
}

// One pass over the document. Only a document read cleanly to its end counts: candidates
// found before an error are dropped with it.
bool CollectCandidates(std::string_view body, std::u16string& urlBase,
                       std::vector<ServiceCandidate>& candidates) {
  XmlPullReader reader(body, kMaxTextUnits);
  XmlNode node;
  Capture capture = Capture::None;
  bool inService = false;
  std::uint32_t serviceDepth = 0;
  ServiceCandidate current;
  for (;;) {
    switch (reader.Next(node)) {
      case XmlNodeKind::ElementStart:
        if (node.localName == u"service" && !inService) {
          inService = true;
          serviceDepth = node.depth;
          current = ServiceCandidate{};
        } else if (node.localName == u"URLBase") {
          capture = Capture::UrlBase;
        } else if (inService && node.localName == u"serviceType") {
          capture = Capture::ServiceType;
        } else if (inService && node.localName == u"controlURL") {
          capture = Capture::ControlUrl;
        }
        break;
      case XmlNodeKind::Text:
        switch (capture) {
          case Capture::UrlBase:
            urlBase += node.value;
            break;
          case Capture::ServiceType:
            current.serviceType += node.value;
            break;
          case Capture::ControlUrl:
            current.controlUrl += node.value;
            break;
          case Capture::None:
            break;
        }
        break;
      case XmlNodeKind::ElementEnd:
        if (capture != Capture::None && node.localName == CaptureName(capture)) {
          capture = Capture::None;
        }
        // Only the end tag at the opening service's own depth closes it, so a "service"
        // element nested inside it cannot end it early and let its own texts through.
        if (inService && node.localName == u"service" && node.depth == serviceDepth) {
          if (WanServicePreference(current.serviceType) < kNotWanService &&
              !current.controlUrl.empty()) {
            candidates.push_back(std::move(current));
          }
          current = ServiceCandidate{};
          inService = false;
        }
        break;
      case XmlNodeKind::Other:
        break;
      case XmlNodeKind::End:
        return true;
      case XmlNodeKind::Error:
        return false;
    }
  }
}

}  // namespace

int WanServicePreference(std::u16string_view serviceType) {
  if (serviceType == u"urn:schemas-upnp-org:service:WANIPConnection:2") return 0;
  if (serviceType == u"urn:schemas-upnp-org:service:WANIPConnection:1") return 1;
  if (serviceType == u"urn:schemas-upnp-org:service:WANPPPConnection:1") return 2;
  return kNotWanService;
}

bool ParseDeviceDescription(std::string_view responseBody, std::u16string_view locationUrl,
                            std::uint32_t gatewayAddress, WanConnectionService& chosenService) {
  chosenService = WanConnectionService{};
  // The fetch's own cap: a larger body never came from the fetch and is not read.
  if (responseBody.empty() || responseBody.size() > kMaxRouterBodyBytes) return false;
  if (!IsGatewayUrl(locationUrl, gatewayAddress)) return false;

  std::u16string urlBase;
  std::vector<ServiceCandidate> candidates;
  if (!CollectCandidates(responseBody, urlBase, candidates)) return false;

  // A URL base that points anywhere but the gateway condemns the whole document, even when
  // every control URL happens to be absolute.
  const std::u16string base = urlBase.empty() ? std::u16string(locationUrl) : urlBase;
  if (!IsGatewayUrl(base, gatewayAddress)) return false;

  // Equal ranks keep document order: the router's first listed connection wins a tie.
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const ServiceCandidate& a, const ServiceCandidate& b) {
                     return WanServicePreference(a.serviceType) <
                            WanServicePreference(b.serviceType);
                   });
  std::u16string resolved;
  for (const ServiceCandidate& candidate : candidates) {
    if (!CombineUrl(base, candidate.controlUrl, resolved)) continue;
    if (!IsGatewayUrl(resolved, gatewayAddress)) continue;
    chosenService.serviceType = candidate.serviceType;
    chosenService.controlUrl = resolved;
    return true;
  }
  return false;
}

bool FetchDeviceDescription(std::u16string_view locationUrl, std::uint32_t gatewayAddress,
                            std::string& responseBody) {
  return FetchFromGateway(GatewayDescriptionGet, locationUrl, gatewayAddress, {}, {}, responseBody);
}

bool DescribeGateway(std::u16string_view locationUrl, std::uint32_t gatewayAddress,
                     WanConnectionService& chosenService) {
  chosenService = WanConnectionService{};
  std::string body;
  return FetchDeviceDescription(locationUrl, gatewayAddress, body) &&
         ParseDeviceDescription(body, locationUrl, gatewayAddress, chosenService);
}

}  // namespace talvo
