#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "os/socket.h"

namespace talvo {

NetSession::NetSession() : started_(true) {}
NetSession::~NetSession() = default;

Socket::Socket(int family, int type, int protocol)
    : handle_(::socket(family, type | SOCK_CLOEXEC, protocol)) {}

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kInvalid;
  }
  return *this;
}

bool Socket::valid() const { return handle_ >= 0; }

void Socket::Close() {
  if (handle_ >= 0) {
    ::close(handle_);
    handle_ = kInvalid;
  }
}

bool BindIpv4(const Socket& socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in local = MakeIpv4Endpoint(address, port);
  return BindAddress(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

bool BindAddress(const Socket& socket, const sockaddr* address, std::size_t length) {
  return ::bind(socket.get(), address, static_cast<socklen_t>(length)) == 0;
}

bool ConnectIpv4(const Socket& socket, const sockaddr_in& endpoint) {
  return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&endpoint),
                   sizeof endpoint) == 0;
}

bool SetNonBlocking(const Socket& socket) {
  const int flags = ::fcntl(socket.get(), F_GETFL, 0);
  return flags >= 0 && ::fcntl(socket.get(), F_SETFL, flags | O_NONBLOCK) == 0;
}

bool SetMulticastInterface(const Socket& socket, std::uint32_t address) {
  in_addr interfaceAddress{};
  interfaceAddress.s_addr = address;
  return ::setsockopt(socket.get(), IPPROTO_IP, IP_MULTICAST_IF, &interfaceAddress,
                      sizeof interfaceAddress) == 0;
}

// poll rather than select: select's fd_set cannot hold a descriptor past FD_SETSIZE.
WaitResult WaitReadable(const Socket& socket, std::uint32_t timeoutMs) {
  pollfd entry{socket.get(), POLLIN, 0};
  const int n = ::poll(&entry, 1, static_cast<int>(timeoutMs));
  if (n < 0) return errno == EINTR ? WaitResult::TimedOut : WaitResult::Error;
  if (n == 0) return WaitResult::TimedOut;
  return WaitResult::Ready;
}

long SendBytes(const Socket& socket, const void* data, std::size_t length) {
  return static_cast<long>(::send(socket.get(), data, length, MSG_NOSIGNAL));
}

long SendTo(const Socket& socket, const void* data, std::size_t length,
            const sockaddr_in& destination) {
  return static_cast<long>(::sendto(socket.get(), data, length, MSG_NOSIGNAL,
                                    reinterpret_cast<const sockaddr*>(&destination),
                                    sizeof destination));
}

long ReceiveBytes(const Socket& socket, void* buffer, std::size_t capacity) {
  return static_cast<long>(::recv(socket.get(), buffer, capacity, 0));
}

long ReceiveDatagramFrom(const Socket& socket, void* buffer, std::size_t capacity,
                         std::uint32_t& senderAddress) {
  sockaddr_in sender{};
  socklen_t senderLength = sizeof sender;
  // MSG_TRUNC makes the kernel report the datagram's real length, so an oversized one is
  // recognised and dropped whole instead of being parsed cut short.
  const ssize_t n = ::recvfrom(socket.get(), buffer, capacity, MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&sender), &senderLength);
  if (n < 0 || static_cast<std::size_t>(n) > capacity) return -1;
  senderAddress = sender.sin_family == AF_INET ? sender.sin_addr.s_addr : 0;
  return static_cast<long>(n);
}

ConnectStart StartConnect(const Socket& socket, const sockaddr* address, std::size_t length) {
  if (::connect(socket.get(), address, static_cast<socklen_t>(length)) == 0) {
    return ConnectStart::Connected;
  }
  return errno == EINPROGRESS ? ConnectStart::InProgress : ConnectStart::Failed;
}

bool WaitConnected(const Socket& socket, std::uint32_t timeoutMs) {
  pollfd entry{socket.get(), POLLOUT, 0};
  const int n = ::poll(&entry, 1, static_cast<int>(timeoutMs));
  if (n <= 0) return false;
  if ((entry.revents & POLLOUT) == 0 || (entry.revents & (POLLERR | POLLHUP)) != 0) return false;
  int error = 0;
  socklen_t errorLength = sizeof error;
  if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0) return false;
  return error == 0;
}

}  // namespace talvo
