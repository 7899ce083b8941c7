#pragma once
#include "support/wine.h"
// The router stand-in on loopback for the probes' wire: one UDP port (SSDP, NAT-PMP, PCP) and
// one HTTP port (the description, the control URL, an address echo), served from a thread and
// sockets of its own. Every datagram and request is recorded and answered by a script, pieces
// and pauses included; UDP replies may leave from another loopback address than the port's,
// as an impostor on the home network would send them. Everything is bounded and ends with the
// object.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
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

struct ReplyPiece {
  std::uint32_t delayMs = 0;  // pause before the bytes go out
  std::string bytes;
};

using Reply = std::vector<ReplyPiece>;

// A complete answer with the given status line tail, extra header lines and body.
Reply SimpleReply(const std::string& status, const std::string& body,
                  const std::string& headers = "");

struct RouterScript {
  // UDP: replies[i] go back, in order, to the sender of the i-th datagram.
  std::vector<std::vector<DatagramReply>> replies;
  // What every datagram after those gets, chosen by its bytes: nothing unless set.
  std::function<Bytes(const Bytes& datagram)> answerEvery;
  // Runs on the router's thread on each datagram, before its replies go out.
  std::function<void(std::size_t index)> onDatagram;
  // Once the first datagram arrived, send this back without pause until stopped.
  Bytes floodWith;
  // HTTP: connection n gets http[n].
  std::vector<Reply> http;
  // What every later connection gets, chosen by its request (head and body); without it a
  // later connection is closed at once.
  std::function<Reply(const std::string& request)> answerEveryRequest;
  // Even a router nobody stops does not run for long.
  std::uint64_t lifetimeMs = 60000;
};

class LoopbackRouter {
 public:
  // The UDP port listens on `udpAddress`, the HTTP port on 127.0.0.1.
  explicit LoopbackRouter(RouterScript script, std::uint32_t udpAddress = Loopback());
  // A router that only answers HTTP: connection n gets http[n].
  explicit LoopbackRouter(std::vector<Reply> http);
  ~LoopbackRouter();
  LoopbackRouter(const LoopbackRouter&) = delete;
  LoopbackRouter& operator=(const LoopbackRouter&) = delete;

  bool ok() const { return ready_; }
  // The UDP port's address and port, as a probe takes it.
  Ipv4Endpoint endpoint() const { return endpoint_; }
  // The HTTP port, and a URL on it.
  std::uint16_t port() const { return httpPort_; }
  std::u16string Url(const std::u16string& pathAndQuery = u"/") const;
  std::vector<std::string> Requests() const;  // head and body of each request, in order
  std::size_t Connections() const { return connections_.load(); }
  // Stops the thread after collecting the datagrams still queued, and returns every one seen.
  std::vector<ReceivedDatagram> Stop();

 private:
  void Run();
  void ServeConnection();
  void AnswerDatagram(const Bytes& datagram, const Ipv4Endpoint& sender, std::size_t index);
  const Socket& SenderFor(std::uint32_t from) const;

  RouterScript script_;
  NetSession session_;
  Socket socket_;
  Socket listener_;
  std::vector<std::pair<std::uint32_t, Socket>> senders_;  // replies from other addresses
  Ipv4Endpoint endpoint_;
  std::uint16_t httpPort_ = 0;
  bool ready_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> connections_{0};
  std::vector<ReceivedDatagram> received_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// True when this host refuses to bind a UDP socket to `address`. Wine's bind accepts addresses
// that no interface holds, so a test that needs a failing bind checks first.
bool BindFailsFor(std::uint32_t address);

// A loopback endpoint where nothing listens (a port just released), so datagrams sent there
// come back as ICMP port unreachable: what a router without NAT-PMP or PCP does.
Ipv4Endpoint ClosedLoopbackEndpoint();

// The head of a recorded request: everything before the blank line.
std::string HeadOf(const std::string& request);
// The body of a recorded request: everything after the blank line.
std::string BodyOf(const std::string& request);
// The header lines of a head, without the request line.
std::vector<std::string> HeaderLines(const std::string& head);
// Whether a header of that name (any case) is present, and its value.
bool FindHeader(const std::string& head, const std::string& name, std::string* value = nullptr);

}  // namespace talvo::test
