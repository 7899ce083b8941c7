#pragma once
// The one request-and-wait loop of the three UDP probes (SSDP, NAT-PMP, PCP): a send schedule,
// waits in short slices with the cancel flag read between them, a window on the monotonic
// tick, and every received datagram handed to the protocol's own predicate. The loop reaches
// the network and the clock only through a DatagramPort, so the probes bind a real socket and
// the monotonic clock while tests script both.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "os/cancel_flag.h"
#include "os/endpoint.h"
#include "os/socket.h"

namespace talvo {

struct DatagramPort {
  std::function<std::uint64_t()> now;  // monotonic milliseconds
  // True when the whole datagram went out.
  std::function<bool(std::string_view datagram)> send;
  std::function<WaitResult(std::uint32_t timeoutMs)> waitReadable;
  // One datagram into `buffer` and its sender's IPv4 address (network byte order); -1 for a
  // receive error or a datagram larger than `capacity`, which is then gone whole.
  std::function<long(std::uint8_t* buffer, std::size_t capacity, std::uint32_t& sender)> receive;
};

// A port over a real socket and the monotonic clock: datagrams go to `destination`, or through
// the socket's own connection when it is null.
DatagramPort SocketPort(const Socket& socket, const Ipv4Endpoint* destination);

struct ExchangeSchedule {
  std::uint64_t windowMs = 0;  // counted from the first request
  // The longest single wait. The cancel flag and the window are looked at between waits, so a
  // cancellation is seen within one slice.
  std::uint32_t sliceMs = 0;
  // The wait that would run past the window's end is cut short at it.
  bool lastSliceEndsAtWindow = false;
  // Delay before the next request after `requestsSent` have gone out; null: one request only.
  std::uint64_t (*resendDelayMs)(std::uint32_t requestsSent) = nullptr;
  // The first request goes out even when the flag is already set (SSDP's search does);
  // otherwise a set flag means no request at all.
  bool firstRequestDespiteCancel = false;
  // Room for one datagram; a larger one is dropped whole, never read in part.
  std::size_t receiveCapacity = 0;
};

enum class ExchangeEnd { Accepted, WindowEnded, Cancelled, SendFailed, WaitFailed };

// Sees each received datagram that fit the buffer, with its sender; true ends the exchange
// with that datagram as the answer. Reads no byte at or past `length`.
using DatagramPredicate =
    std::function<bool(const std::uint8_t* data, std::size_t length, std::uint32_t sender)>;

// One exchange: the request by the schedule, then datagrams until the predicate accepts one,
// the window ends, the flag is seen set, or a send or a wait fails.
ExchangeEnd RunUdpExchange(const DatagramPort& port, const ExchangeSchedule& schedule,
                           std::string_view request, const CancelFlag& cancel,
                           const DatagramPredicate& accept);

// What a probe reports when its exchange ends without an accepted answer.
template <typename Status>
struct UnansweredStatuses {
  Status windowEnded;
  Status cancelled;
  Status failed;  // a send or a wait failed
};

// One exchange run for a probe: `classify` reads each datagram (data, length, sender) and gives
// the probe's answer, or nothing to wait on; the first answer ends the exchange and is
// returned, any other end becomes the probe's status for it.
template <typename Status, typename Classify>
Status ExchangeForStatus(const DatagramPort& port, const ExchangeSchedule& schedule,
                         std::string_view request, const CancelFlag& cancel,
                         const Classify& classify, const UnansweredStatuses<Status>& unanswered) {
  std::optional<Status> answer;
  const auto accept = [&answer, &classify](const std::uint8_t* data, std::size_t length,
                                           std::uint32_t sender) {
    answer = classify(data, length, sender);
    return answer.has_value();
  };
  switch (RunUdpExchange(port, schedule, request, cancel, accept)) {
    case ExchangeEnd::Accepted:
      return *answer;
    case ExchangeEnd::WindowEnded:
      return unanswered.windowEnded;
    case ExchangeEnd::Cancelled:
      return unanswered.cancelled;
    case ExchangeEnd::SendFailed:
    case ExchangeEnd::WaitFailed:
      break;
  }
  return unanswered.failed;
}

}  // namespace talvo
