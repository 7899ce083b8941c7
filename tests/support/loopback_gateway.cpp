#include "support/loopback_gateway.h"

#include <utility>

#include "os/clock.h"

namespace talvo::test {
namespace {

constexpr std::uint32_t kSliceMs = 10;
constexpr int kFloodBurst = 32;
// Bigger than any datagram a probe sends, so every one is recorded whole.
constexpr std::size_t kReceiveBytes = 65536;

}  // namespace

LoopbackGateway::LoopbackGateway(GatewayScript script, std::uint32_t listenAddress)
    : script_(std::move(script)), socket_(SocketKind::UdpIpv4) {
  if (!session_.ok() || !socket_.valid() || !Bind(socket_, Ipv4Endpoint{listenAddress, 0}) ||
      !LocalEndpoint(socket_, endpoint_)) {
    return;
  }
  std::vector<DatagramReply> all = script_.thenEvery;
  for (const std::vector<DatagramReply>& replies : script_.replies) {
    all.insert(all.end(), replies.begin(), replies.end());
  }
  for (const DatagramReply& reply : all) {
    if (reply.from == listenAddress) continue;
    bool known = false;
    for (const auto& sender : senders_) known = known || sender.first == reply.from;
    if (known) continue;
    Socket sender(SocketKind::UdpIpv4);
    if (!sender.valid() || !Bind(sender, Ipv4Endpoint{reply.from, 0})) return;
    senders_.emplace_back(reply.from, std::move(sender));
  }
  ready_ = true;
  thread_ = std::thread([this] { Run(); });
}

LoopbackGateway::~LoopbackGateway() { Stop(); }

std::vector<ReceivedDatagram> LoopbackGateway::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return received_;
}

const Socket& LoopbackGateway::SenderFor(std::uint32_t from) const {
  for (const auto& sender : senders_) {
    if (sender.first == from) return sender.second;
  }
  return socket_;
}

void LoopbackGateway::Run() {
  const std::uint64_t end = MonotonicMs() + script_.lifetimeMs;
  Ipv4Endpoint peer;
  bool flooding = false;
  // After the stop request one more look collects what a probe sent just before it returned:
  // a datagram sent on loopback is queued by the time sendto returns.
  bool draining = false;
  std::vector<std::uint8_t> buffer(kReceiveBytes);
  while (MonotonicMs() < end) {
    if (stop_ && !draining) draining = true;
    if (flooding && !draining) {
      for (int i = 0; i < kFloodBurst; ++i) {
        SendTo(socket_, script_.floodWith.data(), script_.floodWith.size(), peer);
      }
    }
    const std::uint32_t wait = draining ? 50 : (flooding ? 0 : kSliceMs);
    if (WaitReadable(socket_, wait) != WaitResult::Ready) {
      if (draining) return;
      continue;
    }
    Ipv4Endpoint sender;
    const long n = ReceiveDatagramFrom(socket_, buffer.data(), buffer.size(), sender);
    if (n < 0) continue;  // e.g. Winsock's report that the probe's port has closed
    const std::size_t index = received_.size();
    received_.push_back({Bytes(buffer.begin(), buffer.begin() + n), sender.address, MonotonicMs()});
    if (draining) continue;
    if (script_.onDatagram) script_.onDatagram(index);
    const std::vector<DatagramReply>& replies =
        index < script_.replies.size() ? script_.replies[index] : script_.thenEvery;
    for (const DatagramReply& reply : replies) {
      SendTo(SenderFor(reply.from), reply.bytes.data(), reply.bytes.size(), sender);
    }
    if (!script_.floodWith.empty()) {
      peer = sender;
      flooding = true;
    }
  }
}

Ipv4Endpoint ClosedLoopbackEndpoint() {
  const NetSession session;
  const Socket socket(SocketKind::UdpIpv4);
  Ipv4Endpoint bound;
  if (!session.ok() || !socket.valid() || !Bind(socket, Ipv4Endpoint{Loopback(), 0}) ||
      !LocalEndpoint(socket, bound)) {
    return {};
  }
  return bound;
}

bool BindFailsFor(std::uint32_t address) {
  const NetSession session;
  const Socket socket(SocketKind::UdpIpv4);
  return session.ok() && socket.valid() && !Bind(socket, Ipv4Endpoint{address, 0});
}

}  // namespace talvo::test
