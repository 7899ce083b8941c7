// NAT-PMP (RFC 6886), external address request only.
#include "net/natpmp_pcp/natpmp.h"

#include <algorithm>
#include <cstring>

#include "net/natpmp_pcp/router_socket.h"
#include "os/clock.h"
#include "os/socket.h"

namespace talvo {
namespace {

// Wire format (RFC 6886 section 3.2): multi-byte fields big-endian.
constexpr std::uint8_t kVersion = 0;
constexpr std::uint8_t kOpExternalAddress = 0;
constexpr std::uint8_t kResponseOpcodeBit = 128;  // the answer's opcode is the request's + 128

constexpr std::size_t kVersionOffset = 0;
constexpr std::size_t kOpcodeOffset = 1;
constexpr std::size_t kResultCodeOffset = 2;
constexpr std::size_t kResultCodeSize = 2;
// Bytes 4 to 7 carry the router's seconds since start of epoch, which we do not use.
constexpr std::size_t kAddressOffset = 8;
constexpr std::size_t kAddressSize = 4;

// Version, opcode, result code and epoch: an error answer may end here.
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kAnswerSize = kAddressOffset + kAddressSize;
static_assert(kResultCodeOffset + kResultCodeSize <= kHeaderSize && kHeaderSize <= kAnswerSize);

// An answer is 12 bytes; room for more costs nothing, and anything larger than this is no
// answer of ours and is dropped whole.
constexpr std::size_t kReceiveCapacity = 128;

// The first request goes out at once and is repeated after 250 ms, doubling each time
// (RFC 6886 section 3.1), but only within this window: three requests at most.
constexpr std::uint64_t kWindowMs = 1000;
constexpr std::uint64_t kFirstResendDelayMs = 250;
constexpr std::uint32_t kMaxResendShift = 5;

}  // namespace

std::array<std::uint8_t, 2> BuildNatPmpRequest() { return {kVersion, kOpExternalAddress}; }

std::optional<NatPmpResult> ClassifyNatPmpAnswer(const std::uint8_t* data, std::size_t length) {
  if (length < kHeaderSize) return std::nullopt;
  if (data[kVersionOffset] != kVersion) return std::nullopt;
  if (data[kOpcodeOffset] != (kResponseOpcodeBit | kOpExternalAddress)) return std::nullopt;
  // The result code is judged before the length: a router may send a refusal without the
  // address field, and that still ends the probe.
  if (data[kResultCodeOffset] != 0 || data[kResultCodeOffset + 1] != 0) {
    return NatPmpResult{NatPmpStatus::RouterRefused, 0};
  }
  if (length < kAnswerSize) return std::nullopt;
  std::uint32_t address = 0;
  std::memcpy(&address, data + kAddressOffset, kAddressSize);  // stays in network byte order
  // Some routers answer 0.0.0.0 until their WAN link is up; a later answer may be real.
  if (address == 0) return std::nullopt;
  return NatPmpResult{NatPmpStatus::AddressReceived, address};
}

std::uint64_t NatPmpResendDelayMs(std::uint32_t requestsSent) {
  return kFirstResendDelayMs << std::min(requestsSent, kMaxResendShift);
}

NatPmpResult ProbeNatPmp(std::uint32_t localAddress, const sockaddr_in& routerEndpoint,
                         const CancelFlag* cancelFlag) {
  NatPmpResult result;
  if (!IsUsableRouterTarget(localAddress, routerEndpoint)) return result;
  const NetSession session;
  if (!session.ok()) return result;
  const Socket socket = OpenRouterSocket(localAddress, routerEndpoint);
  if (!socket.valid()) return result;

  result.status = NatPmpStatus::NoResponse;
  const auto request = BuildNatPmpRequest();
  std::array<std::uint8_t, kReceiveCapacity> buffer{};
  const std::uint64_t start = MonotonicMs();
  std::uint64_t nextSend = start;
  std::uint32_t requestsSent = 0;
  // The window is checked before every pass, including passes that did not wait: a router
  // flooding us with junk cannot stretch the probe.
  while (MonotonicMs() - start < kWindowMs) {
    if (IsSet(cancelFlag)) {
      result.status = NatPmpStatus::Cancelled;
      break;
    }
    const std::uint64_t now = MonotonicMs();
    if (now >= nextSend) {
      if (SendBytes(socket, request.data(), request.size()) !=
          static_cast<long>(request.size())) {
        result.status = NatPmpStatus::Failed;
        break;
      }
      nextSend = now + NatPmpResendDelayMs(requestsSent);
      ++requestsSent;
    }
    const WaitResult wait = WaitReadable(socket, kRouterWaitSliceMs);
    if (wait == WaitResult::Error) {
      result.status = NatPmpStatus::Failed;
      break;
    }
    if (wait == WaitResult::TimedOut) continue;
    buffer.fill(0);
    std::uint32_t sender = 0;
    const long received = ReceiveDatagramFrom(socket, buffer.data(), buffer.size(), sender);
    if (received < 0) continue;  // an ICMP error or an oversized datagram: keep waiting
    const auto answer = ClassifyNatPmpAnswer(buffer.data(), static_cast<std::size_t>(received));
    if (answer) {
      result = *answer;
      break;
    }
  }
  return result;
}

}  // namespace talvo
