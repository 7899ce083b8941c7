// NAT-PMP (RFC 6886), external address request only.
#include "net/natpmp_pcp/natpmp.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "net/natpmp_pcp/router_socket.h"

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

NatPmpResult ExchangeNatPmp(const DatagramPort& port, const CancelFlag& cancel) {
  const auto request = BuildNatPmpRequest();
  const std::string_view requestBytes(reinterpret_cast<const char*>(request.data()), request.size());
  ExchangeSchedule schedule;
  schedule.windowMs = kWindowMs;
  schedule.sliceMs = kRouterWaitSliceMs;
  schedule.resendDelayMs = NatPmpResendDelayMs;
  schedule.receiveCapacity = kReceiveCapacity;
  const auto classify = [](const std::uint8_t* data, std::size_t length, std::uint32_t) {
    return ClassifyNatPmpAnswer(data, length);
  };
  return ExchangeForStatus(port, schedule, requestBytes, cancel, classify,
                           UnansweredStatuses<NatPmpResult>{{NatPmpStatus::NoResponse, 0},
                                                            {NatPmpStatus::Cancelled, 0},
                                                            {NatPmpStatus::Failed, 0}});
}

NatPmpResult ProbeNatPmp(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint,
                         const CancelFlag& cancel) {
  if (!IsUsableRouterTarget(localAddress, routerEndpoint)) return NatPmpResult{};
  const NetSession session;
  if (!session.ok()) return NatPmpResult{};
  const Socket socket = OpenRouterSocket(localAddress, routerEndpoint);
  if (!socket.valid()) return NatPmpResult{};
  return ExchangeNatPmp(SocketPort(socket, nullptr), cancel);
}

}  // namespace talvo
