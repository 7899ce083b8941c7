// Runs one real probe of the check against a router and prints how long it took:
//   talvo-probe-timer ssdp|natpmp|pcp LOCAL GATEWAY [CANCEL_AFTER_MS]
//   talvo-probe-timer ipv6 TARGET
// Output: "<probe> status=<n> ms=<duration> [cancel_to_end_ms=<n>]". With CANCEL_AFTER_MS a
// second thread sets the CancelFlag after that delay, and the time from then to the probe's
// return is printed as well.
#include <arpa/inet.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "check/local/local_facts.h"
#include "net/natpmp_pcp/natpmp.h"
#include "net/natpmp_pcp/pcp.h"
#include "net/upnp/ssdp.h"
#include "os/cancel_flag.h"
#include "os/endpoint.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool ParseIpv4(const char* text, std::uint32_t& address) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text, &parsed) != 1) return false;
  address = parsed.s_addr;
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: talvo-probe-timer ssdp|natpmp|pcp LOCAL GATEWAY [CANCEL_AFTER_MS]\n"
               "       talvo-probe-timer ipv6 TARGET\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string probe = argv[1];
  if (probe == "ipv6") {
    const Clock::time_point start = Clock::now();
    const bool ok = talvo::ProbePublicIpv6RouteTo(argv[2], 443);
    std::printf("ipv6 status=%d ms=%.1f\n", ok ? 0 : 1, MsSince(start));
    return 0;
  }
  std::uint32_t local = 0;
  std::uint32_t gateway = 0;
  if (argc < 4 || !ParseIpv4(argv[2], local) || !ParseIpv4(argv[3], gateway)) return Usage();
  const long cancelAfterMs = argc > 4 ? std::strtol(argv[4], nullptr, 10) : -1;

  talvo::CancelFlag cancel{false};
  Clock::time_point cancelledAt{};
  std::thread canceller;
  if (cancelAfterMs >= 0) {
    canceller = std::thread([&cancel, &cancelledAt, cancelAfterMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(cancelAfterMs));
      cancelledAt = Clock::now();
      cancel.exchange(true);
    });
  }

  const talvo::Ipv4Endpoint router{gateway, talvo::kRouterProtocolPort};
  int status = -1;
  const Clock::time_point start = Clock::now();
  if (probe == "ssdp") {
    const talvo::Ipv4Endpoint group = talvo::SsdpMulticastEndpoint();
    std::u16string url;
    status = static_cast<int>(talvo::DiscoverGateway(local, group, gateway, cancel, &url));
  } else if (probe == "natpmp") {
    status = static_cast<int>(talvo::ProbeNatPmp(local, router, cancel).status);
  } else if (probe == "pcp") {
    status = static_cast<int>(talvo::ProbePcpAnnounce(local, router, cancel));
  }
  const Clock::time_point end = Clock::now();
  const double duration = std::chrono::duration<double, std::milli>(end - start).count();
  if (canceller.joinable()) canceller.join();
  if (status < 0) return Usage();
  std::printf("%s status=%d ms=%.1f", probe.c_str(), status, duration);
  if (cancelAfterMs >= 0 && cancelledAt != Clock::time_point{} && cancelledAt <= end) {
    std::printf(" cancel_to_end_ms=%.1f",
                std::chrono::duration<double, std::milli>(end - cancelledAt).count());
  }
  std::printf("\n");
  return 0;
}
