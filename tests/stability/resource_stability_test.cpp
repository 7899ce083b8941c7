// Many checks in one process leave no descriptor and no memory behind: the real probes against
// a router on loopback, and the real program retrying through a pseudo-terminal.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "check/probe_sequence.h"
#include "net/http/echo_rules.h"
#include "net/http/http_client.h"
#include "net/natpmp_pcp/natpmp.h"
#include "net/natpmp_pcp/pcp.h"
#include "net/upnp/description.h"
#include "net/upnp/external_address.h"
#include "net/upnp/ssdp.h"
#include "os/endpoint.h"
#include "os/utf.h"
#include "support/loopback_router.h"
#include "support/terminal_run.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TALVO_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TALVO_UNDER_ASAN 1
#endif
#ifdef TALVO_UNDER_ASAN
#include <sanitizer/allocator_interface.h>
#endif

namespace talvo {
namespace {

// The address every service of the router reports as the external one.
constexpr const char* kRouterExternalAddress = "81.2.69.160";
constexpr int kChildLifetimeMs = 900000;  // a hard stop should the parent vanish unnoticed

struct RouterPorts {
  std::uint16_t udp = 0;
  std::uint16_t http = 0;
};

test::Reply HttpOk(const std::string& contentType, const std::string& body) {
  return test::SimpleReply("200 OK", body, "Content-Type: " + contentType + "\r\n");
}

// Every service of a whole router, answering alike for as long as the test runs: SSDP, NAT-PMP
// and PCP on the UDP port, told apart by their first bytes; the description, the control URL
// and the address echo on the HTTP port, told apart by their request lines.
test::RouterScript WholeRouter(const std::atomic<std::uint16_t>& httpPort) {
  test::RouterScript script;
  script.lifetimeMs = kChildLifetimeMs;
  script.answerEvery = [&httpPort](const test::Bytes& datagram) {
    if (datagram.size() == 2 && datagram[0] == 0 && datagram[1] == 0) {
      return test::BytesOf(std::string("\x00\x80\x00\x00\x00\x00\x12\x34\x51\x02\x45\xa0", 12));
    }
    if (!datagram.empty() && datagram[0] == 2) {
      std::string pcp(24, '\0');
      pcp[0] = 2;
      pcp[1] = static_cast<char>(0x80);
      return test::BytesOf(pcp);
    }
    return test::BytesOf(
        "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nEXT:\r\nLOCATION: http://127.0.0.1:" +
        std::to_string(httpPort.load()) +
        "/rootDesc.xml\r\nSERVER: Linux UPnP/1.1 MiniUPnPd/2.3\r\n"
        "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n");
  };
  script.answerEveryRequest = [](const std::string& request) {
    if (request.rfind("GET /rootDesc.xml ", 0) == 0) {
      return HttpOk(
          "text/xml",
          "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
          "<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1"
          "</deviceType><deviceList><device>"
          "<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType><deviceList>"
          "<device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1"
          "</deviceType><serviceList><service>"
          "<serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
          "<controlURL>/ctl/IPConn</controlURL></service></serviceList></device></deviceList>"
          "</device></deviceList></device></root>\r\n");
    }
    if (request.rfind("POST /ctl/IPConn ", 0) == 0) {
      return HttpOk("text/xml; charset=\"utf-8\"",
                    "<?xml version=\"1.0\"?>\r\n<s:Envelope "
                    "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
                    "<u:GetExternalIPAddressResponse "
                    "xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
                    "<NewExternalIPAddress>" + std::string(kRouterExternalAddress) +
                        "</NewExternalIPAddress></u:GetExternalIPAddressResponse></s:Body>"
                        "</s:Envelope>\r\n");
    }
    return HttpOk("text/plain", std::string(kRouterExternalAddress) + "\n");
  };
  return script;
}

// The router in a child process: living there, it adds no descriptor and no heap block to the
// process under measurement. The child ends when it reads end of file on `keepAlive`, or by
// its PID when the test is done.
class ForkedRouter {
 public:
  ForkedRouter() {
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
  ~ForkedRouter() {
    if (keepAlive_ >= 0) ::close(keepAlive_);
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
  }
  ForkedRouter(const ForkedRouter&) = delete;
  ForkedRouter& operator=(const ForkedRouter&) = delete;

  bool ok() const { return ready_; }
  const RouterPorts& ports() const { return ports_; }

 private:
  [[noreturn]] static void Serve(int portsOut, int keepAlive) {
    std::atomic<std::uint16_t> httpPort{0};
    test::LoopbackRouter router(WholeRouter(httpPort));
    if (!router.ok()) _exit(1);
    httpPort = router.port();
    const RouterPorts ports{router.endpoint().port, router.port()};
    if (::write(portsOut, &ports, sizeof ports) != static_cast<ssize_t>(sizeof ports)) _exit(1);
    ::close(portsOut);
    pollfd wait{keepAlive, POLLIN, 0};
    ::poll(&wait, 1, kChildLifetimeMs);
    // The router's thread is still running: leave without unwinding it.
    _exit(0);
  }

  pid_t child_ = -1;
  int keepAlive_ = -1;
  bool ready_ = false;
  RouterPorts ports_;
};

std::size_t OpenDescriptors(const std::string& process = "self") {
  std::size_t count = 0;
  DIR* directory = opendir(("/proc/" + process + "/fd").c_str());
  if (directory == nullptr) return 0;
  while (const dirent* entry = readdir(directory)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(directory);
  return count;  // counts the directory's own descriptor too, the same every time
}

// Bytes the allocator has handed out and not got back.
std::size_t HeapInUse() {
#ifdef TALVO_UNDER_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// Real probes, each aimed at its loopback stand-in; only the local facts are made up: one
// IPv4 address, a default route through 127.0.0.1 from 127.0.0.1.
ProbeOperations LoopbackProbes(const ForkedRouter& router, const std::u16string& echoUrl) {
  const std::uint32_t loopback = Ipv4FromParts(127, 0, 0, 1);
  const Ipv4Endpoint udp{loopback, router.ports().udp};
  ProbeOperations p;
  p.countPreferredAddresses = [](std::uint32_t& v4, std::uint32_t& v6) {
    v4 = 1;
    v6 = 0;
    return true;
  };
  p.hasNoActiveAdapter = [] { return false; };
  p.probePublicIpv6Route = [] { return false; };
  p.findDefaultRoute = [loopback](DefaultRoute& route) {
    route = DefaultRoute{loopback, loopback, 1};
    return true;
  };
  p.assessIndirectPath = [](std::uint32_t) { return false; };
  p.canBindLocalAddress = [](std::uint32_t) { return false; };
  p.lookupPublicAddress = [echoUrl](const CancelFlag& cancel, std::uint32_t& observed) {
    // The echo profile over plain http: the loopback service has no certificate.
    HttpProfile profile = PublicEchoGet;
    profile.requireHttps = false;
    profile.useSystemProxy = false;
    const std::u16string_view urls[] = {echoUrl};
    return LookupPublicAddressFrom(cancel, profile, urls, 1, observed);
  };
  p.discoverGateway = [udp](std::uint32_t local, const Ipv4Endpoint&, std::uint32_t gateway,
                            const CancelFlag& cancel, std::u16string* url) {
    return DiscoverGateway(local, udp, gateway, cancel, url);
  };
  p.describeGateway = DescribeGateway;
  p.queryExternalAddress = QueryExternalAddress;
  p.probeNatPmp = [udp](std::uint32_t local, const Ipv4Endpoint&, const CancelFlag& cancel) {
    return ProbeNatPmp(local, udp, cancel);
  };
  p.probePcpAnnounce = [udp](std::uint32_t local, const Ipv4Endpoint&, const CancelFlag& cancel) {
    return ProbePcpAnnounce(local, udp, cancel);
  };
  return p;
}

// One check as the main loop runs it: a worker thread, the hand-off, the join.
CheckResult RunOneCheck(const ProbeOperations& probes) {
  CheckResult result;
  CancelFlag cancel{false};
  DoneFlag done{false};
  std::thread worker(
      [&] { RunCheckWorker(WorkerContext{result, cancel, done}, probes); });
  worker.join();
  EXPECT_TRUE(done.load());
  return result;
}

// Every router answer arrived and agreed: proof that each real probe ran to its end.
bool FullPath(const CheckResult& r) {
  return r.hasDefaultRoute && r.publicAddressObserved && r.gatewayDiscovered &&
         r.upnpAddressReceived && r.natpmpAddressMatches && r.pcpSupported &&
         r.routerAddressMatches && !r.routerAddressMismatch && !r.checkError;
}

TEST(ResourceStability, TwoHundredChecksLeaveDescriptorsAndHeapFlat) {
  ForkedRouter router;
  ASSERT_TRUE(router.ok());
  const std::u16string echoUrl =
      u"http://127.0.0.1:" + Utf8ToUtf16(std::to_string(router.ports().http)) + u"/ip";
  const ProbeOperations probes = LoopbackProbes(router, echoUrl);

  constexpr int kWarmUp = 10;
  constexpr int kMeasured = 200;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kWarmUp; ++i) ASSERT_TRUE(FullPath(RunOneCheck(probes))) << "warm-up " << i;
  const std::size_t descriptorsBefore = OpenDescriptors();
  const std::size_t heapBefore = HeapInUse();
  int full = 0;
  for (int i = 0; i < kMeasured; ++i) full += FullPath(RunOneCheck(probes)) ? 1 : 0;
  const std::size_t descriptorsAfter = OpenDescriptors();
  const std::size_t heapAfter = HeapInUse();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();

  EXPECT_EQ(full, kMeasured);
  EXPECT_GT(descriptorsBefore, 0u);
  EXPECT_EQ(descriptorsAfter, descriptorsBefore);
  // Any block left behind by every check adds at least 200 x 16 bytes: more than this allows.
  const long long growth =
      static_cast<long long>(heapAfter) - static_cast<long long>(heapBefore);
  EXPECT_LT(growth, 2048) << "heap before " << heapBefore << ", after " << heapAfter;
  EXPECT_LT(seconds, 240);  // against a hang only
  std::printf("descriptors %zu -> %zu, heap %zu -> %zu bytes, %lld s\n", descriptorsBefore,
              descriptorsAfter, heapBefore, heapAfter, static_cast<long long>(seconds));
}

std::size_t ResidentKiB(const std::string& pid) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6));
  }
  return 0;
}

TEST(ResourceStability, HundredRetriesInTheProgramKeepDescriptorsAndMemoryFlat) {
  // Under AddressSanitizer freed memory waits in a quarantine, which reads as growth; the
  // program gives it back at once instead, so what stays resident is what is really held.
  test::TerminalRun run("quick", "C", test::Stdout::Terminal, test::Stdin::Terminal,
                        test::Session::Alone,
                        {"ASAN_OPTIONS=quarantine_size_mb=0:thread_local_quarantine_size_kb=0"});
  const std::string pid = std::to_string(run.Pid());
  const std::string result = "Estimated compatibility score: 80 / 100";
  ASSERT_TRUE(run.ReadUntil("F: English fallback", 1));
  run.Type("x");
  ASSERT_TRUE(run.ReadUntil(result, 1));
  std::size_t descriptorsAt10 = 0;
  std::size_t residentAt10 = 0;
  for (int check = 2; check <= 100; ++check) {
    run.Type("R");
    ASSERT_TRUE(run.ReadUntil(result, check)) << "check " << check;
    if (check == 10) {
      descriptorsAt10 = OpenDescriptors(pid);
      residentAt10 = ResidentKiB(pid);
    }
  }
  const std::size_t descriptorsAt100 = OpenDescriptors(pid);
  const std::size_t residentAt100 = ResidentKiB(pid);
  EXPECT_GT(descriptorsAt10, 0u);
  EXPECT_EQ(descriptorsAt100, descriptorsAt10);
  ASSERT_GT(residentAt10, 0u);
  EXPECT_LT(static_cast<long long>(residentAt100) - static_cast<long long>(residentAt10), 256)
      << "VmRSS " << residentAt10 << " KiB at check 10, " << residentAt100 << " at 100";
  std::printf("descriptors %zu -> %zu, VmRSS %zu -> %zu KiB\n", descriptorsAt10, descriptorsAt100,
              residentAt10, residentAt100);
}

}  // namespace
}  // namespace talvo
