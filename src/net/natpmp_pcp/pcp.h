#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "net/udp_exchange.h"
#include "os/cancel_flag.h"
#include "os/endpoint.h"

namespace talvo {

enum class PcpStatus : int {
  Supported = 0,
  NoResponse = 1,
  Denied = 2,
  Unsupported = 3,
  Unknown = 4,
  Cancelled = 5,
};

// Sends one PCP ANNOUNCE (opcode 0, lifetime 0), which changes nothing on the router, and
// classifies the answer. Lasts at most about 1.3 s.
PcpStatus ProbePcpAnnounce(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint,
                           const CancelFlag& cancel);

// The probe's exchange on a port already aimed at the router, with the clock and the network
// the port gives; `localAddress` travels inside the request.
PcpStatus ExchangePcpAnnounce(const DatagramPort& port, std::uint32_t localAddress,
                              const CancelFlag& cancel);

// The wire pieces of the probe, pure and separate so that tests and fuzzing reach them.

// The 24-byte ANNOUNCE request carrying `localAddress` (network byte order) IPv4-mapped.
std::array<std::uint8_t, 24> BuildPcpAnnounceRequest(std::uint32_t localAddress);

// Supported, Denied, Unsupported or Unknown for an acceptable answer to ANNOUNCE; nothing for a
// datagram to ignore. Reads no byte at or past `length`.
std::optional<PcpStatus> ClassifyPcpAnswer(const std::uint8_t* data, std::size_t length);

PcpStatus PcpStatusForResultCode(std::uint8_t resultCode);

}  // namespace talvo
