#pragma once
// A router stand-in on loopback for the UDP probes (SSDP, NAT-PMP, PCP): one UDP port that
// records every datagram it receives and answers by a script, from a thread and sockets of
// its own. Replies may leave from another loopback address than the port's, as an impostor
// on the home network would send them.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "os/endpoint.h"
#include "os/socket.h"

namespace talvo::test {

using Bytes = std::vector<std::uint8_t>;

inline std::uint32_t Loopback() { return Ipv4FromParts(127, 0, 0, 1); }
inline Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct DatagramReply {
  Bytes bytes;
  std::uint32_t from = Loopback();  // the address the reply leaves from
};

struct ReceivedDatagram {
  Bytes bytes;
  std::uint32_t senderAddress = 0;  // network byte order
  std::uint64_t atMs = 0;           // MonotonicMs() on arrival
};

struct GatewayScript {
  // replies[i] go back, in order, to the sender of the i-th datagram.
  std::vector<std::vector<DatagramReply>> replies;
  // What every datagram after those gets: nothing unless set.
  std::vector<DatagramReply> thenEvery;
  // Runs on the gateway's thread on each datagram, before its replies go out.
  std::function<void(std::size_t index)> onDatagram;
  // Once the first datagram arrived, send this back without pause until stopped.
  Bytes floodWith;
  // Even a test that forgets to stop its gateway does not leave it running for long.
  std::uint64_t lifetimeMs = 20000;
};

class LoopbackGateway {
 public:
  explicit LoopbackGateway(GatewayScript script, std::uint32_t listenAddress = Loopback());
  ~LoopbackGateway();
  LoopbackGateway(const LoopbackGateway&) = delete;
  LoopbackGateway& operator=(const LoopbackGateway&) = delete;

  bool ok() const { return ready_; }
  // The gateway's address and port, as a probe takes it.
  Ipv4Endpoint endpoint() const { return endpoint_; }
  // Stops the thread after collecting what is still queued, and returns every datagram seen.
  std::vector<ReceivedDatagram> Stop();

 private:
  void Run();
  const Socket& SenderFor(std::uint32_t from) const;

  GatewayScript script_;
  NetSession session_;
  Socket socket_;
  std::vector<std::pair<std::uint32_t, Socket>> senders_;  // replies from other addresses
  Ipv4Endpoint endpoint_;
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
Ipv4Endpoint ClosedLoopbackEndpoint();

}  // namespace talvo::test
