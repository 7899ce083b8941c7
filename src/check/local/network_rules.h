#pragma once
// The decisions of the local inspection, over plain records of what the operating system
// reported. The platform files only fill these records; everything that chooses, compares or
// combines lives here, so Windows and Linux decide alike and tests can feed synthetic tables.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvo {

// The chosen IPv4 default route; addresses in network byte order, all 0 until confirmed.
struct DefaultRoute {
  std::uint32_t localAddress = 0;
  std::uint32_t gatewayAddress = 0;
  std::uint32_t interfaceIndex = 0;
};

enum class AddressFamily : std::uint8_t { Other, Ipv4, Ipv6 };

struct AddressFact {
  AddressFamily family = AddressFamily::Other;
  // Usable now: not tentative, not a failed duplicate, not deprecated.
  bool preferred = false;
};

struct AdapterFacts {
  bool loopback = false;
  bool up = false;
  std::vector<AddressFact> addresses;
};

enum class EnumerationStatus : std::uint8_t { Ok, NoData, Failed };

struct AddressCounts {
  std::uint32_t ipv4 = 0;
  std::uint32_t ipv6 = 0;
};

AddressCounts CountAdapterAddresses(const std::vector<AdapterFacts>& adapters);
bool AnyActiveAdapter(const std::vector<AdapterFacts>& adapters);
// The two questions asked of one enumeration. A failed one leaves the counts unknown and
// shows no adapter to be inactive; one that found no adapter at all counts nothing and shows
// that none is active.
std::optional<AddressCounts> PreferredAddressCounts(EnumerationStatus status,
                                                    const std::vector<AdapterFacts>& adapters);
bool NoActiveAdapter(EnumerationStatus status, const std::vector<AdapterFacts>& adapters);

struct InterfaceFacts {
  bool readable = false;
  bool isTunnel = false;
  bool up = false;
};

// A network link as the system lists it (Linux: one link of the link dump).
struct LinkFacts {
  std::uint32_t index = 0;
  std::string name;
  bool loopback = false;
  bool up = false;
  // The driver that made the link (IFLA_INFO_KIND), empty when none is named.
  std::string kind;
  // A link type that is an IP encapsulation whichever driver made it (IP-in-IP, SIT, GRE).
  bool encapsulatingType = false;
};

// The drivers that carry packets inside other packets: VPN devices, PPP links (what PPTP and
// L2TP clients run over) and the kernel's encapsulations. The link type alone does not say it:
// a raw-IP mobile broadband modem has no link layer either, like a tun device.
bool LinkKindIsTunnel(std::string_view kind);
// The same question over an interface row of Windows: its IANA interface type and its tunnel
// type (0: none). Tunnels proper (131) and every interface with a tunnel type (6to4, Teredo,
// IP-HTTPS, ISATAP), PPP (23: the dial-up and VPN connections of Remote Access) and the
// proprietary virtual type (53) that Wintun and WireGuard adapters report. Ethernet (6) and
// Wi-Fi (71) are not, virtual or not: Hyper-V's switch ports and TAP adapters read as
// Ethernet, and a TAP VPN shows itself by its routes instead.
bool InterfaceTypeIsTunnel(std::uint32_t interfaceType, std::uint32_t tunnelType);
// A link that nobody lists (or a list that could not be read) is unreadable.
InterfaceFacts InterfaceOf(const std::optional<std::vector<LinkFacts>>& links,
                           std::uint32_t interfaceIndex);

// One address as the system lists it, with the link that holds it.
struct LinkAddress {
  std::uint32_t interfaceIndex = 0;
  AddressFact fact;
};

// The adapters of a link list and an address list (either absent: its read failed). An empty
// link list means there are no adapters.
EnumerationStatus AdaptersOf(const std::optional<std::vector<LinkFacts>>& links,
                             const std::optional<std::vector<LinkAddress>>& addresses,
                             std::vector<AdapterFacts>& adapters);

// One answer of a call that fills a caller's buffer and asks for a larger one when it does
// not fit (GetAdaptersAddresses).
enum class FillAnswer : std::uint8_t { Filled, NoData, BufferTooSmall, Failed };
// `fill` gets the buffer and its size in bytes; on BufferTooSmall it writes back the size it
// wants. The buffer starts at 16384 zeroed bytes and the call is made at most three times: an
// adapter list that keeps growing between calls is treated as unreadable rather than chased.
constexpr std::size_t kAdapterBufferStartBytes = 16384;
constexpr int kAdapterEnumerationCalls = 3;
EnumerationStatus FillGrowingBuffer(
    std::vector<std::uint8_t>& buffer,
    const std::function<FillAnswer(std::uint8_t* data, std::uint32_t& size)>& fill);

// A route row as the route table lists it, with what its interface query answered.
struct RouteRow {
  std::uint8_t prefixLength = 0;
  AddressFamily nextHopFamily = AddressFamily::Other;
  std::uint32_t nextHopIpv4 = 0;  // network byte order; 0 for an on-link route
  std::uint32_t interfaceIndex = 0;
  std::uint64_t interfaceLuid = 0;
  std::uint32_t routeMetric = 0;
  // The interface query for this row: whether it answered, and what.
  bool interfaceReadable = false;
  bool interfaceConnected = false;
  std::uint32_t interfaceMetric = 0;
  // Where the row's routing table comes in the order the system consults its tables for this
  // host's traffic (Windows has one table: always 0).
  std::uint32_t lookupOrder = 0;
};

// A policy routing rule (Linux), reduced to what decides whether this host's own traffic to
// the internet passes it: traffic that carries no firewall mark, picks no source address, has
// no output interface and leaves through the loopback input, as an unbound socket's does.
enum class RuleAction : std::uint8_t { LookUpTable, Goto, Continue, Refuse };

struct RoutingRule {
  std::uint32_t priority = 0;
  RuleAction action = RuleAction::LookUpTable;
  std::uint32_t table = 0;
  std::uint32_t gotoPriority = 0;
  bool inverted = false;
  std::uint8_t sourceLength = 0;
  std::uint8_t destinationLength = 0;
  std::uint32_t mark = 0;
  std::uint32_t markMask = 0;
  // The input interface the rule names (empty: any). Locally sent packets come in through
  // the loopback device; a rule whose device is gone matches nothing.
  std::string inputName{};
  bool inputGone = false;
  bool hasUidRange = false;
  std::uint32_t uidFirst = 0;
  std::uint32_t uidLast = 0;
  // Selects by something this host's traffic to the internet does not carry as a whole: an
  // output interface, a protocol, ports, a type of service, a tunnel id, a VRF.
  bool otherSelector = false;
  // suppress_prefixlength: the table's answer is thrown away when its route is that short,
  // which every default route is.
  bool suppressesDefaultRoutes = false;
};

// The routing tables whose default routes this host's traffic (sent by `uid`) can reach, in
// the order the rules consult them, each once. A refusing rule ends the walk.
std::vector<std::uint32_t> TablesConsulted(std::vector<RoutingRule> rules,
                                           const std::vector<LinkFacts>& links, std::uint32_t uid);

// A default route of some routing table, before its interface is looked up.
struct TableRoute {
  std::uint32_t table = 0;
  RouteRow row;
};

// Where rules pick among several tables (Linux): the default routes of the tables the rules
// reach for this host's own traffic, table by table in the order the rules consult them, each
// with its link's state. A VPN's table that the rules put first is the route; a table only
// other traffic reaches (from one source address, with a firewall mark) holds none. Absent when
// any of the three lists could not be read.
std::optional<std::vector<RouteRow>> DefaultRoutesOf(
    const std::optional<std::vector<LinkFacts>>& links,
    const std::optional<std::vector<RoutingRule>>& rules,
    const std::optional<std::vector<TableRoute>>& routes, std::uint32_t uid);

// The system's own route lookup towards a destination.
struct BestRouteAnswer {
  bool ok = false;
  AddressFamily sourceFamily = AddressFamily::Other;
  std::uint32_t sourceIpv4 = 0;
  std::uint8_t sourceIpv6[16] = {};
  std::uint32_t sourceScopeId = 0;
  std::uint8_t prefixLength = 0;
  std::uint32_t interfaceIndex = 0;
  std::uint32_t nextHopIpv4 = 0;
};

struct ProxyFacts {
  bool readable = false;
  bool configured = false;
};

// The current user's own proxy settings (Windows: Settings or Internet Options).
struct UserProxySettings {
  bool readable = false;
  // "Detect settings automatically": on by default, and it finds a proxy only where the
  // network publishes one, so it alone says nothing.
  bool autoDetect = false;
  bool proxyServer = false;   // a proxy server is entered
  bool configScript = false;  // a configuration script address is entered
};

// A proxy is configured when the machine-wide setting names one, or the user entered a proxy
// server or a configuration script. Either side unreadable leaves the answer unreadable.
ProxyFacts CombineProxySettings(const ProxyFacts& machineWide, const UserProxySettings& user);

// The cheapest IPv4 default route on a connected interface (route metric plus interface
// metric) of the first table consulted that has one; on equal cost the earlier row. Rows
// whose interface cannot be read are dropped.
std::optional<std::size_t> ChooseDefaultRoute(const std::vector<RouteRow>& rows);

// The chosen row `rows[kept]` is believed only when the system's own lookups agree with it:
// `pinned`, asked for the row's interface, in full (it gives the source address), and `taken`,
// asked for no interface, must be a default route that leads the same way. That unpinned
// answer is the route traffic really takes: a split or full tunnel's more specific routes
// (0.0.0.0/1 and 128.0.0.0/1) or another interface's cheaper route make it differ. It may
// still be a row the choice passed by only because its link has no carrier now (the kernel
// keeps such routes), or a row of the same table at the same cost (the next hops of one
// multipath route, among which the system spreads its flows).
bool ConfirmDefaultRoute(const std::vector<RouteRow>& rows, std::size_t kept,
                         const BestRouteAnswer& pinned, const BestRouteAnswer& taken,
                         DefaultRoute& route);

// Whether a connected interface other than `interfaceIndex` has an IPv4 default route with a
// gateway. A route through a gateway address that the given interface's own default route
// uses leads to the same router (a laptop on the Ethernet and the Wi-Fi of one home network)
// and does not count. False when the question stays open (the table or an interface that
// matters could not be read).
bool FindOtherDefaultRoute(const std::optional<std::vector<RouteRow>>& rows,
                           std::uint32_t interfaceIndex, bool& otherRoute);

// Anything that could not be read counts against a direct path.
bool CombineIndirectPath(bool otherRouteAnswered, bool otherRoute,
                         const InterfaceFacts& routeInterface, const ProxyFacts& proxy);

// The IPv6 conditions, checked in this order before any packet is sent.
bool Ipv6SourceQualifies(const BestRouteAnswer& best);
bool Ipv6InterfaceQualifies(const InterfaceFacts& bestInterface);
// The best route's interface must be the only up interface with an IPv6 default route.
bool Ipv6DefaultRoutesQualify(const std::vector<RouteRow>& rows,
                              std::uint32_t bestInterfaceIndex);

}  // namespace talvo
