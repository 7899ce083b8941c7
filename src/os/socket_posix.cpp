#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/socket.h"

namespace talvo {
namespace {

int Fd(const Socket& socket) { return static_cast<int>(socket.native()); }

sockaddr_in Native(const Ipv4Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = endpoint.address;
  return address;
}

sockaddr_in6 Native(const Ipv6Endpoint& endpoint) {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(endpoint.port);
  std::memcpy(&address.sin6_addr, endpoint.address, sizeof endpoint.address);
  address.sin6_scope_id = endpoint.scopeId;
  return address;
}

template <typename Address>
const sockaddr* Generic(const Address& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

int WaitFor(const Socket& socket, short events, std::uint32_t timeoutMs, short& revents) {
  pollfd entry{Fd(socket), events, 0};
  const int n = ::poll(&entry, 1, static_cast<int>(timeoutMs));
  revents = entry.revents;
  return n;
}

}  // namespace

NetSession::NetSession() : started_(true) {}
NetSession::~NetSession() = default;

Socket::Socket(SocketKind kind) {
  const int family = kind == SocketKind::TcpIpv6 ? AF_INET6 : AF_INET;
  const int type = kind == SocketKind::UdpIpv4 ? SOCK_DGRAM : SOCK_STREAM;
  const int protocol = kind == SocketKind::UdpIpv4 ? IPPROTO_UDP : IPPROTO_TCP;
  handle_ = ::socket(family, type | SOCK_CLOEXEC, protocol);
  if (handle_ < 0) handle_ = kInvalidHandle;
}

void Socket::Close() {
  if (valid()) {
    ::close(static_cast<int>(handle_));
    handle_ = kInvalidHandle;
  }
}

bool Bind(const Socket& socket, const Ipv4Endpoint& local) {
  const sockaddr_in address = Native(local);
  return ::bind(Fd(socket), Generic(address), sizeof address) == 0;
}

bool Bind(const Socket& socket, const Ipv6Endpoint& local) {
  const sockaddr_in6 address = Native(local);
  return ::bind(Fd(socket), Generic(address), sizeof address) == 0;
}

bool Connect(const Socket& socket, const Ipv4Endpoint& remote) {
  const sockaddr_in address = Native(remote);
  return ::connect(Fd(socket), Generic(address), sizeof address) == 0;
}

bool LocalEndpoint(const Socket& socket, Ipv4Endpoint& local) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      address.sin_family != AF_INET) {
    return false;
  }
  local.address = address.sin_addr.s_addr;
  local.port = ntohs(address.sin_port);
  return true;
}

bool SetNonBlocking(const Socket& socket) {
  const int flags = ::fcntl(Fd(socket), F_GETFL, 0);
  return flags >= 0 && ::fcntl(Fd(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

bool SetMulticastInterface(const Socket& socket, std::uint32_t address) {
  in_addr interfaceAddress{};
  interfaceAddress.s_addr = address;
  return ::setsockopt(Fd(socket), IPPROTO_IP, IP_MULTICAST_IF, &interfaceAddress,
                      sizeof interfaceAddress) == 0;
}

bool Listen(const Socket& socket, int backlog) { return ::listen(Fd(socket), backlog) == 0; }

Socket Accept(const Socket& listener) {
  Socket accepted;
  const int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) accepted.handle_ = fd;
  return accepted;
}

void ShutdownSend(const Socket& socket) { ::shutdown(Fd(socket), SHUT_WR); }

// poll rather than select: select's fd_set cannot hold a descriptor past FD_SETSIZE.
WaitResult WaitReadable(const Socket& socket, std::uint32_t timeoutMs) {
  short revents = 0;
  const int n = WaitFor(socket, POLLIN, timeoutMs, revents);
  if (n < 0) return errno == EINTR ? WaitResult::TimedOut : WaitResult::Error;
  return n == 0 ? WaitResult::TimedOut : WaitResult::Ready;
}

long Send(const Socket& socket, const void* data, std::size_t length) {
  return static_cast<long>(::send(Fd(socket), data, length, MSG_NOSIGNAL));
}

long SendTo(const Socket& socket, const void* data, std::size_t length,
            const Ipv4Endpoint& destination) {
  const sockaddr_in address = Native(destination);
  return static_cast<long>(
      ::sendto(Fd(socket), data, length, MSG_NOSIGNAL, Generic(address), sizeof address));
}

long Receive(const Socket& socket, void* buffer, std::size_t capacity) {
  return static_cast<long>(::recv(Fd(socket), buffer, capacity, 0));
}

long ReceiveDatagramFrom(const Socket& socket, void* buffer, std::size_t capacity,
                         Ipv4Endpoint& sender) {
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  // MSG_TRUNC makes the kernel report the datagram's real length, so an oversized one is
  // recognised and dropped whole instead of being parsed cut short.
  const ssize_t n = ::recvfrom(Fd(socket), buffer, capacity, MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n < 0 || static_cast<std::size_t>(n) > capacity) return -1;
  sender = from.sin_family == AF_INET ? Ipv4Endpoint{from.sin_addr.s_addr, ntohs(from.sin_port)}
                                       : Ipv4Endpoint{};
  return static_cast<long>(n);
}

ConnectStart StartConnect(const Socket& socket, const Ipv6Endpoint& remote) {
  const sockaddr_in6 address = Native(remote);
  if (::connect(Fd(socket), Generic(address), sizeof address) == 0) return ConnectStart::Connected;
  return errno == EINPROGRESS ? ConnectStart::InProgress : ConnectStart::Failed;
}

bool WaitConnected(const Socket& socket, std::uint32_t timeoutMs) {
  short revents = 0;
  if (WaitFor(socket, POLLOUT, timeoutMs, revents) <= 0) return false;
  if ((revents & POLLOUT) == 0 || (revents & (POLLERR | POLLHUP)) != 0) return false;
  int error = 0;
  socklen_t errorLength = sizeof error;
  if (::getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0) return false;
  return error == 0;
}

bool ParseIpv6Literal(const char* text, std::uint8_t (&address)[16]) {
  in6_addr parsed{};
  if (::inet_pton(AF_INET6, text, &parsed) != 1) return false;
  std::memcpy(address, &parsed, sizeof address);
  return true;
}

}  // namespace talvo
