// PCP (RFC 6887), ANNOUNCE only: the one request that asks for an answer and changes nothing.
#include "net/natpmp_pcp/pcp.h"

#include <cstring>

#include "net/natpmp_pcp/router_socket.h"
#include "os/clock.h"
#include "os/socket.h"

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

namespace {

// Sends the request and waits for an answer on a connected socket: NoResponse after silence,
// Unknown when the request could not go out or the flag was set before it did.
PcpStatus ExchangeAnnounce(const Socket& socket, std::uint32_t localAddress,
                           const CancelFlag* cancelFlag) {
  const auto request = BuildPcpAnnounceRequest(localAddress);
  if (IsSet(cancelFlag)) return PcpStatus::Unknown;
  if (SendBytes(socket, request.data(), request.size()) != static_cast<long>(request.size())) {
    return PcpStatus::Unknown;
  }
  std::array<std::uint8_t, kReceiveCapacity> buffer{};
  const std::uint64_t deadline = MonotonicMs() + kWindowMs;
  // The deadline is checked before every pass, including passes that did not wait: a router
  // flooding us with junk cannot stretch the probe.
  while (!IsSet(cancelFlag) && MonotonicMs() < deadline) {
    if (WaitReadable(socket, kRouterWaitSliceMs) != WaitResult::Ready) continue;
    buffer.fill(0);
    std::uint32_t sender = 0;
    const long received = ReceiveDatagramFrom(socket, buffer.data(), buffer.size(), sender);
    if (received < 0) continue;  // an ICMP error or an oversized datagram: keep waiting
    const auto status = ClassifyPcpAnswer(buffer.data(), static_cast<std::size_t>(received));
    if (status) return *status;
  }
  return PcpStatus::NoResponse;
}

}  // namespace

PcpStatus ProbePcpAnnounce(std::uint32_t localAddress, const sockaddr_in& routerEndpoint,
                           const CancelFlag* cancelFlag) {
  if (!IsUsableRouterTarget(localAddress, routerEndpoint)) return PcpStatus::Unknown;
  const NetSession session;
  if (!session.ok()) return PcpStatus::Unknown;
  PcpStatus status = PcpStatus::Unknown;
  Socket socket = OpenRouterSocket(localAddress, routerEndpoint);
  if (socket.valid()) status = ExchangeAnnounce(socket, localAddress, cancelFlag);
  socket.Close();
  // A cancelled check reports cancelled, even when an answer arrived just before.
  if (IsSet(cancelFlag)) status = PcpStatus::Cancelled;
  return status;
}

}  // namespace talvo
