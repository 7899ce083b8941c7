#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "check/check_result.h"
#include "check/local/local_probes.h"
#include "net/natpmp_pcp/natpmp.h"
#include "net/natpmp_pcp/pcp.h"
#include "net/upnp/description.h"
#include "net/upnp/ssdp.h"
#include "os/cancel_flag.h"
#include "os/endpoint.h"

namespace talvo {

// Every probe the sequence reaches, in the order it uses them. Production binds the real
// operations (BindProductionProbes); tests bind fakes.
struct ProbeOperations {
  std::function<bool(std::uint32_t& ipv4Count, std::uint32_t& ipv6Count)> countPreferredAddresses;
  std::function<bool()> hasNoActiveAdapter;
  std::function<bool()> probePublicIpv6Route;
  std::function<bool(DefaultRoute& route)> findDefaultRoute;
  std::function<bool(std::uint32_t interfaceIndex)> assessIndirectPath;
  std::function<bool(std::uint32_t address)> canBindLocalAddress;
  std::function<bool(const CancelFlag& cancel, std::uint32_t& observed)> lookupPublicAddress;
  std::function<SsdpOutcome(std::uint32_t localAddress, const Ipv4Endpoint& destination,
                            std::uint32_t gatewayAddress, const CancelFlag& cancel,
                            std::u16string* locationUrl)>
      discoverGateway;
  std::function<bool(std::u16string_view locationUrl, std::uint32_t gatewayAddress,
                     WanConnectionService& service)>
      describeGateway;
  std::function<bool(const WanConnectionService& service, std::uint32_t gatewayAddress,
                     std::uint32_t& address)>
      queryExternalAddress;
  std::function<NatPmpResult(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint,
                             const CancelFlag& cancel)>
      probeNatPmp;
  std::function<PcpStatus(std::uint32_t localAddress, const Ipv4Endpoint& routerEndpoint,
                          const CancelFlag& cancel)>
      probePcpAnnounce;
};

// One pass through the probes; findings only, never a throw for a probe's failure.
CheckResult RunProbeSequence(const ProbeOperations& probes, const CancelFlag& cancel);

// What the check's worker thread receives from the main loop.
struct WorkerContext {
  CheckResult& result;
  CancelFlag& cancel;
  DoneFlag& done;
};

// The worker thread's body: the sequence into a local record, copied whole; any exception
// becomes checkError alone; `done` is set last.
void RunCheckWorker(const WorkerContext& context, const ProbeOperations& probes);

}  // namespace talvo
