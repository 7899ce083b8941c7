#include "check/local/network_rules.h"

#include <algorithm>

#include "net/address_rules.h"

namespace talvo {

namespace {

bool CountsAsActive(const AdapterFacts& adapter) { return adapter.up && !adapter.loopback; }

bool IsIpv4DefaultRoute(const RouteRow& row) {
  return row.prefixLength == 0 && row.nextHopFamily == AddressFamily::Ipv4;
}

// The kernel's rule match for an unbound socket's traffic to the internet: no mark (so only
// the masked bits of the rule's mark must be 0), source and destination not narrowed, and
// the loopback device as the input interface of locally sent packets.
bool RuleCarriesHostTraffic(const RoutingRule& rule, std::uint32_t uid) {
  const bool matches =
      rule.sourceLength == 0 && rule.destinationLength == 0 &&
      (rule.mark & rule.markMask) == 0 && rule.input != RuleInput::OtherInterface &&
      !rule.otherSelector && (!rule.hasUidRange || (rule.uidFirst <= uid && uid <= rule.uidLast));
  return rule.inverted ? !matches : matches;
}

}  // namespace

AddressCounts CountAdapterAddresses(const std::vector<AdapterFacts>& adapters) {
  AddressCounts counts;
  for (const AdapterFacts& adapter : adapters) {
    if (!CountsAsActive(adapter)) continue;
    for (const AddressFact& address : adapter.addresses) {
      if (!address.preferred) continue;
      // Every IPv6 scope counts, link-local included: it still shows a working IPv6 stack.
      if (address.family == AddressFamily::Ipv4) ++counts.ipv4;
      if (address.family == AddressFamily::Ipv6) ++counts.ipv6;
    }
  }
  return counts;
}

bool AnyActiveAdapter(const std::vector<AdapterFacts>& adapters) {
  for (const AdapterFacts& adapter : adapters) {
    if (CountsAsActive(adapter)) return true;
  }
  return false;
}

EnumerationStatus FillGrowingBuffer(
    std::vector<std::uint8_t>& buffer,
    const std::function<FillAnswer(std::uint8_t* data, std::uint32_t& size)>& fill) {
  buffer.assign(kAdapterBufferStartBytes, 0);
  for (int call = 1; call <= kAdapterEnumerationCalls; ++call) {
    auto size = static_cast<std::uint32_t>(buffer.size());
    switch (fill(buffer.data(), size)) {
      case FillAnswer::Filled:
        return EnumerationStatus::Ok;
      case FillAnswer::NoData:
        return EnumerationStatus::NoData;
      case FillAnswer::Failed:
        return EnumerationStatus::Failed;
      case FillAnswer::BufferTooSmall:
        // A size of 0 would make the next call fail the same way; stop here instead.
        if (size == 0) return EnumerationStatus::Failed;
        if (call < kAdapterEnumerationCalls) buffer.assign(size, 0);
        break;
    }
  }
  return EnumerationStatus::Failed;
}

std::vector<std::uint32_t> TablesConsulted(std::vector<RoutingRule> rules, std::uint32_t uid) {
  std::stable_sort(rules.begin(), rules.end(), [](const RoutingRule& a, const RoutingRule& b) {
    return a.priority < b.priority;
  });
  std::vector<std::uint32_t> tables;
  // Every step moves forward (a jump only goes to a later priority), so the walk ends.
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const RoutingRule& rule = rules[i];
    if (!RuleCarriesHostTraffic(rule, uid)) continue;
    switch (rule.action) {
      case RuleAction::Refuse:
        return tables;
      case RuleAction::Continue:
        break;
      case RuleAction::Goto: {
        // To the first rule of the target priority; without one the rule is passed by.
        std::size_t target = i + 1;
        while (target < rules.size() && rules[target].priority != rule.gotoPriority) ++target;
        if (target < rules.size()) i = target - 1;
        break;
      }
      case RuleAction::LookUpTable:
        if (!rule.suppressesDefaultRoutes &&
            std::find(tables.begin(), tables.end(), rule.table) == tables.end()) {
          tables.push_back(rule.table);
        }
        break;
    }
  }
  return tables;
}

std::optional<std::size_t> ChooseDefaultRoute(const std::vector<RouteRow>& rows) {
  std::optional<std::size_t> kept;
  std::uint32_t keptOrder = 0;
  std::uint64_t keptCost = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const RouteRow& row = rows[i];
    if (!IsIpv4DefaultRoute(row)) continue;
    if (!row.interfaceReadable || !row.interfaceConnected) continue;
    // The system adds both metrics in 32 bits; a sum that would wrap cannot be compared
    // honestly, so such a row never wins.
    const std::uint64_t cost =
        static_cast<std::uint64_t>(row.routeMetric) + row.interfaceMetric;
    if (cost > 0xFFFFFFFFull) continue;
    // A table consulted earlier answers before a later one is looked at, whatever the later
    // one's routes cost.
    if (!kept || row.lookupOrder < keptOrder ||
        (row.lookupOrder == keptOrder && cost < keptCost)) {
      kept = i;
      keptOrder = row.lookupOrder;
      keptCost = cost;
    }
  }
  return kept;
}

bool ConfirmDefaultRoute(const RouteRow& kept, const BestRouteAnswer& best, DefaultRoute& route) {
  route = DefaultRoute{};
  if (!best.ok) return false;
  if (best.sourceFamily != AddressFamily::Ipv4 || best.sourceIpv4 == 0) return false;
  if (best.prefixLength != 0) return false;
  if (best.interfaceIndex != kept.interfaceIndex) return false;
  if (best.nextHopIpv4 != kept.nextHopIpv4) return false;
  route.localAddress = best.sourceIpv4;
  route.gatewayAddress = kept.nextHopIpv4;
  route.interfaceIndex = kept.interfaceIndex;
  return true;
}

bool FindOtherDefaultRoute(const std::vector<RouteRow>& rows, std::uint32_t interfaceIndex,
                           bool& otherRoute) {
  otherRoute = false;
  for (const RouteRow& row : rows) {
    if (!IsIpv4DefaultRoute(row) || row.interfaceIndex == interfaceIndex) continue;
    // An on-link default route without a gateway does not lead to a second network.
    if (row.nextHopIpv4 == 0) continue;
    if (!row.interfaceReadable) {
      otherRoute = false;
      return false;
    }
    if (row.interfaceConnected) {
      otherRoute = true;
      return true;
    }
  }
  return true;
}

bool CombineIndirectPath(bool otherRouteAnswered, bool otherRoute,
                         const InterfaceFacts& routeInterface, const ProxyFacts& proxy) {
  bool suspect = !otherRouteAnswered || otherRoute;
  if (!routeInterface.readable || routeInterface.isTunnel) suspect = true;
  if (!proxy.readable || proxy.configured) return true;
  return suspect;
}

bool Ipv6SourceQualifies(const BestRouteAnswer& best) {
  return best.ok && best.sourceFamily == AddressFamily::Ipv6 &&
         IsGlobalUnicastIpv6(best.sourceIpv6);
}

bool Ipv6InterfaceQualifies(const InterfaceFacts& bestInterface) {
  return bestInterface.readable && !bestInterface.isTunnel && bestInterface.up;
}

bool Ipv6DefaultRoutesQualify(const std::vector<RouteRow>& rows,
                              std::uint32_t bestInterfaceIndex) {
  bool sameInterfaceRoute = false;
  bool otherInterfaceRoute = false;
  for (const RouteRow& row : rows) {
    if (row.prefixLength != 0) continue;
    if (!row.interfaceReadable || !row.interfaceConnected) continue;
    if (row.interfaceIndex == bestInterfaceIndex) {
      sameInterfaceRoute = true;
    } else {
      otherInterfaceRoute = true;
    }
  }
  return sameInterfaceRoute && !otherInterfaceRoute;
}

}  // namespace talvo
