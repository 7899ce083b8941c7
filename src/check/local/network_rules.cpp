#include "check/local/network_rules.h"

#include <algorithm>
#include <iterator>
#include <map>

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
bool InputIsLoopback(const RoutingRule& rule, const std::vector<LinkFacts>& links) {
  if (rule.inputGone) return false;
  if (rule.inputName.empty()) return true;
  for (const LinkFacts& link : links) {
    if (link.name == rule.inputName) return link.loopback;
  }
  return false;
}

bool RuleCarriesHostTraffic(const RoutingRule& rule, const std::vector<LinkFacts>& links,
                            std::uint32_t uid) {
  const bool matches =
      rule.sourceLength == 0 && rule.destinationLength == 0 &&
      (rule.mark & rule.markMask) == 0 && InputIsLoopback(rule, links) && !rule.otherSelector &&
      (!rule.hasUidRange || (rule.uidFirst <= uid && uid <= rule.uidLast));
  return rule.inverted ? !matches : matches;
}

// Route metric plus interface metric, kept wider than the system's 32 bits so a wrap shows.
std::uint64_t CostOf(const RouteRow& row) {
  return static_cast<std::uint64_t>(row.routeMetric) + row.interfaceMetric;
}

const LinkFacts* FindLink(const std::vector<LinkFacts>& links, std::uint32_t index) {
  for (const LinkFacts& link : links) {
    if (link.index == index) return &link;
  }
  return nullptr;
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

std::optional<AddressCounts> PreferredAddressCounts(EnumerationStatus status,
                                                    const std::vector<AdapterFacts>& adapters) {
  switch (status) {
    case EnumerationStatus::Ok:
      return CountAdapterAddresses(adapters);
    case EnumerationStatus::NoData:
      return AddressCounts{};
    case EnumerationStatus::Failed:
      break;
  }
  return std::nullopt;
}

bool NoActiveAdapter(EnumerationStatus status, const std::vector<AdapterFacts>& adapters) {
  switch (status) {
    case EnumerationStatus::Ok:
      return !AnyActiveAdapter(adapters);
    case EnumerationStatus::NoData:
      return true;
    case EnumerationStatus::Failed:
      break;
  }
  return false;
}

bool LinkKindIsTunnel(std::string_view kind) {
  static constexpr std::string_view kTunnelKinds[] = {
      "tun",    "wireguard", "xfrm",      "vti",     "vti6",    "ipip",    "ip6tnl",
      "sit",    "gre",       "gretap",    "ip6gre",  "ip6gretap", "erspan", "ip6erspan",
      "l2tpeth", "vxlan",    "geneve",    "bareudp", "gtp",     "ppp"};
  return std::find(std::begin(kTunnelKinds), std::end(kTunnelKinds), kind) !=
         std::end(kTunnelKinds);
}

bool InterfaceTypeIsTunnel(std::uint32_t interfaceType, std::uint32_t tunnelType) {
  constexpr std::uint32_t kPpp = 23;
  constexpr std::uint32_t kProprietaryVirtual = 53;
  constexpr std::uint32_t kTunnel = 131;
  return tunnelType != 0 || interfaceType == kPpp || interfaceType == kProprietaryVirtual ||
         interfaceType == kTunnel;
}

InterfaceFacts InterfaceOf(const std::optional<std::vector<LinkFacts>>& links,
                           std::uint32_t interfaceIndex) {
  InterfaceFacts facts;
  const LinkFacts* link = links ? FindLink(*links, interfaceIndex) : nullptr;
  if (link == nullptr) return facts;
  facts.readable = true;
  facts.isTunnel = link->encapsulatingType || LinkKindIsTunnel(link->kind);
  facts.up = link->up;
  return facts;
}

EnumerationStatus AdaptersOf(const std::optional<std::vector<LinkFacts>>& links,
                             const std::optional<std::vector<LinkAddress>>& addresses,
                             std::vector<AdapterFacts>& adapters) {
  adapters.clear();
  if (!links || !addresses) return EnumerationStatus::Failed;
  if (links->empty()) return EnumerationStatus::NoData;
  std::map<std::uint32_t, std::size_t> position;
  for (const LinkFacts& link : *links) {
    if (!position.emplace(link.index, adapters.size()).second) continue;
    AdapterFacts adapter;
    adapter.loopback = link.loopback;
    adapter.up = link.up;
    adapters.push_back(adapter);
  }
  for (const LinkAddress& address : *addresses) {
    const auto found = position.find(address.interfaceIndex);
    if (found != position.end()) adapters[found->second].addresses.push_back(address.fact);
  }
  return EnumerationStatus::Ok;
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

std::vector<std::uint32_t> TablesConsulted(std::vector<RoutingRule> rules,
                                           const std::vector<LinkFacts>& links, std::uint32_t uid) {
  std::stable_sort(rules.begin(), rules.end(), [](const RoutingRule& a, const RoutingRule& b) {
    return a.priority < b.priority;
  });
  std::vector<std::uint32_t> tables;
  // Every step moves forward (a jump only goes to a later priority), so the walk ends.
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const RoutingRule& rule = rules[i];
    if (!RuleCarriesHostTraffic(rule, links, uid)) continue;
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

std::optional<std::vector<RouteRow>> DefaultRoutesOf(
    const std::optional<std::vector<LinkFacts>>& links,
    const std::optional<std::vector<RoutingRule>>& rules,
    const std::optional<std::vector<TableRoute>>& routes, std::uint32_t uid) {
  if (!links || !rules || !routes) return std::nullopt;
  std::vector<RouteRow> rows;
  const std::vector<std::uint32_t> tables = TablesConsulted(*rules, *links, uid);
  for (std::uint32_t order = 0; order < tables.size(); ++order) {
    for (const TableRoute& route : *routes) {
      if (route.table != tables[order]) continue;
      RouteRow row = route.row;
      row.lookupOrder = order;
      const LinkFacts* link = FindLink(*links, row.interfaceIndex);
      row.interfaceReadable = link != nullptr;
      row.interfaceConnected = link != nullptr && link->up;
      row.interfaceMetric = 0;  // Linux has no per-interface metric; the route's is the cost
      rows.push_back(row);
    }
  }
  return rows;
}

std::optional<std::size_t> ChooseDefaultRoute(const std::vector<RouteRow>& rows) {
  std::optional<std::size_t> kept;
  std::uint32_t keptOrder = 0;
  std::uint64_t keptCost = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const RouteRow& row = rows[i];
    if (!IsIpv4DefaultRoute(row)) continue;
    if (!row.interfaceReadable || !row.interfaceConnected) continue;
    // A sum that would wrap the system's 32 bits cannot be compared honestly: it never wins.
    const std::uint64_t cost = CostOf(row);
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

bool ConfirmDefaultRoute(const std::vector<RouteRow>& rows, std::size_t kept,
                         const BestRouteAnswer& pinned, const BestRouteAnswer& taken,
                         DefaultRoute& route) {
  route = DefaultRoute{};
  if (kept >= rows.size()) return false;
  const RouteRow& row = rows[kept];
  if (!pinned.ok) return false;
  if (pinned.sourceFamily != AddressFamily::Ipv4 || pinned.sourceIpv4 == 0) return false;
  if (pinned.prefixLength != 0) return false;
  if (pinned.interfaceIndex != row.interfaceIndex) return false;
  if (pinned.nextHopIpv4 != row.nextHopIpv4) return false;
  if (!taken.ok || taken.prefixLength != 0) return false;
  const auto leadsTheSameWay = [&](const RouteRow& other) {
    if (!IsIpv4DefaultRoute(other) || other.interfaceIndex != taken.interfaceIndex ||
        other.nextHopIpv4 != taken.nextHopIpv4) {
      return false;
    }
    if (&other == &row) return true;
    if (other.interfaceReadable && !other.interfaceConnected) return true;
    return other.lookupOrder == row.lookupOrder && CostOf(other) == CostOf(row);
  };
  if (std::none_of(rows.begin(), rows.end(), leadsTheSameWay)) return false;
  route.localAddress = pinned.sourceIpv4;
  route.gatewayAddress = row.nextHopIpv4;
  route.interfaceIndex = row.interfaceIndex;
  return true;
}

bool FindOtherDefaultRoute(const std::optional<std::vector<RouteRow>>& rows,
                           std::uint32_t interfaceIndex, bool& otherRoute) {
  otherRoute = false;
  if (!rows) return false;
  for (const RouteRow& row : *rows) {
    if (!IsIpv4DefaultRoute(row) || row.interfaceIndex == interfaceIndex) continue;
    // An on-link default route without a gateway does not lead to a second network.
    if (row.nextHopIpv4 == 0) continue;
    const bool sameRouter = std::any_of(rows->begin(), rows->end(), [&](const RouteRow& own) {
      return IsIpv4DefaultRoute(own) && own.interfaceIndex == interfaceIndex &&
             own.nextHopIpv4 == row.nextHopIpv4;
    });
    if (sameRouter) continue;
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

ProxyFacts CombineProxySettings(const ProxyFacts& machineWide, const UserProxySettings& user) {
  ProxyFacts facts;
  facts.readable = machineWide.readable && user.readable;
  facts.configured = machineWide.configured || user.proxyServer || user.configScript;
  return facts;
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
