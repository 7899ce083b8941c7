#pragma once
// A router stand-in on 127.0.0.1 for the NAT-PMP and PCP probes: it records every datagram it
// receives and answers by a script, from a thread of its own with a socket of its own.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "os/inet.h"
#include "os/socket.h"

namespace talvo::test {

using Bytes = std::vector<std::uint8_t>;

struct ReceivedDatagram {
  Bytes bytes;
  std::uint32_t senderAddress = 0;  // network byte order
  std::uint64_t atMs = 0;           // MonotonicMs() on arrival
};

struct ResponderScript {
  // replies[i] go back, in order, to the sender of the i-th datagram; later ones get nothing.
  std::vector<std::vector<Bytes>> replies;
  // Runs on the responder's thread on each datagram, before its replies go out.
  std::function<void(std::size_t index)> onDatagram;
  // Once the first datagram arrived, send this back without pause until stopped.
  Bytes floodWith;
};

class UdpResponder {
 public:
  explicit UdpResponder(ResponderScript script);
  ~UdpResponder();
  UdpResponder(const UdpResponder&) = delete;
  UdpResponder& operator=(const UdpResponder&) = delete;

  bool ok() const { return ready_; }
  // 127.0.0.1 and the responder's port, as a probe takes it.
  sockaddr_in endpoint() const { return endpoint_; }
  // Stops the thread after collecting what is still queued, and returns every datagram seen.
  std::vector<ReceivedDatagram> Stop();

 private:
  void Run();

  ResponderScript script_;
  NetSession session_;
  Socket socket_;
  sockaddr_in endpoint_{};
  bool ready_ = false;
  std::atomic<bool> stop_{false};
  std::vector<ReceivedDatagram> received_;
  std::thread thread_;
};

// True when this host refuses to bind a UDP socket to `address`. Wine's bind accepts addresses
// that no interface holds, so a test that needs a failing bind checks first.
bool BindFailsFor(std::uint32_t address);

// A loopback endpoint where nothing listens (a port just released), so datagrams sent there
// come back as ICMP port unreachable: what a router without NAT-PMP or PCP does.
sockaddr_in ClosedLoopbackEndpoint();

inline std::uint32_t Loopback() { return Ipv4FromParts(127, 0, 0, 1); }

}  // namespace talvo::test
