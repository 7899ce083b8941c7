// The IP Helper layer against this machine's own state. Under Wine some calls are missing;
// those tests skip and name the call.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <gtest/gtest.h>

#include "support/wine.h"

#include <vector>

#include "check/local/local_facts.h"
#include "check/local/local_probes.h"
#include "os/clock.h"
#include "os/endpoint.h"

namespace talvo {
namespace {

bool IpInterfaceCallsExported() {
  const HMODULE module = GetModuleHandleW(L"iphlpapi.dll");
  return module != nullptr && GetProcAddress(module, "InitializeIpInterfaceEntry") != nullptr &&
         GetProcAddress(module, "GetIpInterfaceEntry") != nullptr;
}

bool BestRoute2Supported() {
  SOCKADDR_INET target{};
  target.Ipv4.sin_family = AF_INET;
  target.Ipv4.sin_addr.s_addr = Ipv4FromParts(127, 0, 0, 1);
  MIB_IPFORWARD_ROW2 route{};
  SOCKADDR_INET source{};
  return GetBestRoute2(nullptr, 0, nullptr, &target, 0, &route, &source) != ERROR_NOT_SUPPORTED;
}

TEST(WindowsLocalFacts, AdapterListReadsWithAndWithoutAddresses) {
  std::vector<AdapterFacts> withAddresses;
  std::vector<AdapterFacts> withoutAddresses;
  const EnumerationStatus full = ReadAdapters(true, withAddresses);
  const EnumerationStatus bare = ReadAdapters(false, withoutAddresses);
  ASSERT_NE(full, EnumerationStatus::Failed);
  ASSERT_EQ(full, bare);
  ASSERT_EQ(withAddresses.size(), withoutAddresses.size());
  for (std::size_t i = 0; i < withAddresses.size(); ++i) {
    EXPECT_EQ(withAddresses[i].loopback, withoutAddresses[i].loopback) << i;
    EXPECT_EQ(withAddresses[i].up, withoutAddresses[i].up) << i;
    EXPECT_TRUE(withoutAddresses[i].addresses.empty()) << "GAA_FLAG_SKIP_UNICAST was ignored";
  }
  std::uint32_t ipv4 = 99;
  std::uint32_t ipv6 = 99;
  ASSERT_TRUE(CountPreferredAddresses(ipv4, ipv6));
  const AddressCounts counts = CountAdapterAddresses(withAddresses);
  EXPECT_EQ(ipv4, counts.ipv4);
  EXPECT_EQ(ipv6, counts.ipv6);
  EXPECT_EQ(HasNoActiveAdapter(), !AnyActiveAdapter(withoutAddresses));
}

TEST(WindowsLocalFacts, LoopbackAdapterIsRecognisedAndItsInterfaceRowReads) {
  std::vector<std::uint8_t> buffer(64 * 1024);
  ULONG length = static_cast<ULONG>(buffer.size());
  auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  ASSERT_EQ(GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_UNICAST, nullptr, first, &length),
            static_cast<ULONG>(NO_ERROR));
  const IP_ADAPTER_ADDRESSES* loopback = nullptr;
  for (auto* adapter = first; adapter != nullptr; adapter = adapter->Next) {
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) loopback = adapter;
  }
  if (loopback == nullptr) GTEST_SKIP() << "no software loopback adapter listed";
  const InterfaceFacts facts = ReadInterface(loopback->IfIndex);
  EXPECT_TRUE(facts.readable);
  EXPECT_FALSE(facts.isTunnel);
  EXPECT_EQ(facts.up, loopback->OperStatus == IfOperStatusUp);
}

TEST(WindowsLocalFacts, AnUnreadableInterfaceMakesThePathIndirect) {
  // No interface has this index: GetIfEntry2 fails, which counts against directness.
  EXPECT_FALSE(ReadInterface(0x7FFFFFF0u).readable);
  EXPECT_TRUE(AssessIndirectPath(0x7FFFFFF0u));
}

TEST(WindowsLocalFacts, ProxyConfigurationReads) {
  EXPECT_TRUE(ReadSystemProxy().readable);
}

TEST(WindowsLocalFacts, RouteTablesReadAndOnlyDefaultRowsAreKept) {
  const auto ipv4 = ReadIpv4DefaultRoutes();
  ASSERT_TRUE(ipv4);
  for (const RouteRow& row : *ipv4) EXPECT_EQ(row.prefixLength, 0u);
  const auto ipv6 = ReadIpv6DefaultRoutes();
  ASSERT_TRUE(ipv6);
  for (const RouteRow& row : *ipv6) EXPECT_EQ(row.prefixLength, 0u);
}

TEST(WindowsLocalFacts, WithoutTheInterfaceCallsEveryRouteIsUnreadable) {
  if (IpInterfaceCallsExported()) {
    GTEST_SKIP() << "InitializeIpInterfaceEntry and GetIpInterfaceEntry exist here";
  }
  const auto rows = ReadIpv4DefaultRoutes();
  ASSERT_TRUE(rows);
  for (const RouteRow& row : *rows) EXPECT_FALSE(row.interfaceReadable);
  DefaultRoute route{1, 2, 3};
  EXPECT_FALSE(FindDefaultRoute(route));
  EXPECT_EQ(route.localAddress, 0u);
  EXPECT_EQ(route.interfaceIndex, 0u);
}

TEST(WindowsLocalFacts, ChosenDefaultRouteIsConfirmedByTheSystem) {
  if (!IpInterfaceCallsExported()) GTEST_SKIP() << "GetIpInterfaceEntry is not exported";
  if (!BestRoute2Supported()) GTEST_SKIP() << "GetBestRoute2 is not supported";
  const auto rows = ReadIpv4DefaultRoutes();
  ASSERT_TRUE(rows);
  DefaultRoute route;
  if (!ChooseDefaultRoute(*rows)) {
    EXPECT_FALSE(FindDefaultRoute(route));
    return;
  }
  if (FindDefaultRoute(route)) {
    EXPECT_NE(route.localAddress, 0u);
    EXPECT_NE(route.interfaceIndex, 0u);
    bool other = false;
    EXPECT_TRUE(HasOtherDefaultRoute(route.interfaceIndex, other));
  }
}

TEST(WindowsLocalFacts, Ipv6ProbeRefusesALoopbackSourceWithoutConnecting) {
  EXPECT_FALSE(ProbePublicIpv6RouteTo("not an address", 443));
  if (!BestRoute2Supported()) GTEST_SKIP() << "GetBestRoute2 is not supported";
  const std::uint64_t start = MonotonicMs();
  EXPECT_FALSE(ProbePublicIpv6RouteTo("::1", 9));
  EXPECT_LT(MonotonicMs() - start, 6000u);
}

TEST(WindowsLocalFacts, BindsOnlyToAnAddressThisMachineHolds) {
  EXPECT_TRUE(CanBindLocalAddress(Ipv4FromParts(127, 0, 0, 1)));
  if (test::UnderWine()) {
    GTEST_SKIP() << "Wine's bind falls back to any address for one the machine does not hold";
  }
  EXPECT_FALSE(CanBindLocalAddress(Ipv4FromParts(203, 0, 113, 77)));
}

}  // namespace
}  // namespace talvo
