#include "net/natpmp_pcp/udp_responder.h"

#include <utility>

#include "os/clock.h"

namespace talvo::test {
namespace {

// Even a test that forgets to stop its responder does not leave it running for long.
constexpr std::uint64_t kLifetimeMs = 8000;
constexpr std::uint32_t kSliceMs = 10;
constexpr int kFloodBurst = 32;

}  // namespace

UdpResponder::UdpResponder(ResponderScript script)
    : script_(std::move(script)), socket_(AF_INET, SOCK_DGRAM, IPPROTO_UDP) {
  if (!session_.ok() || !socket_.valid() || !BindIpv4(socket_, Loopback(), 0)) return;
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) return;
  endpoint_ = MakeIpv4Endpoint(Loopback(), ntohs(bound.sin_port));
  ready_ = true;
  thread_ = std::thread([this] { Run(); });
}

UdpResponder::~UdpResponder() { Stop(); }

std::vector<ReceivedDatagram> UdpResponder::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return received_;
}

void UdpResponder::Run() {
  const std::uint64_t end = MonotonicMs() + kLifetimeMs;
  sockaddr_in peer{};
  bool flooding = false;
  // After the stop request one more slice collects what a probe sent just before it returned.
  bool draining = false;
  while (MonotonicMs() < end) {
    if (stop_ && !draining) draining = true;
    if (flooding && !draining) {
      for (int i = 0; i < kFloodBurst; ++i) {
        SendTo(socket_, script_.floodWith.data(), script_.floodWith.size(), peer);
      }
    }
    const std::uint32_t wait = flooding && !draining ? 0 : (draining ? 50 : kSliceMs);
    if (WaitReadable(socket_, wait) != WaitResult::Ready) {
      if (draining) return;
      continue;
    }
    std::uint8_t buffer[2048];
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    const auto n = ::recvfrom(socket_.get(), reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                              reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (n < 0) continue;  // e.g. Winsock's report that the probe's port has closed
    const std::size_t index = received_.size();
    received_.push_back({Bytes(buffer, buffer + n), sender.sin_addr.s_addr, MonotonicMs()});
    if (draining) continue;
    if (script_.onDatagram) script_.onDatagram(index);
    if (index < script_.replies.size()) {
      for (const Bytes& reply : script_.replies[index]) {
        SendTo(socket_, reply.data(), reply.size(), sender);
      }
    }
    if (!script_.floodWith.empty()) {
      peer = sender;
      flooding = true;
    }
  }
}

sockaddr_in ClosedLoopbackEndpoint() {
  const NetSession session;
  Socket socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (!session.ok() || !socket.valid() || !BindIpv4(socket, Loopback(), 0) ||
      ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    return {};
  }
  return MakeIpv4Endpoint(Loopback(), ntohs(bound.sin_port));
}

bool BindFailsFor(std::uint32_t address) {
  const NetSession session;
  const Socket socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  return session.ok() && socket.valid() && !BindIpv4(socket, address, 0);
}

}  // namespace talvo::test
