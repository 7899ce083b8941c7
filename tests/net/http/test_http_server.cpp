#include "test_http_server.h"

#include <chrono>
#include <cstring>

#include "os/clock.h"

#ifdef _WIN32
using SocketLength = int;
#else
#include <unistd.h>
using SocketLength = socklen_t;
#endif

namespace talvo::testing {
namespace {

constexpr std::uint32_t kRequestWaitMs = 5000;
constexpr std::size_t kMaxRequestBytes = 1 << 20;

class Accepted {
 public:
  explicit Accepted(NativeSocket handle) : handle_(handle) {}
  ~Accepted() {
#ifdef _WIN32
    if (handle_ != INVALID_SOCKET) closesocket(handle_);
#else
    if (handle_ >= 0) close(handle_);
#endif
  }
  Accepted(const Accepted&) = delete;
  Accepted& operator=(const Accepted&) = delete;
  NativeSocket get() const { return handle_; }

 private:
  NativeSocket handle_;
};

bool Readable(NativeSocket socket, std::uint32_t timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  timeval wait{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  return select(static_cast<int>(socket + 1), &set, nullptr, nullptr, &wait) > 0;
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

TestHttpServer::TestHttpServer(std::vector<Reply> replies)
    : listener_(AF_INET, SOCK_STREAM, IPPROTO_TCP), replies_(std::move(replies)) {
  if (!session_.ok() || !listener_.valid()) return;
  if (!BindIpv4(listener_, Ipv4FromParts(127, 0, 0, 1), 0)) return;
  if (listen(listener_.get(), 8) != 0) return;
  sockaddr_in bound{};
  SocketLength length = sizeof bound;
  if (getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) return;
  port_ = ntohs(bound.sin_port);
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
    if (!Readable(listener_.get(), 50)) continue;
    const Accepted client(accept(listener_.get(), nullptr, nullptr));
    const std::size_t index = connections_++;
    if (index < replies_.size()) Answer(client.get(), replies_[index]);
  }
}

void TestHttpServer::Answer(NativeSocket client, const Reply& reply) {
  std::string request;
  const std::uint64_t start = MonotonicMs();
  std::size_t wanted = 0;
  bool headComplete = false;
  while (!stop_ && MonotonicMs() - start < kRequestWaitMs && request.size() < kMaxRequestBytes) {
    if (headComplete && request.size() >= wanted) break;
    if (!Readable(client, 50)) continue;
    char buffer[4096];
    const long received = recv(client, buffer, sizeof buffer, 0);
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
      const long n = send(client, piece.bytes.data() + sent,
                          static_cast<int>(piece.bytes.size() - sent), 0);
      if (n <= 0) return;  // the client has gone: nothing more to say
      sent += static_cast<std::size_t>(n);
    }
  }
#ifdef _WIN32
  shutdown(client, SD_SEND);
#else
  shutdown(client, SHUT_WR);
#endif
  // Let the client read to the end before the socket closes under it.
  const std::uint64_t lingerStart = MonotonicMs();
  char drain[512];
  while (!stop_ && MonotonicMs() - lingerStart < 2000) {
    if (!Readable(client, 50)) continue;
    if (recv(client, drain, sizeof drain, 0) <= 0) break;
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

}  // namespace talvo::testing
