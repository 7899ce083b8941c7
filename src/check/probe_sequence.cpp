#include "check/probe_sequence.h"

#include "net/address_rules.h"

namespace talvo {

CheckResult RunProbeSequence(const ProbeOperations& probes, const CancelFlag& cancel) {
  CheckResult r;

  std::uint32_t ipv4Count = 0;
  std::uint32_t ipv6Count = 0;
  if (!probes.countPreferredAddresses(ipv4Count, ipv6Count)) {
    r.checkError = true;
    return r;
  }
  if (ipv4Count == 0 && ipv6Count == 0) {
    r.noActiveRoute = probes.hasNoActiveAdapter();
    return r;
  }

  if (ipv6Count > 0 && !cancel.load()) r.publicIpv6Route = probes.probePublicIpv6Route();

  // The route lookup is local and quick, so it runs even after a cancellation.
  DefaultRoute route;
  r.hasDefaultRoute = probes.findDefaultRoute(route);
  if (!r.hasDefaultRoute || cancel.load()) return r;

  r.indirectPath = probes.assessIndirectPath(route.interfaceIndex);
  const bool localIsPublic = IsPublicIpv4(route.localAddress);
  const bool localBindable = localIsPublic && probes.canBindLocalAddress(route.localAddress);

  std::uint32_t observed = 0;
  r.publicAddressObserved = probes.lookupPublicAddress(cancel, observed);
  if (!r.publicAddressObserved) {
    // Without an address the internet has confirmed, no router is contacted.
    r.localPublicIpv4Unconfirmed = localIsPublic && localBindable;
    return r;
  }
  if (cancel.load()) return r;

  if (localIsPublic && localBindable && observed == route.localAddress) {
    r.directPublicIpv4 = true;  // the PC holds its public address itself: no router to ask
    return r;
  }
  if (route.gatewayAddress == 0) return r;

  bool anyMatch = false;
  bool anyMismatch = false;

  std::u16string locationUrl;
  const SsdpOutcome ssdp = probes.discoverGateway(route.localAddress, SsdpMulticastEndpoint(),
                                                  route.gatewayAddress, cancel, &locationUrl);
  r.gatewayDiscovered = ssdp == SsdpOutcome::Found;

  if (r.gatewayDiscovered && !cancel.load()) {
    WanConnectionService service;
    if (probes.describeGateway(locationUrl, route.gatewayAddress, service) && !cancel.load()) {
      std::uint32_t upnpAddress = 0;
      if (probes.queryExternalAddress(service, route.gatewayAddress, upnpAddress)) {
        r.upnpAddressReceived = true;
        (upnpAddress == observed ? anyMatch : anyMismatch) = true;
        r.upnpAddressIsCgnat = IsCarrierGradeNat(upnpAddress);
      }
    }
  }

  if (!cancel.load()) {
    const Ipv4Endpoint routerEndpoint{route.gatewayAddress, kRouterProtocolPort};
    const NatPmpResult natpmp = probes.probeNatPmp(route.localAddress, routerEndpoint, cancel);
    if (natpmp.status == NatPmpStatus::AddressReceived) {
      if (natpmp.externalAddress == observed) {
        anyMatch = true;
        r.natpmpAddressMatches = true;
      } else {
        anyMismatch = true;
      }
    }
    if (!cancel.load()) {
      r.pcpSupported = probes.probePcpAnnounce(route.localAddress, routerEndpoint, cancel) ==
                       PcpStatus::Supported;
    }
  }

  // A single router address that differs from the observed one cancels every match.
  r.routerAddressMatches = anyMatch && !anyMismatch;
  r.routerAddressMismatch = anyMismatch;
  return r;
}

void RunCheckWorker(const WorkerContext& context, const ProbeOperations& probes) {
  try {
    const CheckResult local = RunProbeSequence(probes, context.cancel);
    context.result = local;
  } catch (...) {
    context.result.checkError = true;
  }
  context.done.exchange(true);
}

}  // namespace talvo
