#include "support/test_http_server.h"

#include <chrono>
#include <cstring>

#include "os/clock.h"

namespace talvo::test {
namespace {

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

}  // namespace

Reply SimpleReply(const std::string& status, const std::string& body, const std::string& headers) {
  return {ReplyPiece{0, "HTTP/1.1 " + status + "\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\nConnection: close\r\n" + headers +
                            "\r\n" + body}};
}

TestHttpServer::TestHttpServer(std::vector<Reply> replies, bool repeatLast)
    : listener_(SocketKind::TcpIpv4), replies_(std::move(replies)), repeatLast_(repeatLast) {
  if (!session_.ok() || !listener_.valid()) return;
  if (!Bind(listener_, Ipv4Endpoint{Ipv4FromParts(127, 0, 0, 1), 0})) return;
  if (!Listen(listener_, 8)) return;
  Ipv4Endpoint bound;
  if (!LocalEndpoint(listener_, bound)) return;
  port_ = bound.port;
  thread_ = std::thread([this] { Serve(); });
}

TestHttpServer::~TestHttpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::u16string TestHttpServer::Url(const std::u16string& pathAndQuery) const {
  std::u16string url = u"http://127.0.0.1:";
  for (char c : std::to_string(port_)) url.push_back(static_cast<char16_t>(c));
  return url + pathAndQuery;
}

std::vector<std::string> TestHttpServer::Requests() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TestHttpServer::Serve() {
  while (!stop_) {
    if (!Readable(listener_, 50)) continue;
    const Socket client = Accept(listener_);
    const std::size_t index = connections_++;
    if (index < replies_.size()) {
      Answer(client, replies_[index]);
    } else if (repeatLast_ && !replies_.empty()) {
      Answer(client, replies_.back());
    }
  }
}

void TestHttpServer::Answer(const Socket& client, const Reply& reply) {
  std::string request;
  const std::uint64_t start = MonotonicMs();
  std::size_t wanted = 0;
  bool headComplete = false;
  while (!stop_ && MonotonicMs() - start < kRequestWaitMs && request.size() < kMaxRequestBytes) {
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
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  for (const ReplyPiece& piece : reply) {
    const std::uint64_t pauseStart = MonotonicMs();
    while (!stop_ && MonotonicMs() - pauseStart < piece.delayMs) SleepMs(10);
    if (stop_) return;
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
  while (!stop_ && MonotonicMs() - lingerStart < 2000) {
    if (!Readable(client, 50)) continue;
    if (Receive(client, drain, sizeof drain) <= 0) break;
  }
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
