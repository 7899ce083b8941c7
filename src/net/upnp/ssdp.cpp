#include "net/upnp/ssdp.h"

#include <cstddef>
#include <string>
#include <utility>

#include "net/network_bytes.h"
#include "net/upnp/gateway_url.h"
#include "os/socket.h"

namespace talvo {
namespace {

// The HOST line of the search; it names the standard group whatever destination the caller
// aims at.
std::string HostLine() {
  std::string line = "HOST: ";
  for (std::size_t i = 0; i < sizeof kSsdpMulticastGroup; ++i) {
    if (i > 0) line += '.';
    line += std::to_string(kSsdpMulticastGroup[i]);
  }
  return line + ":" + std::to_string(kSsdpPort) + "\r\n";
}

// UPnP Device Architecture 1.1, 1.3.2: one search for an Internet Gateway Device, 137 bytes
// without a terminating zero.
std::string BuildSearchRequest() {
  return "M-SEARCH * HTTP/1.1\r\n" + HostLine() +
         "MAN: \"ssdp:discover\"\r\n"
         "MX: 1\r\n"
         "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
         "\r\n";
}
// MX is 1 s, so a router that answers at all answers well inside this window.
constexpr std::uint64_t kDiscoveryWindowMs = 2500;
// The longest wait between looks at the cancel flag.
constexpr std::uint32_t kWaitSliceMs = 200;
// An SSDP answer is a handful of header lines; anything bigger is not one.
constexpr std::size_t kMaxResponseBytes = 8192;
constexpr std::size_t kMaxLocationBytes = 2048;

constexpr std::string_view kStatusHttp11 = "HTTP/1.1 200";
constexpr std::string_view kStatusHttp10 = "HTTP/1.0 200";
constexpr std::string_view kLocationName = "location";

bool IsAcceptedStatusLine(std::string_view line) {
  const std::string_view head = line.substr(0, kStatusHttp11.size());
  if (head != kStatusHttp11 && head != kStatusHttp10) return false;
  // "200" must be the whole code: "2000" or "200OK" is some other answer.
  return line.size() == head.size() || line[head.size()] == ' ';
}

bool IsLocationName(std::string_view name) {
  if (name.size() != kLocationName.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kLocationName[i]) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Lines as a stream reader gives them: split at LF, one trailing CR dropped, a last line
// without LF still counted, no empty line after a final LF.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  bool Next(std::string_view& line) {
    if (rest_.empty()) return false;
    const std::size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }

 private:
  std::string_view rest_;
};

}  // namespace

bool ParseSsdpResponse(std::string_view text, std::uint32_t gatewayAddress,
                       std::u16string* locationUrl) {
  if (locationUrl != nullptr) locationUrl->clear();
  if (text.size() > kMaxResponseBytes) return false;

  LineReader lines(text);
  std::string_view line;
  if (!lines.Next(line) || !IsAcceptedStatusLine(line)) return false;

  // An empty line does not end the search: the datagram is small and bounded, and a router
  // that puts a stray blank line before its LOCATION is still a router that answered.
  while (lines.Next(line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (!IsLocationName(line.substr(0, colon))) continue;

    // The first LOCATION decides: a router that sends two cannot have us pick the one we like.
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (value.empty() || value.size() > kMaxLocationBytes) return false;
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
      return false;
    }
    std::u16string url = UnitsFromNetworkBytes(value);
    if (!IsGatewayUrl(url, gatewayAddress)) return false;
    if (locationUrl != nullptr) *locationUrl = std::move(url);
    return true;
  }
  return false;
}

Ipv4Endpoint SsdpMulticastEndpoint() {
  const auto& g = kSsdpMulticastGroup;
  return Ipv4Endpoint{Ipv4FromParts(g[0], g[1], g[2], g[3]), kSsdpPort};
}

std::string_view SsdpSearchRequest() {
  static const std::string request = BuildSearchRequest();
  return request;
}

SsdpOutcome ExchangeSsdpSearch(const DatagramPort& port, std::uint32_t gatewayAddress,
                               const CancelFlag& cancel, std::u16string* locationUrl) {
  if (locationUrl != nullptr) locationUrl->clear();
  ExchangeSchedule schedule;
  schedule.windowMs = kDiscoveryWindowMs;
  schedule.sliceMs = kWaitSliceMs;
  schedule.lastSliceEndsAtWindow = true;
  // The one search goes out even for a check cancelled meanwhile: the flag is first read in
  // the wait, as for a cancellation that comes a moment later.
  schedule.firstRequestDespiteCancel = true;
  schedule.receiveCapacity = kMaxResponseBytes;
  const auto classify = [gatewayAddress, locationUrl](const std::uint8_t* data, std::size_t length,
                                                      std::uint32_t sender) {
    std::optional<SsdpOutcome> found;
    // Anyone on the segment can answer a multicast search; only the gateway is believed.
    const std::string_view text(reinterpret_cast<const char*>(data), length);
    if (sender == gatewayAddress && ParseSsdpResponse(text, gatewayAddress, locationUrl)) {
      found = SsdpOutcome::Found;
    }
    return found;
  };
  return ExchangeForStatus(
      port, schedule, SsdpSearchRequest(), cancel, classify,
      UnansweredStatuses<SsdpOutcome>{SsdpOutcome::NoAnswer, SsdpOutcome::Cancelled,
                                      SsdpOutcome::Failed});
}

SsdpOutcome DiscoverGateway(std::uint32_t localAddress, const Ipv4Endpoint& destination,
                            std::uint32_t gatewayAddress, const CancelFlag& cancel,
                            std::u16string* locationUrl) {
  if (locationUrl != nullptr) locationUrl->clear();
  if (localAddress == 0 || gatewayAddress == 0 || destination.port == 0) {
    return SsdpOutcome::Failed;
  }
  const NetSession session;
  if (!session.ok()) return SsdpOutcome::Failed;
  const Socket socket(SocketKind::UdpIpv4);
  if (!socket.valid()) return SsdpOutcome::Failed;
  // Bound to the default route's own address and sending multicast out of its interface, so
  // the search reaches the gateway's segment and the answer comes back to this port.
  if (!Bind(socket, Ipv4Endpoint{localAddress, 0})) return SsdpOutcome::Failed;
  if (!SetMulticastInterface(socket, localAddress)) return SsdpOutcome::Failed;
  return ExchangeSsdpSearch(SocketPort(socket, &destination), gatewayAddress, cancel, locationUrl);
}

}  // namespace talvo
