#pragma once
#include <atomic>

#include "os/cancel_flag.h"

namespace talvo {

// Set by the check's worker as its very last act, with an atomic exchange; read by the main
// loop with atomic loads.
using DoneFlag = std::atomic<bool>;

// The findings of one check. Every field starts false; a field means what its name says only
// when true.
struct CheckResult {
  bool noActiveRoute = false;
  bool hasDefaultRoute = false;
  bool publicAddressObserved = false;
  bool directPublicIpv4 = false;
  bool localPublicIpv4Unconfirmed = false;
  bool routerAddressMatches = false;
  bool routerAddressMismatch = false;
  bool upnpAddressReceived = false;
  bool natpmpAddressMatches = false;
  bool pcpSupported = false;
  bool gatewayDiscovered = false;
  bool upnpAddressIsCgnat = false;
  bool checkError = false;
  bool publicIpv6Route = false;
  bool indirectPath = false;
};

}  // namespace talvo
