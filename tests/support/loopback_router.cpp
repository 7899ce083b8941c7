#include "support/loopback_router.h"

#include <cstdlib>

#include "os/clock.h"

namespace talvo::test {
namespace {

constexpr std::uint32_t kSliceMs = 10;
constexpr int kFloodBurst = 32;
// Bigger than any datagram a probe sends, so every one is recorded whole.
constexpr std::size_t kReceiveBytes = 65536;
constexpr std::uint32_t kRequestWaitMs = 5000;
constexpr std::size_t kMaxRequestBytes = 1 << 20;

bool Readable(const Socket& socket, std::uint32_t timeoutMs) {
  return WaitReadable(socket, timeoutMs) == WaitResult::Ready;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::size_t DeclaredLength(const std::string& head) {
  std::string value;
  if (!FindHeader(head, "Content-Length", &value)) return 0;
  return static_cast<std::size_t>(std::strtoull(value.c_str(), nullptr, 10));
}

// The whole request, head and the body its Content-Length announces, within bounds.
std::string ReadRequest(const Socket& client, const std::atomic<bool>& stop) {
  std::string request;
  const std::uint64_t start = MonotonicMs();
  std::size_t wanted = 0;
  bool headComplete = false;
  while (!stop && MonotonicMs() - start < kRequestWaitMs && request.size() < kMaxRequestBytes) {
    if (headComplete && request.size() >= wanted) break;
    if (!Readable(client, 50)) continue;
    char buffer[4096];
    const long received = Receive(client, buffer, sizeof buffer);
    if (received <= 0) break;
    request.append(buffer, static_cast<std::size_t>(received));
    const std::size_t end = request.find("\r\n\r\n");
    if (!headComplete && end != std::string::npos) {
      headComplete = true;
      wanted = end + 4 + DeclaredLength(request.substr(0, end));
    }
  }
  return request;
}

void SendReply(const Socket& client, const Reply& reply, const std::atomic<bool>& stop) {
  for (const ReplyPiece& piece : reply) {
    const std::uint64_t pauseStart = MonotonicMs();
    while (!stop && MonotonicMs() - pauseStart < piece.delayMs) SleepMs(10);
    if (stop) return;
    std::size_t sent = 0;
    while (sent < piece.bytes.size()) {
      const long n = Send(client, piece.bytes.data() + sent, piece.bytes.size() - sent);
      if (n <= 0) return;  // the client has gone: nothing more to say
      sent += static_cast<std::size_t>(n);
    }
  }
  ShutdownSend(client);
  // Let the client read to the end before the socket closes under it.
  const std::uint64_t lingerStart = MonotonicMs();
  char drain[512];
  while (!stop && MonotonicMs() - lingerStart < 2000) {
    if (!Readable(client, 50)) continue;
    if (Receive(client, drain, sizeof drain) <= 0) break;
  }
}

}  // namespace

Reply SimpleReply(const std::string& status, const std::string& body, const std::string& headers) {
  return {ReplyPiece{0, "HTTP/1.1 " + status + "\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\nConnection: close\r\n" + headers +
                            "\r\n" + body}};
}

LoopbackRouter::LoopbackRouter(std::vector<Reply> http)
    : LoopbackRouter([&http] {
        RouterScript script;
        script.http = std::move(http);
        return script;
      }()) {}

LoopbackRouter::LoopbackRouter(RouterScript script, std::uint32_t udpAddress)
    : script_(std::move(script)), socket_(SocketKind::UdpIpv4), listener_(SocketKind::TcpIpv4) {
  Ipv4Endpoint http;
  if (!session_.ok() || !socket_.valid() || !Bind(socket_, Ipv4Endpoint{udpAddress, 0}) ||
      !LocalEndpoint(socket_, endpoint_) || !listener_.valid() ||
      !Bind(listener_, Ipv4Endpoint{Loopback(), 0}) || !Listen(listener_, 8) ||
      !LocalEndpoint(listener_, http)) {
    return;
  }
  httpPort_ = http.port;
  for (const std::vector<DatagramReply>& replies : script_.replies) {
    for (const DatagramReply& reply : replies) {
      if (reply.from == udpAddress) continue;
      bool known = false;
      for (const auto& sender : senders_) known = known || sender.first == reply.from;
      if (known) continue;
      Socket sender(SocketKind::UdpIpv4);
      if (!sender.valid() || !Bind(sender, Ipv4Endpoint{reply.from, 0})) return;
      senders_.emplace_back(reply.from, std::move(sender));
    }
  }
  ready_ = true;
  thread_ = std::thread([this] { Run(); });
}

LoopbackRouter::~LoopbackRouter() { Stop(); }

std::vector<ReceivedDatagram> LoopbackRouter::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return received_;
}

std::u16string LoopbackRouter::Url(const std::u16string& pathAndQuery) const {
  std::u16string url = u"http://127.0.0.1:";
  for (char c : std::to_string(httpPort_)) url.push_back(static_cast<char16_t>(c));
  return url + pathAndQuery;
}

std::vector<std::string> LoopbackRouter::Requests() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

const Socket& LoopbackRouter::SenderFor(std::uint32_t from) const {
  for (const auto& sender : senders_) {
    if (sender.first == from) return sender.second;
  }
  return socket_;
}

void LoopbackRouter::Run() {
  const std::uint64_t end = MonotonicMs() + script_.lifetimeMs;
  Ipv4Endpoint peer;
  bool flooding = false;
  // After the stop request one more look collects what a probe sent just before it returned:
  // a datagram sent on loopback is queued by the time sendto returns.
  bool draining = false;
  std::vector<std::uint8_t> buffer(kReceiveBytes);
  while (MonotonicMs() < end) {
    if (stop_ && !draining) draining = true;
    if (!draining && Readable(listener_, 0)) ServeConnection();
    if (flooding && !draining) {
      for (int i = 0; i < kFloodBurst; ++i) {
        SendTo(socket_, script_.floodWith.data(), script_.floodWith.size(), peer);
      }
    }
    const std::uint32_t wait = draining ? 50 : (flooding ? 0 : kSliceMs);
    if (!Readable(socket_, wait)) {
      if (draining) return;
      continue;
    }
    Ipv4Endpoint sender;
    const long n = ReceiveDatagramFrom(socket_, buffer.data(), buffer.size(), sender);
    if (n < 0) continue;  // e.g. Winsock's report that the probe's port has closed
    const std::size_t index = received_.size();
    received_.push_back({Bytes(buffer.begin(), buffer.begin() + n), sender.address, MonotonicMs()});
    if (draining) continue;
    AnswerDatagram(received_.back().bytes, sender, index);
    if (!script_.floodWith.empty()) {
      peer = sender;
      flooding = true;
    }
  }
}

void LoopbackRouter::AnswerDatagram(const Bytes& datagram, const Ipv4Endpoint& sender,
                                    std::size_t index) {
  if (script_.onDatagram) script_.onDatagram(index);
  if (index < script_.replies.size()) {
    for (const DatagramReply& reply : script_.replies[index]) {
      SendTo(SenderFor(reply.from), reply.bytes.data(), reply.bytes.size(), sender);
    }
  } else if (script_.answerEvery) {
    const Bytes reply = script_.answerEvery(datagram);
    if (!reply.empty()) SendTo(socket_, reply.data(), reply.size(), sender);
  }
}

void LoopbackRouter::ServeConnection() {
  const Socket client = Accept(listener_);
  const std::size_t index = connections_++;
  if (index >= script_.http.size() && !script_.answerEveryRequest) return;
  const std::string request = ReadRequest(client, stop_);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  SendReply(client,
            index < script_.http.size() ? script_.http[index] : script_.answerEveryRequest(request),
            stop_);
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

std::string HeadOf(const std::string& request) {
  const std::size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? request : request.substr(0, end);
}

std::string BodyOf(const std::string& request) {
  const std::size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : request.substr(end + 4);
}

std::vector<std::string> HeaderLines(const std::string& head) {
  std::vector<std::string> lines;
  std::size_t start = head.find("\r\n");
  while (start != std::string::npos) {
    start += 2;
    const std::size_t end = head.find("\r\n", start);
    lines.push_back(head.substr(start, end == std::string::npos ? std::string::npos : end - start));
    start = end;
  }
  return lines;
}

bool FindHeader(const std::string& head, const std::string& name, std::string* value) {
  const std::string wanted = Lower(name) + ":";
  for (const std::string& line : HeaderLines(head)) {
    if (Lower(line.substr(0, wanted.size())) != wanted) continue;
    if (value != nullptr) {
      std::size_t at = wanted.size();
      while (at < line.size() && line[at] == ' ') ++at;
      *value = line.substr(at);
    }
    return true;
  }
  return false;
}

}  // namespace talvo::test
