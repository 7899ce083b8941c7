// Many checks in one process leave no descriptor and no memory behind: the real probes against
// a router on loopback, and the real program retrying through a pseudo-terminal.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
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
#include "os/inet.h"
#include "os/utf.h"
#include "stability/loopback_router.h"

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

using test::LoopbackRouter;

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
ProbeOperations LoopbackProbes(const LoopbackRouter& router, const std::u16string& echoUrl) {
  const std::uint32_t loopback = Ipv4FromParts(127, 0, 0, 1);
  const auto ports = router.ports();
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
  p.discoverGateway = [loopback, ports](std::uint32_t local, const sockaddr_in&,
                                        std::uint32_t gateway, const CancelFlag* cancel,
                                        std::u16string* url) {
    return DiscoverGateway(local, MakeIpv4Endpoint(loopback, ports.ssdp), gateway, cancel, url);
  };
  p.fetchDeviceDescription = FetchDeviceDescription;
  p.parseDeviceDescription = ParseDeviceDescription;
  p.queryExternalAddress = QueryExternalAddress;
  p.probeNatPmp = [loopback, ports](std::uint32_t local, const sockaddr_in&,
                                    const CancelFlag* cancel) {
    return ProbeNatPmp(local, MakeIpv4Endpoint(loopback, ports.natpmp), cancel);
  };
  p.probePcpAnnounce = [loopback, ports](std::uint32_t local, const sockaddr_in&,
                                         const CancelFlag* cancel) {
    return ProbePcpAnnounce(local, MakeIpv4Endpoint(loopback, ports.pcp), cancel);
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
  LoopbackRouter router;
  ASSERT_TRUE(router.ok());
  const std::u16string echoUrl =
      u"http://127.0.0.1:" + Utf8ToUtf16(std::to_string(router.ports().echo)) + u"/ip";
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

// The scripted program on a pseudo-terminal, ended by its PID whatever happens.
class RetryingProgram {
 public:
  RetryingProgram() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    const std::string program = TALVO_SCRIPTED_PROGRAM;
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("quick"),
                          nullptr};
    // Under AddressSanitizer freed memory waits in a quarantine, which reads as growth; the
    // program gives it back at once instead, so what stays resident is what is really held.
    char* const envp[] = {const_cast<char*>("LANG=C"), const_cast<char*>("PATH=/usr/bin:/bin"),
                          const_cast<char*>("ASAN_OPTIONS=quarantine_size_mb=0:"
                                            "thread_local_quarantine_size_kb=0"),
                          nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      dup2(slave_, STDIN_FILENO);
      dup2(slave_, STDOUT_FILENO);
      dup2(slave_, STDERR_FILENO);
      execve(program.c_str(), argv, envp);
      _exit(127);
    }
  }
  ~RetryingProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  RetryingProgram(const RetryingProgram&) = delete;
  RetryingProgram& operator=(const RetryingProgram&) = delete;

  bool ok() const { return pid_ > 0; }
  std::string Pid() const { return std::to_string(pid_); }

  // Reads the screen until `text` has appeared `times` times in all; false on timeout.
  bool ReadUntil(const std::string& text, int times) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (seen_ < times) {
      if (std::chrono::steady_clock::now() >= end) return false;
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, 200) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) return false;
      pending_.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t at = pending_.find(text); at != std::string::npos;
           at = pending_.find(text)) {
        ++seen_;
        pending_.erase(0, at + text.size());
      }
      // Keep only a tail that could still hold the start of the text.
      if (pending_.size() > text.size()) pending_.erase(0, pending_.size() - text.size());
    }
    return true;
  }

  bool Type(char key) { return write(master_, &key, 1) == 1; }

 private:
  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  int seen_ = 0;
  std::string pending_;
};

std::size_t ResidentKiB(const std::string& pid) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6));
  }
  return 0;
}

TEST(ResourceStability, HundredRetriesInTheProgramKeepDescriptorsAndMemoryFlat) {
  RetryingProgram run;
  ASSERT_TRUE(run.ok());
  const std::string result = "Estimated compatibility score: 80 / 100";
  ASSERT_TRUE(run.ReadUntil("F: English fallback", 1));
  ASSERT_TRUE(run.Type('x'));
  ASSERT_TRUE(run.ReadUntil(result, 1));
  std::size_t descriptorsAt10 = 0;
  std::size_t residentAt10 = 0;
  for (int check = 2; check <= 100; ++check) {
    ASSERT_TRUE(run.Type('R'));
    ASSERT_TRUE(run.ReadUntil(result, check)) << "check " << check;
    if (check == 10) {
      descriptorsAt10 = OpenDescriptors(run.Pid());
      residentAt10 = ResidentKiB(run.Pid());
    }
  }
  const std::size_t descriptorsAt100 = OpenDescriptors(run.Pid());
  const std::size_t residentAt100 = ResidentKiB(run.Pid());
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
