#include "os/socket.h"

namespace talvo {

NetSession::NetSession() {
  WSADATA data{};
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

NetSession::~NetSession() {
  if (started_) WSACleanup();
}

Socket::Socket(int family, int type, int protocol) : handle_(::socket(family, type, protocol)) {}

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

bool Socket::valid() const { return handle_ != INVALID_SOCKET; }

void Socket::Close() {
  if (handle_ != INVALID_SOCKET) {
    ::closesocket(handle_);
    handle_ = kInvalid;
  }
}

bool BindIpv4(const Socket& socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in local = MakeIpv4Endpoint(address, port);
  return BindAddress(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

bool BindAddress(const Socket& socket, const sockaddr* address, std::size_t length) {
  return ::bind(socket.get(), address, static_cast<int>(length)) == 0;
}

bool ConnectIpv4(const Socket& socket, const sockaddr_in& endpoint) {
  return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&endpoint),
                   sizeof endpoint) == 0;
}

bool SetNonBlocking(const Socket& socket) {
  u_long on = 1;
  return ::ioctlsocket(socket.get(), FIONBIO, &on) == 0;
}

bool SetMulticastInterface(const Socket& socket, std::uint32_t address) {
  return ::setsockopt(socket.get(), IPPROTO_IP, IP_MULTICAST_IF,
                      reinterpret_cast<const char*>(&address), sizeof address) == 0;
}

WaitResult WaitReadable(const Socket& socket, std::uint32_t timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket.get(), &readable);
  timeval timeout{static_cast<long>(timeoutMs / 1000u), static_cast<long>(timeoutMs % 1000u) * 1000L};
  const int n = ::select(0, &readable, nullptr, nullptr, &timeout);
  if (n == SOCKET_ERROR) return WaitResult::Error;
  return n == 0 ? WaitResult::TimedOut : WaitResult::Ready;
}

long SendBytes(const Socket& socket, const void* data, std::size_t length) {
  return ::send(socket.get(), static_cast<const char*>(data), static_cast<int>(length), 0);
}

long SendTo(const Socket& socket, const void* data, std::size_t length,
            const sockaddr_in& destination) {
  return ::sendto(socket.get(), static_cast<const char*>(data), static_cast<int>(length), 0,
                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
}

long ReceiveBytes(const Socket& socket, void* buffer, std::size_t capacity) {
  return ::recv(socket.get(), static_cast<char*>(buffer), static_cast<int>(capacity), 0);
}

long ReceiveDatagramFrom(const Socket& socket, void* buffer, std::size_t capacity,
                         std::uint32_t& senderAddress) {
  sockaddr_in sender{};
  int senderLength = sizeof sender;
  // An oversized datagram fails with WSAEMSGSIZE and is dropped whole.
  const int n = ::recvfrom(socket.get(), static_cast<char*>(buffer), static_cast<int>(capacity),
                           0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
  if (n == SOCKET_ERROR) return -1;
  senderAddress = sender.sin_family == AF_INET ? sender.sin_addr.s_addr : 0;
  return n;
}

ConnectStart StartConnect(const Socket& socket, const sockaddr* address, std::size_t length) {
  if (::connect(socket.get(), address, static_cast<int>(length)) == 0) {
    return ConnectStart::Connected;
  }
  return WSAGetLastError() == WSAEWOULDBLOCK ? ConnectStart::InProgress : ConnectStart::Failed;
}

bool WaitConnected(const Socket& socket, std::uint32_t timeoutMs) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket.get(), &writable);
  FD_SET(socket.get(), &failed);
  timeval timeout{static_cast<long>(timeoutMs / 1000u), static_cast<long>(timeoutMs % 1000u) * 1000L};
  if (::select(0, nullptr, &writable, &failed, &timeout) <= 0) return false;
  if (!FD_ISSET(socket.get(), &writable) || FD_ISSET(socket.get(), &failed)) return false;
  int error = 0;
  int errorLength = sizeof error;
  if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                   &errorLength) != 0) {
    return false;
  }
  return error == 0;
}

}  // namespace talvo
