#include "stability/loopback_router.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "support/loopback_gateway.h"
#include "support/test_http_server.h"

namespace talvo::test {
namespace {

constexpr int kChildLifetimeMs = 900000;  // a hard stop should the parent vanish unnoticed

GatewayScript AnswerEvery(const std::string& reply) {
  GatewayScript script;
  script.thenEvery = {DatagramReply{BytesOf(reply)}};
  script.lifetimeMs = kChildLifetimeMs;
  return script;
}

Reply HttpOk(const std::string& contentType, const std::string& body) {
  return SimpleReply("200 OK", body, "Content-Type: " + contentType + "\r\n");
}

// The child: every service on its own thread, answering alike until the parent closes its end
// of `keepAlive` or goes away.
[[noreturn]] void Serve(int portsOut, int keepAlive) {
  const std::string natpmpReply("\x00\x80\x00\x00\x00\x00\x12\x34\x51\x02\x45\xa0", 12);
  std::string pcpReply(24, '\0');
  pcpReply[0] = 2;
  pcpReply[1] = static_cast<char>(0x80);
  LoopbackGateway natpmp(AnswerEvery(natpmpReply));
  LoopbackGateway pcp(AnswerEvery(pcpReply));
  TestHttpServer echo({HttpOk("text/plain", std::string(kRouterExternalAddress) + "\n")}, true);
  TestHttpServer control(
      {HttpOk("text/xml; charset=\"utf-8\"",
              "<?xml version=\"1.0\"?>\r\n<s:Envelope "
              "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
              "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
              "<u:GetExternalIPAddressResponse "
              "xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
              "<NewExternalIPAddress>" + std::string(kRouterExternalAddress) +
                  "</NewExternalIPAddress></u:GetExternalIPAddressResponse></s:Body>"
                  "</s:Envelope>\r\n")},
      true);
  TestHttpServer description(
      {HttpOk("text/xml",
              "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
              "<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1"
              "</deviceType><deviceList><device>"
              "<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType><deviceList>"
              "<device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1"
              "</deviceType><serviceList><service>"
              "<serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
              "<controlURL>http://127.0.0.1:" + std::to_string(control.port()) +
                  "/ctl/IPConn</controlURL></service></serviceList></device></deviceList>"
                  "</device></deviceList></device></root>\r\n")},
      true);
  LoopbackGateway ssdp(AnswerEvery(
      "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nEXT:\r\nLOCATION: http://127.0.0.1:" +
      std::to_string(description.port()) +
      "/rootDesc.xml\r\nSERVER: Linux UPnP/1.1 MiniUPnPd/2.3\r\n"
      "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n"));
  if (!natpmp.ok() || !pcp.ok() || !ssdp.ok() || !echo.ok() || !control.ok() ||
      !description.ok()) {
    _exit(1);
  }
  const RouterPorts ports{ssdp.endpoint().port, description.port(), control.port(),
                          natpmp.endpoint().port, pcp.endpoint().port, echo.port()};
  if (::write(portsOut, &ports, sizeof ports) != static_cast<ssize_t>(sizeof ports)) _exit(1);
  ::close(portsOut);
  pollfd wait{keepAlive, POLLIN, 0};
  ::poll(&wait, 1, kChildLifetimeMs);
  // The servers' threads are still running: leave without unwinding them.
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
  // The parent has no other thread at this point, so the child may start its own.
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
