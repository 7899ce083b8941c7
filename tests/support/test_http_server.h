#pragma once
#include "support/wine.h"
// A scripted HTTP server on 127.0.0.1 for the client's tests: it records each request as raw
// bytes and answers each connection with the next scripted reply, pieces and pauses included.
// Runs on its own thread; everything is bounded and ends with the object.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/socket.h"

namespace talvo::test {

struct ReplyPiece {
  std::uint32_t delayMs = 0;  // pause before the bytes go out
  std::string bytes;
};

using Reply = std::vector<ReplyPiece>;

// A complete answer with the given status line tail, extra header lines and body.
Reply SimpleReply(const std::string& status, const std::string& body,
                  const std::string& headers = "");

class TestHttpServer {
 public:
  // Connection n gets replies[n]; later connections are closed at once, or, with
  // `repeatLast`, get the last reply again.
  explicit TestHttpServer(std::vector<Reply> replies, bool repeatLast = false);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  bool ok() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }
  std::u16string Url(const std::u16string& pathAndQuery = u"/") const;
  std::vector<std::string> Requests() const;  // head and body of each request, in order
  std::size_t Connections() const { return connections_.load(); }

 private:
  void Serve();
  void Answer(const Socket& client, const Reply& reply);

  NetSession session_;
  Socket listener_;
  std::uint16_t port_ = 0;
  std::vector<Reply> replies_;
  bool repeatLast_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// The head of a recorded request: everything before the blank line.
std::string HeadOf(const std::string& request);
// The body of a recorded request: everything after the blank line.
std::string BodyOf(const std::string& request);
// The header lines of a head, without the request line.
std::vector<std::string> HeaderLines(const std::string& head);
// Whether a header of that name (any case) is present, and its value.
bool FindHeader(const std::string& head, const std::string& name, std::string* value = nullptr);

}  // namespace talvo::test
