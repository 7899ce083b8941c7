#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "net/udp_exchange.h"
#include "os/cancel_flag.h"
#include "os/endpoint.h"

namespace talvo {

enum class NatPmpStatus : std::int32_t {
  AddressReceived = 0,
  RouterRefused = 1,
  NoResponse = 2,
  Failed = 3,
  Cancelled = 4,
};

// The gateway's NAT-PMP server port (RFC 6886 section 3), which PCP shares (RFC 6887 section
// 19.1): one endpoint serves both probes.
constexpr std::uint16_t kRouterProtocolPort = 5351;

struct NatPmpResult {
  NatPmpStatus status = NatPmpStatus::Failed;
  std::uint32_t externalAddress = 0;  // network byte order; 0 unless AddressReceived
};

// Asks the router for its external IPv4 address with NAT-PMP opcode 0 only: it never requests
// a mapping. Lasts at most about 1.1 s.
NatPmpResult ProbeNatPmp(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint,
                         const CancelFlag& cancel);

// The probe's exchange on a port already aimed at the router: requests, resends, the window
// and the answer, with the clock and the network the port gives.
NatPmpResult ExchangeNatPmp(const DatagramPort& port, const CancelFlag& cancel);

// The wire pieces of the probe, pure and separate so that tests and fuzzing reach them.

// The 2-byte external address request.
std::array<std::uint8_t, 2> BuildNatPmpRequest();

// What one received datagram means: nothing (the wait goes on), or the probe's final answer,
// RouterRefused or AddressReceived with a non-zero address. Reads no byte at or past `length`.
std::optional<NatPmpResult> ClassifyNatPmpAnswer(const std::uint8_t* data, std::size_t length);

// How long after the request numbered `requestsSent` (0 for the first) the next one goes out.
std::uint64_t NatPmpResendDelayMs(std::uint32_t requestsSent);

}  // namespace talvo
