// PCP (RFC 6887), ANNOUNCE only: the one request that asks for an answer and changes nothing.
#include "net/natpmp_pcp/pcp.h"

#include <cstring>
#include <string_view>

#include "net/natpmp_pcp/router_socket.h"

namespace talvo {
namespace {

// Common request and response headers (RFC 6887 sections 7.1 and 7.2).
constexpr std::uint8_t kVersion = 2;
constexpr std::uint8_t kOpAnnounce = 0;
constexpr std::uint8_t kResponseBit = 0x80;  // the R bit above the 7-bit opcode

constexpr std::size_t kVersionOffset = 0;
constexpr std::size_t kOpcodeOffset = 1;
constexpr std::size_t kReservedOffset = 2;     // request: 2 bytes; response: 1 byte
constexpr std::size_t kResultCodeOffset = 3;   // response only
constexpr std::size_t kLifetimeOffset = 4;     // 4 bytes; 0 in our request
constexpr std::size_t kClientAddressOffset = 8;
constexpr std::size_t kClientAddressSize = 16;
// An IPv4 client address travels IPv4-mapped (RFC 4291 section 2.5.5.2): ten zero bytes,
// two 0xFF bytes, then the four address bytes.
constexpr std::size_t kMappedMarkerOffset = kClientAddressOffset + 10;
constexpr std::size_t kMappedIpv4Offset = kClientAddressOffset + 12;
constexpr std::size_t kIpv4Size = 4;
constexpr std::size_t kHeaderSize = kClientAddressOffset + kClientAddressSize;
static_assert(kReservedOffset + 2 == kLifetimeOffset &&
              kLifetimeOffset + 4 == kClientAddressOffset);
static_assert(kHeaderSize == 24 && kMappedIpv4Offset + kIpv4Size == kHeaderSize);

// Result codes (RFC 6887 section 7.4) that mean something to us.
constexpr std::uint8_t kSuccess = 0;
constexpr std::uint8_t kUnsupportedVersion = 1;
constexpr std::uint8_t kNotAuthorized = 2;
constexpr std::uint8_t kUnsupportedOpcode = 4;

// A PCP message is at most 1100 bytes; an ANNOUNCE answer has no reason to carry options, so a
// datagram larger than this is no answer of ours and is dropped whole.
constexpr std::size_t kReceiveCapacity = 256;

// One request, no retransmission: a router that speaks PCP answers well within this.
constexpr std::uint64_t kWindowMs = 1200;

}  // namespace

std::array<std::uint8_t, 24> BuildPcpAnnounceRequest(std::uint32_t localAddress) {
  std::array<std::uint8_t, kHeaderSize> request{};  // reserved and lifetime stay 0
  request[kVersionOffset] = kVersion;
  request[kOpcodeOffset] = kOpAnnounce;
  request[kMappedMarkerOffset] = 0xFF;
  request[kMappedMarkerOffset + 1] = 0xFF;
  std::memcpy(request.data() + kMappedIpv4Offset, &localAddress, kIpv4Size);
  return request;
}

PcpStatus PcpStatusForResultCode(std::uint8_t resultCode) {
  switch (resultCode) {
    case kSuccess:
      return PcpStatus::Supported;
    case kUnsupportedVersion:
    case kUnsupportedOpcode:
      return PcpStatus::Unsupported;
    case kNotAuthorized:
      return PcpStatus::Denied;
    default:
      return PcpStatus::Unknown;
  }
}

std::optional<PcpStatus> ClassifyPcpAnswer(const std::uint8_t* data, std::size_t length) {
  if (length < kHeaderSize) return std::nullopt;
  // A NAT-PMP-only router answers our version 2 with a version 0 error: not PCP, so not an
  // answer to judge.
  if (data[kVersionOffset] != kVersion) return std::nullopt;
  if (data[kOpcodeOffset] != (kResponseBit | kOpAnnounce)) return std::nullopt;
  if (data[kReservedOffset] != 0) return std::nullopt;
  return PcpStatusForResultCode(data[kResultCodeOffset]);
}

PcpStatus ExchangePcpAnnounce(const DatagramPort& port, std::uint32_t localAddress,
                              const CancelFlag& cancel) {
  const auto request = BuildPcpAnnounceRequest(localAddress);
  const std::string_view requestBytes(reinterpret_cast<const char*>(request.data()), request.size());
  ExchangeSchedule schedule;
  schedule.windowMs = kWindowMs;
  schedule.sliceMs = kRouterWaitSliceMs;
  schedule.receiveCapacity = kReceiveCapacity;
  const auto classify = [](const std::uint8_t* data, std::size_t length, std::uint32_t) {
    return ClassifyPcpAnswer(data, length);
  };
  const PcpStatus status = ExchangeForStatus(
      port, schedule, requestBytes, cancel, classify,
      UnansweredStatuses<PcpStatus>{PcpStatus::NoResponse, PcpStatus::Cancelled,
                                    PcpStatus::Unknown});
  // A cancelled check reports cancelled, even when an answer arrived just before.
  return cancel.load() ? PcpStatus::Cancelled : status;
}

PcpStatus ProbePcpAnnounce(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint,
                           const CancelFlag& cancel) {
  if (!IsUsableRouterTarget(localAddress, routerEndpoint)) return PcpStatus::Unknown;
  const NetSession session;
  if (!session.ok()) return PcpStatus::Unknown;
  PcpStatus status = PcpStatus::Unknown;
  Socket socket = OpenRouterSocket(localAddress, routerEndpoint);
  if (socket.valid()) status = ExchangePcpAnnounce(SocketPort(socket, nullptr), localAddress, cancel);
  socket.Close();
  // Read once more after the socket is gone: a check cancelled meanwhile reports cancelled,
  // also when the socket could not be set up.
  if (cancel.load()) status = PcpStatus::Cancelled;
  return status;
}

}  // namespace talvo
