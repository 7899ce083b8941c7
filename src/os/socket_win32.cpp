#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "os/socket.h"

namespace talvo {
namespace {

SOCKET Handle(const Socket& socket) { return static_cast<SOCKET>(socket.native()); }

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

timeval Timeout(std::uint32_t timeoutMs) {
  return timeval{static_cast<long>(timeoutMs / 1000u), static_cast<long>(timeoutMs % 1000u) * 1000L};
}

}  // namespace

NetSession::NetSession() {
  WSADATA data{};
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

NetSession::~NetSession() {
  if (started_) WSACleanup();
}

Socket::Socket(SocketKind kind) {
  const int family = kind == SocketKind::TcpIpv6 ? AF_INET6 : AF_INET;
  const int type = kind == SocketKind::UdpIpv4 ? SOCK_DGRAM : SOCK_STREAM;
  const int protocol = kind == SocketKind::UdpIpv4 ? IPPROTO_UDP : IPPROTO_TCP;
  const SOCKET handle = ::socket(family, type, protocol);
  // INVALID_SOCKET is all ones, which is kInvalidHandle as a signed value.
  handle_ = static_cast<std::intptr_t>(handle);
}

void Socket::Close() {
  if (valid()) {
    ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = kInvalidHandle;
  }
}

bool Bind(const Socket& socket, const Ipv4Endpoint& local) {
  const sockaddr_in address = Native(local);
  return ::bind(Handle(socket), Generic(address), sizeof address) == 0;
}

bool Bind(const Socket& socket, const Ipv6Endpoint& local) {
  const sockaddr_in6 address = Native(local);
  return ::bind(Handle(socket), Generic(address), sizeof address) == 0;
}

bool Connect(const Socket& socket, const Ipv4Endpoint& remote) {
  const sockaddr_in address = Native(remote);
  return ::connect(Handle(socket), Generic(address), sizeof address) == 0;
}

bool LocalEndpoint(const Socket& socket, Ipv4Endpoint& local) {
  sockaddr_in address{};
  int length = sizeof address;
  if (::getsockname(Handle(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      address.sin_family != AF_INET) {
    return false;
  }
  local.address = address.sin_addr.s_addr;
  local.port = ntohs(address.sin_port);
  return true;
}

bool SetNonBlocking(const Socket& socket) {
  u_long on = 1;
  return ::ioctlsocket(Handle(socket), FIONBIO, &on) == 0;
}

bool SetMulticastInterface(const Socket& socket, std::uint32_t address) {
  return ::setsockopt(Handle(socket), IPPROTO_IP, IP_MULTICAST_IF,
                      reinterpret_cast<const char*>(&address), sizeof address) == 0;
}

bool Listen(const Socket& socket, int backlog) { return ::listen(Handle(socket), backlog) == 0; }

Socket Accept(const Socket& listener) {
  Socket accepted;
  accepted.handle_ = static_cast<std::intptr_t>(::accept(Handle(listener), nullptr, nullptr));
  return accepted;
}

void ShutdownSend(const Socket& socket) { ::shutdown(Handle(socket), SD_SEND); }

WaitResult WaitReadable(const Socket& socket, std::uint32_t timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Handle(socket), &readable);
  timeval timeout = Timeout(timeoutMs);
  const int n = ::select(0, &readable, nullptr, nullptr, &timeout);
  if (n == SOCKET_ERROR) return WaitResult::Error;
  return n == 0 ? WaitResult::TimedOut : WaitResult::Ready;
}

long Send(const Socket& socket, const void* data, std::size_t length) {
  return ::send(Handle(socket), static_cast<const char*>(data), static_cast<int>(length), 0);
}

long SendTo(const Socket& socket, const void* data, std::size_t length,
            const Ipv4Endpoint& destination) {
  const sockaddr_in address = Native(destination);
  return ::sendto(Handle(socket), static_cast<const char*>(data), static_cast<int>(length), 0,
                  Generic(address), sizeof address);
}

long Receive(const Socket& socket, void* buffer, std::size_t capacity) {
  return ::recv(Handle(socket), static_cast<char*>(buffer), static_cast<int>(capacity), 0);
}

long ReceiveDatagramFrom(const Socket& socket, void* buffer, std::size_t capacity,
                         Ipv4Endpoint& sender) {
  sockaddr_in from{};
  int fromLength = sizeof from;
  // An oversized datagram fails with WSAEMSGSIZE and is dropped whole.
  const int n = ::recvfrom(Handle(socket), static_cast<char*>(buffer), static_cast<int>(capacity),
                           0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n == SOCKET_ERROR) return -1;
  sender = from.sin_family == AF_INET ? Ipv4Endpoint{from.sin_addr.s_addr, ntohs(from.sin_port)}
                                       : Ipv4Endpoint{};
  return n;
}

ConnectStart StartConnect(const Socket& socket, const Ipv6Endpoint& remote) {
  const sockaddr_in6 address = Native(remote);
  if (::connect(Handle(socket), Generic(address), sizeof address) == 0) {
    return ConnectStart::Connected;
  }
  return WSAGetLastError() == WSAEWOULDBLOCK ? ConnectStart::InProgress : ConnectStart::Failed;
}

bool WaitConnected(const Socket& socket, std::uint32_t timeoutMs) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(Handle(socket), &writable);
  FD_SET(Handle(socket), &failed);
  timeval timeout = Timeout(timeoutMs);
  if (::select(0, nullptr, &writable, &failed, &timeout) <= 0) return false;
  if (!FD_ISSET(Handle(socket), &writable) || FD_ISSET(Handle(socket), &failed)) return false;
  int error = 0;
  int errorLength = sizeof error;
  if (::getsockopt(Handle(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                   &errorLength) != 0) {
    return false;
  }
  return error == 0;
}

bool ParseIpv6Literal(const char* text, std::uint8_t (&address)[16]) {
  IN6_ADDR parsed{};
  if (::inet_pton(AF_INET6, text, &parsed) != 1) return false;
  std::memcpy(address, &parsed, sizeof address);
  return true;
}

}  // namespace talvo
