#pragma once
#include <atomic>

namespace talvo {

// Shared between the main loop and the check's worker thread: set with an atomic exchange,
// read with atomic loads.
using CancelFlag = std::atomic<bool>;
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

inline bool IsSet(const CancelFlag* flag) { return flag != nullptr && flag->load(); }

}  // namespace talvo
