#pragma once
// A whole router on 127.0.0.1 in a child process: SSDP, the description and control HTTP
// servers, NAT-PMP, PCP and an address-echo service, each answering every request alike for
// as long as the test runs. Living in another process, it adds no descriptor and no heap
// block to the process under measurement.
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace talvo::test {

struct RouterPorts {
  std::uint16_t ssdp = 0;
  std::uint16_t description = 0;
  std::uint16_t control = 0;
  std::uint16_t natpmp = 0;
  std::uint16_t pcp = 0;
  std::uint16_t echo = 0;
};

// The address every service of the router reports as the external one.
constexpr const char* kRouterExternalAddress = "81.2.69.160";

class LoopbackRouter {
 public:
  LoopbackRouter();   // forks the child; ok() tells whether it is serving
  ~LoopbackRouter();  // ends the child by its PID and reaps it
  LoopbackRouter(const LoopbackRouter&) = delete;
  LoopbackRouter& operator=(const LoopbackRouter&) = delete;

  bool ok() const { return ready_; }
  const RouterPorts& ports() const { return ports_; }

 private:
  pid_t child_ = -1;
  int keepAlive_ = -1;  // the child ends when it reads end of file here
  bool ready_ = false;
  RouterPorts ports_;
};

}  // namespace talvo::test
