#pragma once
// The bytes of rtnetlink's answers turned into the portable rows of network_rules.h, with no
// socket and no decision beyond what the bytes mean: local_facts_linux.cpp only sends the
// requests and hands each received datagram here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "check/local/network_rules.h"

namespace talvo {

// One datagram of an answer, and the request it must answer.
struct NetlinkPart {
  const std::uint8_t* data = nullptr;
  std::size_t bytes = 0;
  std::uint32_t sequence = 0;
  std::uint32_t portId = 0;
};

// Where an answer stands after a datagram: more to come, its end, a dump that a concurrent
// change interrupted (its rows may be inconsistent), or a failure (an error answer, a dump
// that broke off with its error in the done message, a message that is not whole, another
// request's answer).
enum class NetlinkStep : std::uint8_t { More, Complete, Interrupted, Failed };

// Each decoder appends the rows of one datagram.
NetlinkStep DecodeLinks(const NetlinkPart& part, std::vector<LinkFacts>& links);
NetlinkStep DecodeAddresses(const NetlinkPart& part, std::vector<LinkAddress>& addresses);
// The unicast default routes of `family` (IPv4 or IPv6), one row per next hop.
NetlinkStep DecodeDefaultRoutes(const NetlinkPart& part, AddressFamily family,
                                std::vector<TableRoute>& routes);
NetlinkStep DecodeRules(const NetlinkPart& part, std::vector<RoutingRule>& rules);

// The kernel's answer to one route lookup.
struct LookupAnswer {
  std::uint8_t destinationLength = 0;
  bool hasSource = false;
  std::uint8_t source[16] = {};
  std::uint32_t interfaceIndex = 0;
  std::uint32_t gatewayIpv4 = 0;
};
NetlinkStep DecodeLookup(const NetlinkPart& part, AddressFamily family, LookupAnswer& answer);

// The system's answer from two lookups of one destination: the table entry that matched (its
// real prefix length) and the per-destination result (source, interface, gateway). Absent:
// that lookup failed.
BestRouteAnswer BestRouteOf(AddressFamily family, const std::optional<LookupAnswer>& matched,
                            const std::optional<LookupAnswer>& resolved);

// A dump that a concurrent change interrupts this often is a table changing faster than it
// can be read: unreadable rather than chased.
constexpr int kNetlinkDumpAttempts = 3;

// Reads a dump through `attempt` (which fills the rows it is given and reports how the
// exchange ended), from empty rows again each time it was interrupted.
template <typename Row, typename Attempt>
std::optional<std::vector<Row>> DumpRows(Attempt attempt) {
  for (int i = 0; i < kNetlinkDumpAttempts; ++i) {
    std::vector<Row> rows;
    const NetlinkStep step = attempt(rows);
    if (step == NetlinkStep::Complete) return rows;
    if (step != NetlinkStep::Interrupted) break;
  }
  return std::nullopt;
}

}  // namespace talvo
