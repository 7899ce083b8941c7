#pragma once
// A router and a clock in one, for the UDP probes' exchange: the probe's requests, the router's
// answers and the passing of time are all scripted, so a test states exactly when each request
// goes out and when the probe ends, with no socket and no real waiting.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/udp_exchange.h"
#include "os/cancel_flag.h"
#include "support/loopback_router.h"

namespace talvo::test {

class ScriptedRouter {
 public:
  // The router's own address, the sender of its answers unless a script says otherwise.
  static std::uint32_t Address() { return Ipv4FromParts(192, 168, 1, 1); }

  // Answers the request numbered `request` (0 for the first) with `bytes`, `afterMs` later.
  ScriptedRouter& Answer(std::size_t request, Bytes bytes, std::uint64_t afterMs = 5,
                         std::uint32_t from = Address());
  // A datagram every `everyMs` from `fromMs` on, whatever the probe sends.
  ScriptedRouter& Flood(Bytes bytes, std::uint64_t fromMs, std::uint64_t everyMs);
  // Sets `flag` once the clock has reached `atMs`, as the main loop does between the probe's
  // looks at it.
  ScriptedRouter& CancelAt(CancelFlag& flag, std::uint64_t atMs);
  // Every wait from `atMs` on reports an error.
  ScriptedRouter& FailWaitsFrom(std::uint64_t atMs);
  // Every send reports failure.
  ScriptedRouter& FailSends();

  // The port the exchange runs on. It keeps a reference to this router.
  DatagramPort Port();

  std::uint64_t now() const { return now_; }
  // When each request went out, and what it was.
  const std::vector<std::uint64_t>& requestTimes() const { return requestTimes_; }
  const std::vector<std::string>& requests() const { return requests_; }
  // The length of every wait the probe asked for, in order.
  const std::vector<std::uint32_t>& waits() const { return waits_; }

 private:
  struct Scheduled {
    std::size_t request;
    Bytes bytes;
    std::uint64_t afterMs;
    std::uint32_t from;
  };
  struct Arrival {
    std::uint64_t atMs;
    Bytes bytes;
    std::uint32_t from;
  };

  void AdvanceTo(std::uint64_t ms);
  const Arrival* Earliest() const;

  std::uint64_t now_ = 1000;  // an arbitrary start: nothing may depend on the clock's origin
  std::vector<Scheduled> answers_;
  std::vector<Arrival> queue_;
  Bytes floodBytes_;
  std::uint64_t floodNextMs_ = 0;
  std::uint64_t floodEveryMs_ = 0;
  CancelFlag* cancel_ = nullptr;
  std::uint64_t cancelAtMs_ = 0;
  bool waitsFail_ = false;
  std::uint64_t waitsFailFromMs_ = 0;
  bool sendsFail_ = false;
  std::vector<std::uint64_t> requestTimes_;
  std::vector<std::string> requests_;
  std::vector<std::uint32_t> waits_;
};

}  // namespace talvo::test
