// Local facts from IP Helper and WinHTTP.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>
#include <winhttp.h>

#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "check/local/local_facts.h"

namespace talvo {

namespace {

class ForwardTable {
 public:
  ForwardTable() = default;
  ~ForwardTable() {
    if (table_ != nullptr) FreeMibTable(table_);
  }
  ForwardTable(const ForwardTable&) = delete;
  ForwardTable& operator=(const ForwardTable&) = delete;

  bool Read(ADDRESS_FAMILY family) {
    return GetIpForwardTable2(family, &table_) == NO_ERROR && table_ != nullptr;
  }
  const MIB_IPFORWARD_TABLE2& get() const { return *table_; }

 private:
  MIB_IPFORWARD_TABLE2* table_ = nullptr;
};

class ProxyInfo {
 public:
  ProxyInfo() = default;
  ~ProxyInfo() {
    if (info_.lpszProxy != nullptr) GlobalFree(info_.lpszProxy);
    if (info_.lpszProxyBypass != nullptr) GlobalFree(info_.lpszProxyBypass);
  }
  ProxyInfo(const ProxyInfo&) = delete;
  ProxyInfo& operator=(const ProxyInfo&) = delete;

  bool Read() { return WinHttpGetDefaultProxyConfiguration(&info_) != FALSE; }
  DWORD accessType() const { return info_.dwAccessType; }

 private:
  WINHTTP_PROXY_INFO info_{};
};

bool Entered(const wchar_t* text) { return text != nullptr && text[0] != L'\0'; }

// The current user's proxy settings; the call allocates the three strings, which are ours to
// free.
class UserProxyConfig {
 public:
  UserProxyConfig() = default;
  ~UserProxyConfig() {
    if (config_.lpszAutoConfigUrl != nullptr) GlobalFree(config_.lpszAutoConfigUrl);
    if (config_.lpszProxy != nullptr) GlobalFree(config_.lpszProxy);
    if (config_.lpszProxyBypass != nullptr) GlobalFree(config_.lpszProxyBypass);
  }
  UserProxyConfig(const UserProxyConfig&) = delete;
  UserProxyConfig& operator=(const UserProxyConfig&) = delete;

  UserProxySettings Read() {
    UserProxySettings settings;
    if (WinHttpGetIEProxyConfigForCurrentUser(&config_) == FALSE) {
      // A user without stored settings has none entered.
      settings.readable = GetLastError() == ERROR_FILE_NOT_FOUND;
      return settings;
    }
    settings.readable = true;
    settings.autoDetect = config_.fAutoDetect != FALSE;
    settings.proxyServer = Entered(config_.lpszProxy);
    settings.configScript = Entered(config_.lpszAutoConfigUrl);
    return settings;
  }

 private:
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config_{};
};

// Wine 8 does not export these two; a static import would abort the process when called,
// so they are looked up at run time and a missing one leaves the row unreadable.
using InitializeIpInterfaceEntryCall = VOID(WINAPI*)(PMIB_IPINTERFACE_ROW);
using GetIpInterfaceEntryCall = NETIO_STATUS(WINAPI*)(PMIB_IPINTERFACE_ROW);

template <typename Call>
Call BindIpHelperCall(const char* name) {
  const HMODULE module = GetModuleHandleW(L"iphlpapi.dll");
  if (module == nullptr) return nullptr;
  // Through void(*)() because GetProcAddress's return type names no real signature.
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void ReadIpInterface(const NET_LUID& luid, RouteRow& row) {
  static const auto initialize =
      BindIpHelperCall<InitializeIpInterfaceEntryCall>("InitializeIpInterfaceEntry");
  static const auto getEntry = BindIpHelperCall<GetIpInterfaceEntryCall>("GetIpInterfaceEntry");
  if (initialize == nullptr || getEntry == nullptr) return;
  MIB_IPINTERFACE_ROW entry{};
  initialize(&entry);
  entry.Family = AF_INET;
  entry.InterfaceLuid = luid;
  if (getEntry(&entry) != NO_ERROR) return;
  row.interfaceReadable = true;
  row.interfaceConnected = entry.Connected != FALSE;
  row.interfaceMetric = entry.Metric;
}

RouteRow TranslateRoute(const MIB_IPFORWARD_ROW2& entry) {
  RouteRow row;
  row.prefixLength = entry.DestinationPrefix.PrefixLength;
  switch (entry.NextHop.si_family) {
    case AF_INET:
      row.nextHopFamily = AddressFamily::Ipv4;
      row.nextHopIpv4 = entry.NextHop.Ipv4.sin_addr.s_addr;
      break;
    case AF_INET6:
      row.nextHopFamily = AddressFamily::Ipv6;
      break;
    default:
      break;
  }
  row.interfaceIndex = entry.InterfaceIndex;
  row.interfaceLuid = entry.InterfaceLuid.Value;
  row.routeMetric = entry.Metric;
  return row;
}

AddressFamily TranslateFamily(ADDRESS_FAMILY family) {
  if (family == AF_INET) return AddressFamily::Ipv4;
  if (family == AF_INET6) return AddressFamily::Ipv6;
  return AddressFamily::Other;
}

BestRouteAnswer TranslateBestRoute(DWORD code, const MIB_IPFORWARD_ROW2& route,
                                   const SOCKADDR_INET& source) {
  BestRouteAnswer best;
  best.ok = code == NO_ERROR;
  if (!best.ok) return best;
  best.sourceFamily = TranslateFamily(source.si_family);
  if (best.sourceFamily == AddressFamily::Ipv4) best.sourceIpv4 = source.Ipv4.sin_addr.s_addr;
  if (best.sourceFamily == AddressFamily::Ipv6) {
    std::memcpy(best.sourceIpv6, &source.Ipv6.sin6_addr, sizeof best.sourceIpv6);
    best.sourceScopeId = source.Ipv6.sin6_scope_id;
  }
  best.prefixLength = route.DestinationPrefix.PrefixLength;
  best.interfaceIndex = route.InterfaceIndex;
  if (route.NextHop.si_family == AF_INET) best.nextHopIpv4 = route.NextHop.Ipv4.sin_addr.s_addr;
  return best;
}

FillAnswer TranslateFillCode(ULONG code) {
  switch (code) {
    case NO_ERROR:
      return FillAnswer::Filled;
    case ERROR_NO_DATA:
      return FillAnswer::NoData;
    case ERROR_BUFFER_OVERFLOW:
      return FillAnswer::BufferTooSmall;
    default:
      return FillAnswer::Failed;
  }
}

}  // namespace

EnumerationStatus ReadAdapters(bool withAddresses, std::vector<AdapterFacts>& adapters) {
  adapters.clear();
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                      (withAddresses ? 0u : static_cast<ULONG>(GAA_FLAG_SKIP_UNICAST));
  std::vector<std::uint8_t> buffer;
  const EnumerationStatus status =
      FillGrowingBuffer(buffer, [flags](std::uint8_t* data, std::uint32_t& size) {
        ULONG length = size;
        const ULONG code = GetAdaptersAddresses(
            AF_UNSPEC, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(data), &length);
        size = length;
        return TranslateFillCode(code);
      });
  if (status != EnumerationStatus::Ok) return status;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       adapter != nullptr; adapter = adapter->Next) {
    AdapterFacts facts;
    facts.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    facts.up = adapter->OperStatus == IfOperStatusUp;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address == nullptr) continue;
      AddressFact fact;
      fact.family = TranslateFamily(address->sa_family);
      fact.preferred = unicast->DadState == IpDadStatePreferred;
      facts.addresses.push_back(fact);
    }
    adapters.push_back(std::move(facts));
  }
  return EnumerationStatus::Ok;
}

std::optional<std::vector<RouteRow>> ReadIpv4DefaultRoutes() {
  ForwardTable table;
  if (!table.Read(AF_INET)) return std::nullopt;
  std::vector<RouteRow> rows;
  for (ULONG i = 0; i < table.get().NumEntries; ++i) {
    const MIB_IPFORWARD_ROW2& entry = table.get().Table[i];
    // Only default rows are ever examined; their interface is asked once each.
    if (entry.DestinationPrefix.PrefixLength != 0) continue;
    RouteRow row = TranslateRoute(entry);
    ReadIpInterface(entry.InterfaceLuid, row);
    rows.push_back(row);
  }
  return rows;
}

std::optional<std::vector<RouteRow>> ReadIpv6DefaultRoutes() {
  ForwardTable table;
  if (!table.Read(AF_INET6)) return std::nullopt;
  std::vector<RouteRow> rows;
  for (ULONG i = 0; i < table.get().NumEntries; ++i) {
    const MIB_IPFORWARD_ROW2& entry = table.get().Table[i];
    if (entry.DestinationPrefix.PrefixLength != 0) continue;
    RouteRow row = TranslateRoute(entry);
    const InterfaceFacts facts = ReadInterface(entry.InterfaceIndex);
    row.interfaceReadable = facts.readable;
    row.interfaceConnected = facts.up;
    rows.push_back(row);
  }
  return rows;
}

BestRouteAnswer LookupIpv4Route(std::uint32_t destination, std::uint64_t interfaceLuid,
                                std::uint32_t interfaceIndex) {
  NET_LUID luid{};
  luid.Value = interfaceLuid;
  SOCKADDR_INET target{};
  target.Ipv4.sin_family = AF_INET;
  target.Ipv4.sin_addr.s_addr = destination;
  MIB_IPFORWARD_ROW2 route{};
  SOCKADDR_INET source{};
  const DWORD code = GetBestRoute2(interfaceLuid != 0 ? &luid : nullptr, interfaceIndex, nullptr,
                                   &target, 0, &route, &source);
  return TranslateBestRoute(code, route, source);
}

BestRouteAnswer LookupIpv6Route(const std::uint8_t (&destination)[16]) {
  SOCKADDR_INET target{};
  target.Ipv6.sin6_family = AF_INET6;
  std::memcpy(&target.Ipv6.sin6_addr, destination, sizeof destination);
  MIB_IPFORWARD_ROW2 route{};
  SOCKADDR_INET source{};
  const DWORD code = GetBestRoute2(nullptr, 0, nullptr, &target, 0, &route, &source);
  return TranslateBestRoute(code, route, source);
}

InterfaceFacts ReadInterface(std::uint32_t interfaceIndex) {
  InterfaceFacts facts;
  MIB_IF_ROW2 row{};
  row.InterfaceIndex = interfaceIndex;
  if (GetIfEntry2(&row) != NO_ERROR) return facts;
  facts.readable = true;
  facts.isTunnel = InterfaceTypeIsTunnel(row.Type, row.TunnelType);
  facts.up = row.OperStatus == IfOperStatusUp;
  return facts;
}

// The machine-wide WinHTTP setting and the current user's own.
ProxyFacts ReadSystemProxy() {
  ProxyFacts machineWide;
  ProxyInfo info;
  if (info.Read()) {
    machineWide.readable = true;
    machineWide.configured = info.accessType() != WINHTTP_ACCESS_TYPE_NO_PROXY;
  }
  UserProxyConfig user;
  return CombineProxySettings(machineWide, user.Read());
}

}  // namespace talvo
