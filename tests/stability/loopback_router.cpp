#include "stability/loopback_router.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace talvo::test {
namespace {

constexpr int kChildLifetimeMs = 900000;  // a hard stop should the parent vanish unnoticed

int LoopbackSocket(int type, std::uint16_t& port) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (type == SOCK_STREAM && ::listen(fd, 16) != 0) ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

std::string HttpOk(const std::string& contentType, const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

// Reads one request (head, then as many body bytes as Content-Length says) and answers it.
void AnswerConnection(int listener, const std::string& reply) {
  const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return;
  std::string request;
  char buffer[4096];
  for (int reads = 0; reads < 64; ++reads) {
    pollfd wait{client, POLLIN, 0};
    if (::poll(&wait, 1, 5000) <= 0) break;
    const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    request.append(buffer, static_cast<std::size_t>(got));
    const std::size_t headEnd = request.find("\r\n\r\n");
    if (headEnd == std::string::npos) continue;
    std::size_t bodyBytes = 0;
    const std::size_t field = request.find("Content-Length:");
    if (field != std::string::npos && field < headEnd) {
      bodyBytes = std::strtoul(request.c_str() + field + 15, nullptr, 10);
    }
    if (request.size() >= headEnd + 4 + bodyBytes) break;
  }
  std::size_t sent = 0;
  while (sent < reply.size()) {
    const ssize_t put = ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) break;
    sent += static_cast<std::size_t>(put);
  }
  ::shutdown(client, SHUT_WR);
  ::close(client);
}

void AnswerDatagram(int socket, const std::string& reply) {
  char buffer[2048];
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (::recvfrom(socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &length) <
      0) {
    return;
  }
  ::sendto(socket, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer), length);
}

[[noreturn]] void Serve(int portsOut, int keepAlive) {
  RouterPorts ports;
  const int ssdp = LoopbackSocket(SOCK_DGRAM, ports.ssdp);
  const int natpmp = LoopbackSocket(SOCK_DGRAM, ports.natpmp);
  const int pcp = LoopbackSocket(SOCK_DGRAM, ports.pcp);
  const int description = LoopbackSocket(SOCK_STREAM, ports.description);
  const int control = LoopbackSocket(SOCK_STREAM, ports.control);
  const int echo = LoopbackSocket(SOCK_STREAM, ports.echo);
  if (ssdp < 0 || natpmp < 0 || pcp < 0 || description < 0 || control < 0 || echo < 0) _exit(1);

  const std::string location =
      "http://127.0.0.1:" + std::to_string(ports.description) + "/rootDesc.xml";
  const std::string ssdpReply =
      "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nEXT:\r\nLOCATION: " + location +
      "\r\nSERVER: Linux UPnP/1.1 MiniUPnPd/2.3\r\n"
      "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n";
  const std::string descriptionReply = HttpOk(
      "text/xml",
      "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
      "<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
      "<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>"
      "<deviceList><device>"
      "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType><serviceList>"
      "<service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
      "<controlURL>http://127.0.0.1:" + std::to_string(ports.control) + "/ctl/IPConn</controlURL>"
      "</service></serviceList></device></deviceList></device></deviceList></device></root>\r\n");
  const std::string controlReply = HttpOk(
      "text/xml; charset=\"utf-8\"",
      "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
      "<u:GetExternalIPAddressResponse xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
      "<NewExternalIPAddress>" + std::string(kRouterExternalAddress) +
      "</NewExternalIPAddress></u:GetExternalIPAddressResponse></s:Body></s:Envelope>\r\n");
  const std::string echoReply = HttpOk("text/plain", std::string(kRouterExternalAddress) + "\n");
  const std::string natpmpReply("\x00\x80\x00\x00\x00\x00\x12\x34\x51\x02\x45\xa0", 12);
  std::string pcpReply(24, '\0');
  pcpReply[0] = 2;
  pcpReply[1] = static_cast<char>(0x80);

  if (::write(portsOut, &ports, sizeof ports) != static_cast<ssize_t>(sizeof ports)) _exit(1);
  ::close(portsOut);

  pollfd waits[7] = {{keepAlive, POLLIN, 0}, {ssdp, POLLIN, 0},        {natpmp, POLLIN, 0},
                     {pcp, POLLIN, 0},       {description, POLLIN, 0}, {control, POLLIN, 0},
                     {echo, POLLIN, 0}};
  for (int slept = 0; slept < kChildLifetimeMs;) {
    const int ready = ::poll(waits, 7, 1000);
    if (ready < 0) _exit(1);
    if (ready == 0) {
      slept += 1000;
      continue;
    }
    if (waits[0].revents != 0) _exit(0);  // the parent closed its end or is gone
    if (waits[1].revents & POLLIN) AnswerDatagram(ssdp, ssdpReply);
    if (waits[2].revents & POLLIN) AnswerDatagram(natpmp, natpmpReply);
    if (waits[3].revents & POLLIN) AnswerDatagram(pcp, pcpReply);
    if (waits[4].revents & POLLIN) AnswerConnection(description, descriptionReply);
    if (waits[5].revents & POLLIN) AnswerConnection(control, controlReply);
    if (waits[6].revents & POLLIN) AnswerConnection(echo, echoReply);
  }
  _exit(0);
}

}  // namespace

LoopbackRouter::LoopbackRouter() {
  int portsPipe[2];
  int alivePipe[2];
  if (::pipe2(portsPipe, O_CLOEXEC) != 0) return;
  if (::pipe2(alivePipe, O_CLOEXEC) != 0) {
    ::close(portsPipe[0]);
    ::close(portsPipe[1]);
    return;
  }
  child_ = ::fork();
  if (child_ == 0) {
    ::close(portsPipe[0]);
    ::close(alivePipe[1]);
    Serve(portsPipe[1], alivePipe[0]);
  }
  ::close(portsPipe[1]);
  ::close(alivePipe[0]);
  keepAlive_ = alivePipe[1];
  if (child_ > 0) {
    pollfd wait{portsPipe[0], POLLIN, 0};
    unsigned char bytes[sizeof(RouterPorts)];
    ready_ = ::poll(&wait, 1, 10000) == 1 &&
             ::read(portsPipe[0], bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes);
    if (ready_) std::memcpy(&ports_, bytes, sizeof bytes);
  }
  ::close(portsPipe[0]);
}

LoopbackRouter::~LoopbackRouter() {
  if (keepAlive_ >= 0) ::close(keepAlive_);
  if (child_ > 0) {
    ::kill(child_, SIGKILL);
    ::waitpid(child_, nullptr, 0);
  }
}

}  // namespace talvo::test
