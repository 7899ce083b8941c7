#pragma once
// What each platform file gathers for the local inspection: raw facts in the portable records
// of network_rules.h, with no decision taken. local_facts_win32.cpp answers through IP
// Helper and WinHTTP, local_facts_linux.cpp through rtnetlink and the proxy variables.
#include <cstdint>
#include <optional>
#include <vector>

#include "check/local/network_rules.h"

namespace talvo {

// Every adapter with its state; `withAddresses` false leaves the address lists empty (the
// cheaper enumeration that only asks which adapters are up).
EnumerationStatus ReadAdapters(bool withAddresses, std::vector<AdapterFacts>& adapters);

// The IPv4 rows with a destination prefix length of 0, each with its interface query
// (connected flag and interface metric) answered or marked unreadable. Where policy rules
// pick among several tables, the rows of the tables this host's own traffic reaches, in the
// order the rules consult them. Absent: no table.
std::optional<std::vector<RouteRow>> ReadIpv4DefaultRoutes();

// The IPv6 default rows; here `interfaceConnected` means the interface is operationally up.
std::optional<std::vector<RouteRow>> ReadIpv6DefaultRoutes();

// The system's route lookup for one destination (port ignored), optionally pinned to an
// interface (luid and index 0: any interface). No packet is sent.
BestRouteAnswer LookupIpv4Route(std::uint32_t destination, std::uint64_t interfaceLuid,
                                std::uint32_t interfaceIndex);
BestRouteAnswer LookupIpv6Route(const std::uint8_t (&destination)[16]);

InterfaceFacts ReadInterface(std::uint32_t interfaceIndex);

ProxyFacts ReadSystemProxy();

}  // namespace talvo
