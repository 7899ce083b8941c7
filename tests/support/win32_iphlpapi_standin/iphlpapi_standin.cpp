// A stand-in iphlpapi.dll for the end-to-end tests under Wine only: never linked into, shipped
// beside or named by the program. Wine 8 leaves the route lookup unanswered (GetBestRoute2
// answers ERROR_NOT_SUPPORTED, GetIpInterfaceEntry and InitializeIpInterfaceEntry are not
// exported, GetIpForwardTable2 has no IPv6 rows), so the Windows program never reaches its
// probes there. This DLL answers those four calls from what Wine and the kernel do tell, and
// forwards every other export to Wine's own DLL, copied beside it as iphlpapi_wine.dll (the
// module-definition file is generated from that DLL's export list).
//
// The documented behaviour each call models:
// - InitializeIpInterfaceEntry: Family becomes AF_UNSPEC, InterfaceLuid an unspecified value
//   (zero here), every other member zero. A null row is ignored (the call returns nothing).
// - GetIpInterfaceEntry: the row names its Family (AF_INET or AF_INET6, else
//   ERROR_INVALID_PARAMETER) and its interface by InterfaceLuid, or by InterfaceIndex when the
//   LUID is zero (neither: ERROR_INVALID_PARAMETER; a null row likewise); an interface that does
//   not exist gives ERROR_NOT_FOUND. Filled: both interface keys, Connected (the interface's
//   media is connected), Metric (the automatic metric by link speed, 75 for loopback, as
//   UseAutomaticMetric says) and NlMtu. Not modelled: the per-family binding of an interface
//   and the router-discovery and offload members, which stay zero.
// - GetBestRoute2: a null DestinationAddress, BestRoute or BestSourceAddress, or a destination
//   neither IPv4 nor IPv6, gives ERROR_INVALID_PARAMETER; an interface named by InterfaceLuid
//   (non-null, non-zero) or else by a non-zero InterfaceIndex that does not exist gives
//   ERROR_NOT_FOUND, and a named interface limits the lookup to its routes. A SourceAddress
//   limits it to the interface that holds that address. The route is the one with the longest
//   matching prefix, then the lowest route metric plus interface metric, on a connected
//   interface; the source is that interface's address of the destination's family (for IPv6, of
//   the destination's scope: link-local for link-local, otherwise not). No usable route:
//   ERROR_NETWORK_UNREACHABLE (the documentation names no code for it).
// - GetIpForwardTable2: AF_INET, AF_INET6 or AF_UNSPEC (else ERROR_INVALID_PARAMETER, as is a
//   null table); IPv4 rows are Wine's own, IPv6 rows are the kernel's (/proc/net/ipv6_route
//   through drive Z:, rejecting routes left out); no row at all gives ERROR_NOT_FOUND. The table
//   is freed by FreeMibTable, which Wine implements on the process heap.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "route_model.h"

namespace {

template <typename Table>
class MibTable {
 public:
  MibTable() = default;
  ~MibTable() {
    if (table_ != nullptr) FreeMibTable(table_);
  }
  MibTable(const MibTable&) = delete;
  MibTable& operator=(const MibTable&) = delete;
  Table** out() { return &table_; }
  const Table* get() const { return table_; }

 private:
  Table* table_ = nullptr;
};

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Kernel tables report a size of zero, so they are read until the end, within a bound.
bool ReadKernelFile(const wchar_t* path, std::string& text) {
  const FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  text.clear();
  char chunk[4096];
  DWORD got = 0;
  while (text.size() < (1u << 20) && ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) &&
         got > 0) {
    text.append(chunk, got);
  }
  return true;
}

bool ParseHex(const std::string& text, std::uint8_t* bytes, std::size_t count) {
  if (text.size() != count * 2) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    int value = 0;
    if (c >= '0' && c <= '9') {
      value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      value = c - 'a' + 10;
    } else {
      return false;
    }
    bytes[i / 2] = static_cast<std::uint8_t>(i % 2 == 0 ? value << 4 : bytes[i / 2] | value);
  }
  return true;
}

// The kernel names interfaces as Wine's aliases do.
bool InterfaceByName(const std::string& name, NET_LUID& luid, NET_IFINDEX& index) {
  const std::wstring alias(name.begin(), name.end());
  return ConvertInterfaceAliasToLuid(alias.c_str(), &luid) == NO_ERROR &&
         ConvertInterfaceLuidToIndex(&luid, &index) == NO_ERROR;
}

constexpr unsigned long kRouteReject = 0x0200;  // RTF_REJECT: an unreachable route

// /proc/net/ipv6_route: destination, its length, source, its length, next hop, metric,
// reference count, use, flags, device; numbers in hexadecimal.
void KernelIpv6Routes(std::vector<MIB_IPFORWARD_ROW2>& rows) {
  std::string text;
  if (!ReadKernelFile(L"Z:\\proc\\net\\ipv6_route", text)) return;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> fields;
    std::size_t at = start;
    while (at < end) {
      while (at < end && text[at] == ' ') ++at;
      std::size_t stop = at;
      while (stop < end && text[stop] != ' ') ++stop;
      if (stop > at) fields.push_back(text.substr(at, stop - at));
      at = stop;
    }
    start = end + 1;
    MIB_IPFORWARD_ROW2 row{};
    std::uint8_t length = 0;
    std::uint8_t metric[4] = {};
    std::uint8_t flags[4] = {};
    if (fields.size() != 10 || !ParseHex(fields[1], &length, 1) || length > 128 ||
        !ParseHex(fields[5], metric, 4) || !ParseHex(fields[8], flags, 4) ||
        (flags[2] & (kRouteReject >> 8)) != 0 ||
        !InterfaceByName(fields[9], row.InterfaceLuid, row.InterfaceIndex)) {
      continue;
    }
    row.DestinationPrefix.Prefix.Ipv6.sin6_family = AF_INET6;
    row.NextHop.Ipv6.sin6_family = AF_INET6;
    if (!ParseHex(fields[0], row.DestinationPrefix.Prefix.Ipv6.sin6_addr.s6_addr, 16) ||
        !ParseHex(fields[4], row.NextHop.Ipv6.sin6_addr.s6_addr, 16)) {
      continue;
    }
    row.DestinationPrefix.PrefixLength = length;
    row.Metric = (ULONG{metric[0]} << 24) | (ULONG{metric[1]} << 16) | (ULONG{metric[2]} << 8) |
                 metric[3];
    row.ValidLifetime = row.PreferredLifetime = 0xFFFFFFFF;
    row.Protocol = RouteProtocolNetMgmt;
    row.Origin = NlroManual;
    rows.push_back(row);
  }
}

DWORD ReadRoutes(ADDRESS_FAMILY family, std::vector<MIB_IPFORWARD_ROW2>& rows) {
  if (family == AF_INET || family == AF_UNSPEC) {
    MibTable<MIB_IPFORWARD_TABLE2> table;
    const DWORD code = GetIpForwardTable2(AF_INET, table.out());
    if (code != NO_ERROR && code != ERROR_NOT_FOUND) return code;
    for (ULONG i = 0; table.get() != nullptr && i < table.get()->NumEntries; ++i) {
      rows.push_back(table.get()->Table[i]);
    }
  }
  if (family == AF_INET6 || family == AF_UNSPEC) KernelIpv6Routes(rows);
  return NO_ERROR;
}

// The interface named by a non-zero LUID, else by a non-zero index.
bool FindInterface(std::uint64_t luid, NET_IFINDEX index, MIB_IF_ROW2& row) {
  row = MIB_IF_ROW2{};
  if (luid != 0) {
    row.InterfaceLuid.Value = luid;
  } else {
    row.InterfaceIndex = index;
  }
  return GetIfEntry2(&row) == NO_ERROR;
}

std::uint32_t InterfaceMetric(const MIB_IF_ROW2& row) {
  return row.Type == IF_TYPE_SOFTWARE_LOOPBACK ? 75 : standin::AutomaticMetric(row.TransmitLinkSpeed);
}

bool SameAddress(const SOCKADDR_INET& a, const SOCKADDR_INET& b) {
  if (a.si_family != b.si_family) return false;
  if (a.si_family == AF_INET) return a.Ipv4.sin_addr.s_addr == b.Ipv4.sin_addr.s_addr;
  return std::memcmp(&a.Ipv6.sin6_addr, &b.Ipv6.sin6_addr, 16) == 0;
}

bool IsLinkLocal(const SOCKADDR_INET& address) {
  return address.si_family == AF_INET6 && address.Ipv6.sin6_addr.s6_addr[0] == 0xFE &&
         (address.Ipv6.sin6_addr.s6_addr[1] & 0xC0) == 0x80;
}

const std::uint8_t* AddressBytes(const SOCKADDR_INET& address) {
  return address.si_family == AF_INET
             ? reinterpret_cast<const std::uint8_t*>(&address.Ipv4.sin_addr)
             : address.Ipv6.sin6_addr.s6_addr;
}

// The interface's address a packet to `destination` leaves from, or the one asked for.
bool SourceOn(std::uint64_t luid, const SOCKADDR_INET& destination, const SOCKADDR_INET* wanted,
              SOCKADDR_INET& source) {
  MibTable<MIB_UNICASTIPADDRESS_TABLE> table;
  if (GetUnicastIpAddressTable(destination.si_family, table.out()) != NO_ERROR) return false;
  for (ULONG i = 0; i < table.get()->NumEntries; ++i) {
    const MIB_UNICASTIPADDRESS_ROW& row = table.get()->Table[i];
    if (row.InterfaceLuid.Value != luid || row.SkipAsSource) continue;
    if (wanted != nullptr ? !SameAddress(row.Address, *wanted)
                          : IsLinkLocal(row.Address) != IsLinkLocal(destination)) {
      continue;
    }
    source = row.Address;
    return true;
  }
  return false;
}

bool Unspecified(const SOCKADDR_INET& address) {
  static const std::uint8_t zeros[16] = {};
  return std::memcmp(AddressBytes(address), zeros, address.si_family == AF_INET ? 4 : 16) == 0;
}

}  // namespace

extern "C" {

VOID WINAPI StandInInitializeIpInterfaceEntry(PMIB_IPINTERFACE_ROW row) {
  if (row == nullptr) return;
  ZeroMemory(row, sizeof *row);
  row->Family = AF_UNSPEC;
}

DWORD WINAPI StandInGetIpInterfaceEntry(PMIB_IPINTERFACE_ROW row) {
  if (row == nullptr || (row->Family != AF_INET && row->Family != AF_INET6) ||
      (row->InterfaceLuid.Value == 0 && row->InterfaceIndex == 0)) {
    return ERROR_INVALID_PARAMETER;
  }
  MIB_IF_ROW2 entry;
  if (!FindInterface(row->InterfaceLuid.Value, row->InterfaceIndex, entry)) return ERROR_NOT_FOUND;
  row->InterfaceLuid = entry.InterfaceLuid;
  row->InterfaceIndex = entry.InterfaceIndex;
  row->UseAutomaticMetric = TRUE;
  row->Metric = InterfaceMetric(entry);
  row->NlMtu = entry.Mtu;
  row->Connected = entry.MediaConnectState == MediaConnectStateConnected;
  return NO_ERROR;
}

DWORD WINAPI StandInGetIpForwardTable2(ADDRESS_FAMILY family, PMIB_IPFORWARD_TABLE2* table) {
  if (table == nullptr || (family != AF_INET && family != AF_INET6 && family != AF_UNSPEC)) {
    return ERROR_INVALID_PARAMETER;
  }
  *table = nullptr;
  std::vector<MIB_IPFORWARD_ROW2> rows;
  const DWORD code = ReadRoutes(family, rows);
  if (code != NO_ERROR) return code;
  if (rows.empty()) return ERROR_NOT_FOUND;
  const std::size_t size =
      offsetof(MIB_IPFORWARD_TABLE2, Table) + rows.size() * sizeof(MIB_IPFORWARD_ROW2);
  auto* made = static_cast<MIB_IPFORWARD_TABLE2*>(HeapAlloc(GetProcessHeap(), 0, size));
  if (made == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  made->NumEntries = static_cast<ULONG>(rows.size());
  std::memcpy(made->Table, rows.data(), rows.size() * sizeof(MIB_IPFORWARD_ROW2));
  *table = made;
  return NO_ERROR;
}

DWORD WINAPI StandInGetBestRoute2(NET_LUID* interfaceLuid, NET_IFINDEX interfaceIndex,
                                  const SOCKADDR_INET* sourceAddress,
                                  const SOCKADDR_INET* destination, ULONG /*sortOptions*/,
                                  PMIB_IPFORWARD_ROW2 bestRoute, SOCKADDR_INET* bestSource) {
  if (destination == nullptr || bestRoute == nullptr || bestSource == nullptr ||
      (destination->si_family != AF_INET && destination->si_family != AF_INET6)) {
    return ERROR_INVALID_PARAMETER;
  }
  std::uint64_t only = 0;
  const std::uint64_t named = interfaceLuid != nullptr ? interfaceLuid->Value : 0;
  if (named != 0 || interfaceIndex != 0) {
    MIB_IF_ROW2 entry;
    if (!FindInterface(named, interfaceIndex, entry)) return ERROR_NOT_FOUND;
    only = entry.InterfaceLuid.Value;
  }
  const SOCKADDR_INET* wanted =
      sourceAddress != nullptr && sourceAddress->si_family == destination->si_family &&
              !Unspecified(*sourceAddress)
          ? sourceAddress
          : nullptr;

  std::vector<MIB_IPFORWARD_ROW2> rows;
  const DWORD code = ReadRoutes(destination->si_family, rows);
  if (code != NO_ERROR) return code;
  std::vector<MIB_IPFORWARD_ROW2> matching;
  std::vector<standin::RouteCandidate> candidates;
  const unsigned width = destination->si_family == AF_INET ? 32 : 128;
  for (const MIB_IPFORWARD_ROW2& row : rows) {
    const SOCKADDR_INET& prefix = row.DestinationPrefix.Prefix;
    const unsigned length = row.DestinationPrefix.PrefixLength;
    if (prefix.si_family != destination->si_family || length > width ||
        !standin::PrefixMatches(AddressBytes(prefix), AddressBytes(*destination), length)) {
      continue;
    }
    SOCKADDR_INET unused{};
    if (wanted != nullptr && !SourceOn(row.InterfaceLuid.Value, *destination, wanted, unused)) {
      continue;
    }
    MIB_IF_ROW2 entry;
    const bool known = FindInterface(row.InterfaceLuid.Value, row.InterfaceIndex, entry);
    matching.push_back(row);
    candidates.push_back({static_cast<std::uint8_t>(length), row.Metric,
                          known ? InterfaceMetric(entry) : 0,
                          known && entry.MediaConnectState == MediaConnectStateConnected,
                          row.InterfaceLuid.Value});
  }
  const long chosen = standin::ChooseBestRoute(candidates.data(), candidates.size(), only);
  if (chosen < 0) return ERROR_NETWORK_UNREACHABLE;
  SOCKADDR_INET source{};
  if (!SourceOn(matching[chosen].InterfaceLuid.Value, *destination, wanted, source)) {
    return ERROR_NETWORK_UNREACHABLE;
  }
  *bestRoute = matching[chosen];
  *bestSource = source;
  return NO_ERROR;
}

}  // extern "C"
