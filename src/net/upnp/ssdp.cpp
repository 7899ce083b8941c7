#include "net/upnp/ssdp.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "net/upnp/gateway_url.h"
#include "os/clock.h"
#include "os/socket.h"

namespace talvo {
namespace {

// UPnP Device Architecture 1.1, 1.3.2: one search for an Internet Gateway Device. The HOST
// line names the standard group whatever destination the caller aims at.
constexpr char kMSearchRequest[] =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 1\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "\r\n";
constexpr std::size_t kMSearchLength = sizeof kMSearchRequest - 1;  // no terminating zero
static_assert(kMSearchLength == 137, "the M-SEARCH request is 137 bytes on the wire");

// MX is 1 s, so a router that answers at all answers well inside this window.
constexpr std::uint64_t kDiscoveryWindowMs = 2500;
// The slice between looks at the cancel flag.
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

// No character set is decoded: each byte becomes one unit, taken as a signed 8-bit value
// (the platform's char), so 0x80 to 0xFF land on 0xFF80 to 0xFFFF.
std::u16string WidenSignedBytes(std::string_view bytes) {
  std::u16string wide;
  wide.reserve(bytes.size());
  for (char byte : bytes) {
    const auto value = static_cast<std::int16_t>(static_cast<signed char>(byte));
    wide.push_back(static_cast<char16_t>(value));
  }
  return wide;
}

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
    std::u16string url = WidenSignedBytes(value);
    if (!IsGatewayUrl(url, gatewayAddress)) return false;
    if (locationUrl != nullptr) *locationUrl = std::move(url);
    return true;
  }
  return false;
}

std::uint32_t SsdpWaitSliceMs(std::uint64_t now, std::uint64_t deadline) {
  // The last slice stops at the deadline: a full slice begun just before it would keep a
  // silent router's check waiting up to 200 ms past the window.
  if (now >= deadline) return 0;
  const std::uint64_t left = deadline - now;
  return left < kWaitSliceMs ? static_cast<std::uint32_t>(left) : kWaitSliceMs;
}

SsdpOutcome DiscoverGateway(std::uint32_t localAddress, const sockaddr_in& destination,
                            std::uint32_t gatewayAddress, const CancelFlag* cancelFlag,
                            std::u16string* locationUrl) {
  if (locationUrl != nullptr) locationUrl->clear();
  if (localAddress == 0 || gatewayAddress == 0 || destination.sin_family != AF_INET ||
      destination.sin_port == 0) {
    return SsdpOutcome::Failed;
  }

  const NetSession session;
  if (!session.ok()) return SsdpOutcome::Failed;
  const Socket socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (!socket.valid()) return SsdpOutcome::Failed;
  // Bound to the default route's own address and sending multicast out of its interface, so
  // the search reaches the gateway's segment and the answer comes back to this port.
  if (!BindIpv4(socket, localAddress, 0)) return SsdpOutcome::Failed;
  if (!SetMulticastInterface(socket, localAddress)) return SsdpOutcome::Failed;
  if (SendTo(socket, kMSearchRequest, kMSearchLength, destination) !=
      static_cast<long>(kMSearchLength)) {
    return SsdpOutcome::Failed;
  }

  const std::uint64_t deadline = MonotonicMs() + kDiscoveryWindowMs;
  std::vector<char> buffer(kMaxResponseBytes);
  while (MonotonicMs() < deadline) {
    if (IsSet(cancelFlag)) return SsdpOutcome::Cancelled;
    const WaitResult wait = WaitReadable(socket, SsdpWaitSliceMs(MonotonicMs(), deadline));
    if (wait == WaitResult::Error) return SsdpOutcome::Failed;
    if (wait == WaitResult::TimedOut) continue;

    std::uint32_t sender = 0;
    // An oversized datagram comes back as an error and is gone whole; never parse a part.
    const long received = ReceiveDatagramFrom(socket, buffer.data(), buffer.size(), sender);
    if (received <= 0) continue;
    // Anyone on the segment can answer a multicast search; only the gateway is believed.
    if (sender != gatewayAddress) continue;
    const std::string_view text(buffer.data(), static_cast<std::size_t>(received));
    if (ParseSsdpResponse(text, gatewayAddress, locationUrl)) return SsdpOutcome::Found;
  }
  return SsdpOutcome::NoAnswer;
}

}  // namespace talvo
