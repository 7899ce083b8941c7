// The stand-in's model against the documented cases. Runs under Wine with the stand-in loaded
// in place of Wine's iphlpapi.dll (WINEDLLOVERRIDES=iphlpapi=n, the DLL in this folder).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "route_model.h"

namespace {

using standin::RouteCandidate;

TEST(IphlpapiStandIn, ChoosesTheRouteWindowsDocuments) {
  struct Case {
    const char* name;
    std::vector<RouteCandidate> rows;
    std::uint64_t onlyLuid;
    long chosen;
  };
  const Case cases[] = {
      {"the longest prefix beats a lower metric", {{0, 0, 5, true, 1}, {24, 50, 50, true, 2}}, 0, 1},
      {"equal prefixes: the lower route plus interface metric",
       {{0, 0, 50, true, 1}, {0, 10, 5, true, 2}}, 0, 1},
      {"a disconnected interface carries nothing", {{24, 0, 5, false, 1}, {0, 0, 5, true, 2}}, 0, 1},
      {"a named interface limits the choice", {{24, 0, 5, true, 1}, {0, 500, 5, true, 2}}, 2, 1},
      {"no route on the named interface", {{0, 0, 5, true, 1}}, 2, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(standin::ChooseBestRoute(c.rows.data(), c.rows.size(), c.onlyLuid), c.chosen)
        << c.name;
  }
}

TEST(IphlpapiStandIn, AnswersTheDocumentedCodes) {
  const NET_IFINDEX loopback = 1;  // Wine numbers interfaces as Linux does
  SOCKADDR_INET v4{};
  v4.Ipv4.sin_family = AF_INET;
  SOCKADDR_INET unspecified{};
  MIB_IPFORWARD_ROW2 route{};
  SOCKADDR_INET source{};
  NET_LUID unknownLuid{};
  unknownLuid.Value = 0x7FFF000000000001ull;
  MIB_IPINTERFACE_ROW row{};
  MIB_IPFORWARD_TABLE2* table = nullptr;
  auto entry = [&row](ADDRESS_FAMILY family, NET_IFINDEX index) {
    InitializeIpInterfaceEntry(&row);
    row.Family = family;
    row.InterfaceIndex = index;
    return GetIpInterfaceEntry(&row);
  };
  struct Case {
    const char* name;
    std::function<DWORD()> call;
    DWORD code;
  };
  const Case cases[] = {
      {"interface entry: null row", [] { return GetIpInterfaceEntry(nullptr); },
       ERROR_INVALID_PARAMETER},
      {"interface entry: family unspecified", [&] { return entry(AF_UNSPEC, loopback); },
       ERROR_INVALID_PARAMETER},
      {"interface entry: no LUID and no index", [&] { return entry(AF_INET, 0); },
       ERROR_INVALID_PARAMETER},
      {"interface entry: no such interface", [&] { return entry(AF_INET, 0x7FFFFFF0); },
       ERROR_NOT_FOUND},
      {"interface entry: loopback", [&] { return entry(AF_INET6, loopback); }, NO_ERROR},
      {"best route: null destination",
       [&] { return GetBestRoute2(nullptr, 0, nullptr, nullptr, 0, &route, &source); },
       ERROR_INVALID_PARAMETER},
      {"best route: destination of no family",
       [&] { return GetBestRoute2(nullptr, 0, nullptr, &unspecified, 0, &route, &source); },
       ERROR_INVALID_PARAMETER},
      {"best route: null source out",
       [&] { return GetBestRoute2(nullptr, 0, nullptr, &v4, 0, &route, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"best route: unknown index",
       [&] { return GetBestRoute2(nullptr, 0x7FFFFFF0, nullptr, &v4, 0, &route, &source); },
       ERROR_NOT_FOUND},
      {"best route: unknown LUID, known index",
       [&] { return GetBestRoute2(&unknownLuid, loopback, nullptr, &v4, 0, &route, &source); },
       ERROR_NOT_FOUND},
      {"forward table: family of no kind",
       [&] { return GetIpForwardTable2(AF_APPLETALK, &table); }, ERROR_INVALID_PARAMETER},
      {"forward table: null out", [] { return GetIpForwardTable2(AF_INET6, nullptr); },
       ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(), c.code) << c.name;

  // The documented defaults, over a row that held something else.
  std::memset(&row, 0xAB, sizeof row);
  InitializeIpInterfaceEntry(&row);
  MIB_IPINTERFACE_ROW zero;
  std::memset(&zero, 0, sizeof zero);
  zero.Family = AF_UNSPEC;
  EXPECT_EQ(std::memcmp(&row, &zero, sizeof row), 0);
  // Filled from Wine's interface: loopback is connected, with Windows' loopback metric.
  ASSERT_EQ(entry(AF_INET, loopback), static_cast<DWORD>(NO_ERROR));
  EXPECT_TRUE(row.Connected);
  EXPECT_EQ(row.Metric, 75u);
  EXPECT_EQ(row.InterfaceIndex, loopback);
  EXPECT_NE(row.InterfaceLuid.Value, 0u);
}

}  // namespace
