#include "app/production_probes.h"

#include "check/local/local_probes.h"
#include "net/http/public_address.h"
#include "net/natpmp_pcp/natpmp.h"
#include "net/natpmp_pcp/pcp.h"
#include "net/upnp/description.h"
#include "net/upnp/external_address.h"
#include "net/upnp/ssdp.h"

namespace talvo {

ProbeOperations BindProductionProbes() {
  ProbeOperations probes;
  probes.countPreferredAddresses = CountPreferredAddresses;
  probes.hasNoActiveAdapter = HasNoActiveAdapter;
  probes.probePublicIpv6Route = ProbePublicIpv6Route;
  probes.findDefaultRoute = FindDefaultRoute;
  probes.assessIndirectPath = AssessIndirectPath;
  probes.canBindLocalAddress = CanBindLocalAddress;
  probes.lookupPublicAddress = LookupPublicAddress;
  probes.discoverGateway = DiscoverGateway;
  probes.describeGateway = DescribeGateway;
  probes.queryExternalAddress = QueryExternalAddress;
  probes.probeNatPmp = ProbeNatPmp;
  probes.probePcpAnnounce = ProbePcpAnnounce;
  return probes;
}

}  // namespace talvo
