#include "net/udp_exchange.h"

#include <algorithm>
#include <vector>

#include "os/clock.h"

namespace talvo {

DatagramPort SocketPort(const Socket& socket, const Ipv4Endpoint* destination) {
  DatagramPort port;
  port.now = MonotonicMs;
  if (destination != nullptr) {
    port.send = [&socket, to = *destination](std::string_view datagram) {
      return SendTo(socket, datagram.data(), datagram.size(), to) ==
             static_cast<long>(datagram.size());
    };
  } else {
    port.send = [&socket](std::string_view datagram) {
      return Send(socket, datagram.data(), datagram.size()) == static_cast<long>(datagram.size());
    };
  }
  port.waitReadable = [&socket](std::uint32_t timeoutMs) {
    return WaitReadable(socket, timeoutMs);
  };
  port.receive = [&socket](std::uint8_t* buffer, std::size_t capacity, std::uint32_t& sender) {
    Ipv4Endpoint from;
    const long received = ReceiveDatagramFrom(socket, buffer, capacity, from);
    sender = from.address;
    return received;
  };
  return port;
}

ExchangeEnd RunUdpExchange(const DatagramPort& port, const ExchangeSchedule& schedule,
                           std::string_view request, const CancelFlag& cancel,
                           const DatagramPredicate& accept) {
  if (!schedule.firstRequestDespiteCancel && cancel.load()) return ExchangeEnd::Cancelled;
  std::vector<std::uint8_t> buffer(schedule.receiveCapacity);
  const std::uint64_t start = port.now();
  if (!port.send(request)) return ExchangeEnd::SendFailed;
  std::uint32_t requestsSent = 1;
  std::uint64_t nextSend = schedule.resendDelayMs != nullptr ? start + schedule.resendDelayMs(0) : 0;

  // The window is looked at before every pass, also after passes that did not wait: a router
  // flooding us with junk cannot stretch the exchange.
  for (;;) {
    const std::uint64_t now = port.now();
    const std::uint64_t elapsed = now > start ? now - start : 0;
    if (elapsed >= schedule.windowMs) return ExchangeEnd::WindowEnded;
    if (cancel.load()) return ExchangeEnd::Cancelled;
    if (schedule.resendDelayMs != nullptr && now >= nextSend) {
      if (!port.send(request)) return ExchangeEnd::SendFailed;
      nextSend = now + schedule.resendDelayMs(requestsSent);
      ++requestsSent;
    }
    std::uint32_t slice = schedule.sliceMs;
    // A full slice begun just before the end would keep a silent router's check waiting up to
    // one slice past the window.
    if (schedule.lastSliceEndsAtWindow) {
      slice = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(slice, schedule.windowMs - elapsed));
    }
    const WaitResult wait = port.waitReadable(slice);
    // A wait that fails once fails again at once: going round would only spin to the window's end.
    if (wait == WaitResult::Error) return ExchangeEnd::WaitFailed;
    if (wait == WaitResult::TimedOut) continue;
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    std::uint32_t sender = 0;
    const long received = port.receive(buffer.data(), buffer.size(), sender);
    if (received < 0) continue;  // an ICMP error or an oversized datagram: keep waiting
    if (accept(buffer.data(), static_cast<std::size_t>(received), sender)) {
      return ExchangeEnd::Accepted;
    }
  }
}

}  // namespace talvo
