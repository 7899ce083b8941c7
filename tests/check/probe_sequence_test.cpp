#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "check/probe_sequence.h"

namespace talvo {
namespace {

const std::uint32_t kLocalPrivate = Ipv4FromParts(192, 168, 1, 20);
const std::uint32_t kGateway = Ipv4FromParts(192, 168, 1, 1);
const std::uint32_t kObserved = Ipv4FromParts(81, 2, 3, 4);
const std::uint32_t kOtherPublic = Ipv4FromParts(81, 2, 3, 99);
const std::uint32_t kLocalPublic = Ipv4FromParts(81, 2, 3, 4);
const std::u16string kLocation = u"http://192.168.1.1:5000/rootDesc.xml";

// A scripted world: what each probe answers, and a log of which probes ran with what.
struct FakeWorld {
  bool countOk = true;
  std::uint32_t ipv4 = 1;
  std::uint32_t ipv6 = 0;
  bool noActiveAdapter = false;
  bool ipv6Route = false;
  bool routeFound = true;
  DefaultRoute route{kLocalPrivate, kGateway, 7};
  bool indirect = false;
  bool bindable = true;
  bool lookupOk = true;
  std::uint32_t observed = kObserved;
  SsdpOutcome ssdp = SsdpOutcome::Found;
  bool describeOk = true;
  bool queryOk = true;
  std::uint32_t upnpAddress = kObserved;
  NatPmpResult natpmp{NatPmpStatus::AddressReceived, kObserved};
  PcpStatus pcp = PcpStatus::Supported;

  // Set the cancel flag when the named probe runs (after it has answered).
  std::string cancelAfter;
  CancelFlag* cancel = nullptr;
  std::string throwIn;

  std::vector<std::string> calls;
  Ipv4Endpoint ssdpDestination;
  Ipv4Endpoint natpmpEndpoint;
  Ipv4Endpoint pcpEndpoint;
  std::uint32_t boundAddress = 0;
  std::uint32_t indirectIndex = 0;
  std::uint32_t ssdpLocal = 0, ssdpGateway = 0, natpmpLocal = 0, pcpLocal = 0;
  const CancelFlag* ssdpCancel = nullptr;
  const CancelFlag* natpmpCancel = nullptr;
  const CancelFlag* pcpCancel = nullptr;
  std::u16string describedUrl;
  std::u16string queriedControlUrl;

  void Ran(const std::string& name) {
    calls.push_back(name);
    if (name == throwIn) throw std::runtime_error("probe failed unexpectedly");
    if (name == cancelAfter && cancel != nullptr) cancel->store(true);
  }

  ProbeOperations Bind() {
    ProbeOperations p;
    p.countPreferredAddresses = [this](std::uint32_t& v4, std::uint32_t& v6) {
      v4 = ipv4;
      v6 = ipv6;
      Ran("count");
      return countOk;
    };
    p.hasNoActiveAdapter = [this] { Ran("noActive"); return noActiveAdapter; };
    p.probePublicIpv6Route = [this] { Ran("ipv6"); return ipv6Route; };
    p.findDefaultRoute = [this](DefaultRoute& r) {
      if (routeFound) r = route;
      Ran("route");
      return routeFound;
    };
    p.assessIndirectPath = [this](std::uint32_t index) {
      indirectIndex = index;
      Ran("indirect");
      return indirect;
    };
    p.canBindLocalAddress = [this](std::uint32_t address) {
      boundAddress = address;
      Ran("bind");
      return bindable;
    };
    p.lookupPublicAddress = [this](const CancelFlag&, std::uint32_t& address) {
      if (lookupOk) address = observed;
      Ran("lookup");
      return lookupOk;
    };
    p.discoverGateway = [this](std::uint32_t local, const Ipv4Endpoint& destination,
                               std::uint32_t gateway, const CancelFlag& flag,
                               std::u16string* url) {
      ssdpLocal = local;
      ssdpDestination = destination;
      ssdpGateway = gateway;
      ssdpCancel = &flag;
      if (ssdp == SsdpOutcome::Found && url != nullptr) *url = kLocation;
      Ran("ssdp");
      return ssdp;
    };
    p.describeGateway = [this](std::u16string_view url, std::uint32_t,
                               WanConnectionService& service) {
      describedUrl = std::u16string(url);
      if (describeOk) {
        service.serviceType = u"urn:schemas-upnp-org:service:WANIPConnection:1";
        service.controlUrl = u"http://192.168.1.1:5000/ctl/IPConn";
      }
      Ran("describe");
      return describeOk;
    };
    p.queryExternalAddress = [this](const WanConnectionService& service, std::uint32_t,
                                    std::uint32_t& address) {
      queriedControlUrl = service.controlUrl;
      address = queryOk ? upnpAddress : 0;
      Ran("query");
      return queryOk;
    };
    p.probeNatPmp = [this](std::uint32_t local, const Ipv4Endpoint& endpoint,
                           const CancelFlag& flag) {
      natpmpLocal = local;
      natpmpEndpoint = endpoint;
      natpmpCancel = &flag;
      Ran("natpmp");
      return natpmp;
    };
    p.probePcpAnnounce = [this](std::uint32_t local, const Ipv4Endpoint& endpoint,
                                const CancelFlag& flag) {
      pcpLocal = local;
      pcpEndpoint = endpoint;
      pcpCancel = &flag;
      Ran("pcp");
      return pcp;
    };
    return p;
  }

  CheckResult Run(CancelFlag& flag) {
    cancel = &flag;
    return RunProbeSequence(Bind(), flag);
  }
  CheckResult Run() {
    CancelFlag flag{false};
    return Run(flag);
  }
};

using Calls = std::vector<std::string>;

bool AllFalse(const CheckResult& r) {
  return !r.noActiveRoute && !r.hasDefaultRoute && !r.publicAddressObserved &&
         !r.directPublicIpv4 && !r.localPublicIpv4Unconfirmed && !r.routerAddressMatches &&
         !r.routerAddressMismatch && !r.upnpAddressReceived && !r.natpmpAddressMatches &&
         !r.pcpSupported && !r.gatewayDiscovered && !r.upnpAddressIsCgnat && !r.checkError &&
         !r.publicIpv6Route && !r.indirectPath;
}

TEST(CheckResult, StartsWithEveryFindingFalse) { EXPECT_TRUE(AllFalse(CheckResult{})); }

TEST(ProbeSequence, UnreadableAdapterListIsACheckErrorAlone) {
  FakeWorld w;
  w.countOk = false;
  CheckResult r = w.Run();
  EXPECT_TRUE(r.checkError);
  r.checkError = false;
  EXPECT_TRUE(AllFalse(r));
  EXPECT_EQ(w.calls, Calls{"count"});
}

TEST(ProbeSequence, NoAddressesAskOnlyWhetherAnyAdapterIsUp) {
  FakeWorld w;
  w.ipv4 = 0;
  w.ipv6 = 0;
  w.noActiveAdapter = true;
  CheckResult r = w.Run();
  EXPECT_TRUE(r.noActiveRoute);
  r.noActiveRoute = false;
  EXPECT_TRUE(AllFalse(r));
  EXPECT_EQ(w.calls, (Calls{"count", "noActive"}));

  // An adapter that is up but holds only tentative addresses: nothing is found at all.
  FakeWorld tentative;
  tentative.ipv4 = 0;
  tentative.ipv6 = 0;
  tentative.noActiveAdapter = false;
  EXPECT_TRUE(AllFalse(tentative.Run()));
  EXPECT_EQ(tentative.calls, (Calls{"count", "noActive"}));
}

TEST(ProbeSequence, Ipv6OnlyWithoutRouteStopsAfterTheRouteLookup) {
  FakeWorld w;
  w.ipv4 = 0;
  w.ipv6 = 2;
  w.ipv6Route = true;
  w.routeFound = false;
  CheckResult r = w.Run();
  EXPECT_TRUE(r.publicIpv6Route);
  EXPECT_FALSE(r.hasDefaultRoute);
  r.publicIpv6Route = false;
  EXPECT_TRUE(AllFalse(r));
  EXPECT_EQ(w.calls, (Calls{"count", "ipv6", "route"}));
}

TEST(ProbeSequence, CancelBeforeIpv6SkipsItButStillLooksUpTheRoute) {
  FakeWorld w;
  w.ipv6 = 1;
  CancelFlag flag{true};
  const CheckResult r = w.Run(flag);
  EXPECT_EQ(w.calls, (Calls{"count", "route"}));
  EXPECT_TRUE(r.hasDefaultRoute);
  EXPECT_FALSE(r.indirectPath);
  EXPECT_FALSE(r.publicAddressObserved);
}

TEST(ProbeSequence, CancelDuringIpv6StopsAfterTheRouteLookup) {
  FakeWorld w;
  w.ipv6 = 1;
  w.cancelAfter = "ipv6";
  w.Run();
  EXPECT_EQ(w.calls, (Calls{"count", "ipv6", "route"}));
}

TEST(ProbeSequence, FullPathRunsEveryProbeInOrderWithTheRouteAsSpine) {
  FakeWorld w;
  w.ipv6 = 1;
  w.ipv6Route = true;
  const CheckResult r = w.Run();
  EXPECT_EQ(w.calls, (Calls{"count", "ipv6", "route", "indirect", "lookup", "ssdp",
                            "describe", "query", "natpmp", "pcp"}));
  // A private local address is never bind-tested.
  EXPECT_EQ(w.boundAddress, 0u);
  EXPECT_EQ(w.indirectIndex, 7u);

  EXPECT_EQ(w.ssdpLocal, kLocalPrivate);
  EXPECT_EQ(w.ssdpGateway, kGateway);
  EXPECT_EQ(w.ssdpDestination, (Ipv4Endpoint{Ipv4FromParts(239, 255, 255, 250), 1900}));
  EXPECT_EQ(w.ssdpCancel, w.cancel);  // the check's own flag
  EXPECT_EQ(w.describedUrl, kLocation);
  EXPECT_EQ(w.queriedControlUrl, u"http://192.168.1.1:5000/ctl/IPConn");

  for (const Ipv4Endpoint* endpoint : {&w.natpmpEndpoint, &w.pcpEndpoint}) {
    EXPECT_EQ(*endpoint, (Ipv4Endpoint{kGateway, 5351}));
  }
  EXPECT_EQ(w.natpmpLocal, kLocalPrivate);
  EXPECT_EQ(w.pcpLocal, kLocalPrivate);
  EXPECT_EQ(w.natpmpCancel, w.cancel);
  EXPECT_EQ(w.pcpCancel, w.cancel);

  EXPECT_TRUE(r.hasDefaultRoute);
  EXPECT_TRUE(r.publicAddressObserved);
  EXPECT_TRUE(r.gatewayDiscovered);
  EXPECT_TRUE(r.upnpAddressReceived);
  EXPECT_TRUE(r.natpmpAddressMatches);
  EXPECT_TRUE(r.routerAddressMatches);
  EXPECT_FALSE(r.routerAddressMismatch);
  EXPECT_TRUE(r.pcpSupported);
  EXPECT_TRUE(r.publicIpv6Route);
  EXPECT_FALSE(r.upnpAddressIsCgnat);
  EXPECT_FALSE(r.directPublicIpv4);
  EXPECT_FALSE(r.checkError);
}

TEST(ProbeSequence, IndirectPathIsRecorded) {
  FakeWorld w;
  w.indirect = true;
  EXPECT_TRUE(w.Run().indirectPath);
}

TEST(ProbeSequence, FailedLookupWithPublicBindableAddressIsUnconfirmedAndSkipsTheRouter) {
  FakeWorld w;
  w.route.localAddress = kLocalPublic;
  w.lookupOk = false;
  const CheckResult r = w.Run();
  EXPECT_TRUE(r.localPublicIpv4Unconfirmed);
  EXPECT_FALSE(r.publicAddressObserved);
  EXPECT_EQ(w.boundAddress, kLocalPublic);
  EXPECT_EQ(w.calls, (Calls{"count", "route", "indirect", "bind", "lookup"}));

  FakeWorld unbindable;
  unbindable.route.localAddress = kLocalPublic;
  unbindable.lookupOk = false;
  unbindable.bindable = false;
  EXPECT_FALSE(unbindable.Run().localPublicIpv4Unconfirmed);

  FakeWorld privateLocal;
  privateLocal.lookupOk = false;
  EXPECT_FALSE(privateLocal.Run().localPublicIpv4Unconfirmed);
  EXPECT_EQ(privateLocal.calls, (Calls{"count", "route", "indirect", "lookup"}));
}

TEST(ProbeSequence, ObservedEqualToPublicBindableLocalIsDirectAndSkipsTheRouter) {
  FakeWorld w;
  w.route.localAddress = kLocalPublic;
  const CheckResult r = w.Run();
  EXPECT_TRUE(r.directPublicIpv4);
  EXPECT_TRUE(r.publicAddressObserved);
  EXPECT_EQ(w.calls, (Calls{"count", "route", "indirect", "bind", "lookup"}));
}

TEST(ProbeSequence, UnbindableLocalEqualToObservedAsksTheRouter) {
  FakeWorld w;
  w.route.localAddress = kLocalPublic;
  w.bindable = false;
  const CheckResult r = w.Run();
  EXPECT_FALSE(r.directPublicIpv4);
  EXPECT_EQ(w.calls.back(), "pcp");
}

TEST(ProbeSequence, PublicLocalDifferentFromObservedAsksTheRouter) {
  FakeWorld w;
  w.route.localAddress = kOtherPublic;
  const CheckResult r = w.Run();
  EXPECT_FALSE(r.directPublicIpv4);
  EXPECT_FALSE(r.localPublicIpv4Unconfirmed);
  EXPECT_EQ(w.calls.back(), "pcp");
}

TEST(ProbeSequence, CancelAfterLookupSkipsTheRouter) {
  FakeWorld w;
  w.cancelAfter = "lookup";
  const CheckResult r = w.Run();
  EXPECT_TRUE(r.publicAddressObserved);
  EXPECT_EQ(w.calls.back(), "lookup");
}

TEST(ProbeSequence, RouteWithoutNextHopSkipsTheRouter) {
  FakeWorld w;
  w.route.gatewayAddress = 0;
  const CheckResult r = w.Run();
  EXPECT_TRUE(r.publicAddressObserved);
  EXPECT_EQ(w.calls.back(), "lookup");
}

TEST(ProbeSequence, SsdpOutcomesOtherThanFoundSkipUpnpButNotNatPmpAndPcp) {
  for (SsdpOutcome outcome : {SsdpOutcome::NoAnswer, SsdpOutcome::Failed, SsdpOutcome::Cancelled}) {
    FakeWorld w;
    w.ssdp = outcome;
    const CheckResult r = w.Run();
    EXPECT_FALSE(r.gatewayDiscovered);
    EXPECT_EQ(w.calls, (Calls{"count", "route", "indirect", "lookup", "ssdp", "natpmp", "pcp"}));
    EXPECT_TRUE(r.natpmpAddressMatches);
    EXPECT_TRUE(r.routerAddressMatches);
  }
}

TEST(ProbeSequence, CancelDuringSsdpSkipsEverythingAfter) {
  FakeWorld w;
  w.cancelAfter = "ssdp";
  const CheckResult r = w.Run();
  EXPECT_TRUE(r.gatewayDiscovered);
  EXPECT_EQ(w.calls.back(), "ssdp");
  EXPECT_FALSE(r.routerAddressMatches);
  EXPECT_FALSE(r.routerAddressMismatch);
}

TEST(ProbeSequence, FailedDescriptionSkipsTheQuery) {
  FakeWorld w;
  w.describeOk = false;
  const CheckResult r = w.Run();
  EXPECT_TRUE(r.gatewayDiscovered);
  EXPECT_FALSE(r.upnpAddressReceived);
  EXPECT_EQ(w.calls, (Calls{"count", "route", "indirect", "lookup", "ssdp", "describe", "natpmp",
                            "pcp"}));
}

TEST(ProbeSequence, CancelAfterDescriptionSkipsQueryNatPmpAndPcp) {
  FakeWorld w;
  w.cancelAfter = "describe";
  const CheckResult r = w.Run();
  EXPECT_EQ(w.calls.back(), "describe");
  EXPECT_FALSE(r.upnpAddressReceived);
}

TEST(ProbeSequence, CancelDuringNatPmpSkipsPcp) {
  FakeWorld w;
  w.cancelAfter = "natpmp";
  const CheckResult r = w.Run();
  EXPECT_EQ(w.calls.back(), "natpmp");
  EXPECT_FALSE(r.pcpSupported);
  EXPECT_TRUE(r.routerAddressMatches);  // what NAT-PMP reported still counts
}

TEST(ProbeSequence, UpnpMatchNatPmpMismatchIsAMismatch) {
  FakeWorld w;
  w.natpmp = {NatPmpStatus::AddressReceived, kOtherPublic};
  const CheckResult r = w.Run();
  EXPECT_TRUE(r.upnpAddressReceived);
  EXPECT_FALSE(r.natpmpAddressMatches);
  EXPECT_FALSE(r.routerAddressMatches);
  EXPECT_TRUE(r.routerAddressMismatch);
}

TEST(ProbeSequence, UpnpMismatchCancelsANatPmpMatch) {
  FakeWorld w;
  w.upnpAddress = Ipv4FromParts(10, 0, 0, 2);
  const CheckResult r = w.Run();
  EXPECT_TRUE(r.upnpAddressReceived);
  EXPECT_TRUE(r.natpmpAddressMatches);
  EXPECT_FALSE(r.routerAddressMatches);
  EXPECT_TRUE(r.routerAddressMismatch);
  EXPECT_FALSE(r.upnpAddressIsCgnat);
}

TEST(ProbeSequence, CarrierGradeNatIsJudgedOnTheUpnpAddressOnly) {
  struct Case {
    std::uint32_t address;
    bool cgnat;
  };
  const Case cases[] = {{Ipv4FromParts(100, 72, 1, 2), true},
                        {Ipv4FromParts(100, 64, 0, 0), true},
                        {Ipv4FromParts(100, 127, 255, 255), true},
                        {Ipv4FromParts(100, 63, 255, 255), false},
                        {Ipv4FromParts(100, 128, 0, 0), false}};
  for (const Case& c : cases) {
    FakeWorld w;
    w.upnpAddress = c.address;
    w.natpmp = {NatPmpStatus::NoResponse, 0};
    const CheckResult r = w.Run();
    EXPECT_EQ(r.upnpAddressIsCgnat, c.cgnat);
    EXPECT_TRUE(r.routerAddressMismatch);
  }
  FakeWorld natpmpOnly;
  natpmpOnly.queryOk = false;
  natpmpOnly.natpmp = {NatPmpStatus::AddressReceived, Ipv4FromParts(100, 72, 1, 2)};
  const CheckResult r = natpmpOnly.Run();
  EXPECT_FALSE(r.upnpAddressIsCgnat);
  EXPECT_TRUE(r.routerAddressMismatch);
}

TEST(ProbeSequence, NatPmpStatusesOtherThanAddressReceivedChangeNothing) {
  for (NatPmpStatus status : {NatPmpStatus::RouterRefused, NatPmpStatus::NoResponse,
                              NatPmpStatus::Failed, NatPmpStatus::Cancelled}) {
    FakeWorld w;
    w.queryOk = false;
    w.natpmp = {status, kOtherPublic};
    const CheckResult r = w.Run();
    EXPECT_FALSE(r.natpmpAddressMatches);
    EXPECT_FALSE(r.routerAddressMatches);
    EXPECT_FALSE(r.routerAddressMismatch);
    EXPECT_EQ(w.calls.back(), "pcp");
  }
}

TEST(ProbeSequence, OnlyPcpSuccessCountsAsSupported) {
  for (PcpStatus status : {PcpStatus::Supported, PcpStatus::NoResponse, PcpStatus::Denied,
                           PcpStatus::Unsupported, PcpStatus::Unknown, PcpStatus::Cancelled}) {
    FakeWorld w;
    w.pcp = status;
    EXPECT_EQ(w.Run().pcpSupported, status == PcpStatus::Supported);
  }
}

TEST(ProbeSequence, ARouteThatCannotBeConfirmedEndsTheCheckQuietly) {
  FakeWorld w;
  w.routeFound = false;
  EXPECT_TRUE(AllFalse(w.Run()));
  EXPECT_EQ(w.calls, (Calls{"count", "route"}));
}

TEST(CheckWorker, CopiesTheRecordAndSetsDoneLast) {
  FakeWorld w;
  CheckResult result;
  result.checkError = true;  // a stale value the copy must replace
  CancelFlag cancel{false};
  DoneFlag done{false};
  w.cancel = &cancel;
  RunCheckWorker(WorkerContext{result, cancel, done}, w.Bind());
  EXPECT_TRUE(done.load());
  EXPECT_FALSE(result.checkError);
  EXPECT_TRUE(result.routerAddressMatches);
  EXPECT_TRUE(result.pcpSupported);
}

TEST(CheckWorker, AnEscapingExceptionBecomesCheckErrorAlone) {
  for (const char* where : {"count", "lookup", "query", "pcp"}) {
    FakeWorld w;
    w.throwIn = where;
    CheckResult result;
    CancelFlag cancel{false};
    DoneFlag done{false};
    w.cancel = &cancel;
    RunCheckWorker(WorkerContext{result, cancel, done}, w.Bind());
    EXPECT_TRUE(done.load()) << where;
    EXPECT_TRUE(result.checkError) << where;
    result.checkError = false;
    EXPECT_TRUE(AllFalse(result)) << where << ": findings of the interrupted run leaked";
  }
}

}  // namespace
}  // namespace talvo
