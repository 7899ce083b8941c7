#pragma once
// Small owners and calls for the probes' own sockets, the same on Winsock and BSD sockets.
// Each probe brackets its work with a NetSession and owns its sockets through Socket, so
// nothing network-related outlives a probe on any path. Addresses go in and out as the
// portable records of os/endpoint.h; the platform's types stay in the platform files.
#include <cstddef>
#include <cstdint>

#include "os/endpoint.h"

namespace talvo {

// Winsock 2.2 start-up and clean-up; on POSIX there is nothing to start and ok() is true.
class NetSession {
 public:
  NetSession();
  ~NetSession();
  NetSession(const NetSession&) = delete;
  NetSession& operator=(const NetSession&) = delete;
  bool ok() const { return started_; }

 private:
  bool started_ = false;
};

enum class SocketKind { UdpIpv4, TcpIpv4, TcpIpv6 };

class Socket {
 public:
  Socket() = default;
  explicit Socket(SocketKind kind);
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool valid() const { return handle_ != kInvalidHandle; }
  // The descriptor or SOCKET, for the platform files only.
  std::intptr_t native() const { return handle_; }
  void Close();

 private:
  friend Socket Accept(const Socket& listener);
  static constexpr std::intptr_t kInvalidHandle = -1;
  std::intptr_t handle_ = kInvalidHandle;
};

enum class WaitResult { Ready, TimedOut, Error };

bool Bind(const Socket& socket, const Ipv4Endpoint& local);
bool Bind(const Socket& socket, const Ipv6Endpoint& local);
bool Connect(const Socket& socket, const Ipv4Endpoint& remote);
// The address and port the socket is bound to.
bool LocalEndpoint(const Socket& socket, Ipv4Endpoint& local);
bool SetNonBlocking(const Socket& socket);
// Sets IP_MULTICAST_IF so that multicast leaves through the interface holding `address`.
bool SetMulticastInterface(const Socket& socket, std::uint32_t address);
bool Listen(const Socket& socket, int backlog);
// The next connection on a listening socket; an invalid Socket on failure.
Socket Accept(const Socket& listener);
// No more sends: the peer reads the end of the stream.
void ShutdownSend(const Socket& socket);

// Waits until the socket is readable, at most timeoutMs. An interrupted wait is a timeout.
WaitResult WaitReadable(const Socket& socket, std::uint32_t timeoutMs);

// Bytes sent or received, or -1 on error.
long Send(const Socket& socket, const void* data, std::size_t length);
long SendTo(const Socket& socket, const void* data, std::size_t length,
            const Ipv4Endpoint& destination);
long Receive(const Socket& socket, void* buffer, std::size_t capacity);
// One datagram and its sender. A datagram larger than `capacity` is an error and is consumed
// whole, as Winsock reports WSAEMSGSIZE: it is never handed on in part.
long ReceiveDatagramFrom(const Socket& socket, void* buffer, std::size_t capacity,
                         Ipv4Endpoint& sender);

enum class ConnectStart { Connected, InProgress, Failed };
// connect() on a non-blocking socket.
ConnectStart StartConnect(const Socket& socket, const Ipv6Endpoint& remote);
// After InProgress: true only when the connection completed without error within timeoutMs.
bool WaitConnected(const Socket& socket, std::uint32_t timeoutMs);

// A textual IPv6 address as inet_pton(AF_INET6) reads it.
bool ParseIpv6Literal(const char* text, std::uint8_t (&address)[16]);

}  // namespace talvo
