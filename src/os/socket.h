#pragma once
// Small owners and calls for the probes' own sockets, the same on Winsock and BSD sockets.
// Each probe brackets its work with a NetSession and owns its sockets through Socket, so
// nothing network-related outlives a probe on any path.
#include <cstddef>
#include <cstdint>

#include "os/inet.h"

namespace talvo {

#ifdef _WIN32
using NativeSocket = SOCKET;
#else
using NativeSocket = int;
#endif

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

class Socket {
 public:
  Socket() = default;
  Socket(int family, int type, int protocol);
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool valid() const;
  NativeSocket get() const { return handle_; }
  void Close();

 private:
  NativeSocket handle_ = kInvalid;
#ifdef _WIN32
  static constexpr NativeSocket kInvalid = INVALID_SOCKET;
#else
  static constexpr NativeSocket kInvalid = -1;
#endif
};

enum class WaitResult { Ready, TimedOut, Error };

bool BindIpv4(const Socket& socket, std::uint32_t address, std::uint16_t port = 0);
bool BindAddress(const Socket& socket, const sockaddr* address, std::size_t length);
bool ConnectIpv4(const Socket& socket, const sockaddr_in& endpoint);
bool SetNonBlocking(const Socket& socket);
// Sets IP_MULTICAST_IF so that multicast leaves through the interface holding `address`.
bool SetMulticastInterface(const Socket& socket, std::uint32_t address);

// Waits until the socket is readable, at most timeoutMs.
WaitResult WaitReadable(const Socket& socket, std::uint32_t timeoutMs);

// Bytes sent or received, or -1 on error.
long SendBytes(const Socket& socket, const void* data, std::size_t length);
long SendTo(const Socket& socket, const void* data, std::size_t length,
            const sockaddr_in& destination);
long ReceiveBytes(const Socket& socket, void* buffer, std::size_t capacity);
// One datagram and its sender's IPv4 address (network byte order). A datagram larger than
// `capacity` is an error and is consumed whole, as Winsock reports WSAEMSGSIZE: it is never
// handed on in part.
long ReceiveDatagramFrom(const Socket& socket, void* buffer, std::size_t capacity,
                         std::uint32_t& senderAddress);

enum class ConnectStart { Connected, InProgress, Failed };
// connect() on a non-blocking socket.
ConnectStart StartConnect(const Socket& socket, const sockaddr* address, std::size_t length);
// After InProgress: true only when the connection completed without error within timeoutMs.
bool WaitConnected(const Socket& socket, std::uint32_t timeoutMs);

}  // namespace talvo
