#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shlwapi.h>
#include <winhttp.h>

#include <vector>

#include "net/url.h"

namespace talvo {
namespace {

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

std::u16string Piece(const wchar_t* start, DWORD length) {
  if (start == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(start), length);
}

}  // namespace

bool CrackUrl(std::u16string_view url, CrackedUrl& parts) {
  parts = CrackedUrl{};
  const std::u16string text(url);  // WinHttpCrackUrl reads a terminated string
  URL_COMPONENTS components{};
  components.dwStructSize = sizeof components;
  components.dwHostNameLength = static_cast<DWORD>(-1);
  components.dwUserNameLength = static_cast<DWORD>(-1);
  components.dwPasswordLength = static_cast<DWORD>(-1);
  components.dwUrlPathLength = static_cast<DWORD>(-1);
  components.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(Wide(text), static_cast<DWORD>(text.size()), 0, &components)) return false;
  parts.scheme = components.nScheme == INTERNET_SCHEME_HTTP    ? UrlScheme::Http
                 : components.nScheme == INTERNET_SCHEME_HTTPS ? UrlScheme::Https
                                                               : UrlScheme::Other;
  parts.host = Piece(components.lpszHostName, components.dwHostNameLength);
  parts.port = components.nPort;
  parts.userName = Piece(components.lpszUserName, components.dwUserNameLength);
  parts.password = Piece(components.lpszPassword, components.dwPasswordLength);
  parts.path = Piece(components.lpszUrlPath, components.dwUrlPathLength);
  parts.extraInfo = Piece(components.lpszExtraInfo, components.dwExtraInfoLength);
  return true;
}

bool CombineUrl(std::u16string_view base, std::u16string_view relative, std::u16string& combined) {
  combined.clear();
  const std::u16string baseText(base);
  const std::u16string relativeText(relative);
  constexpr DWORD kCapacity = 4096;  // the terminating zero included
  std::vector<wchar_t> buffer(kCapacity, L'\0');
  DWORD size = kCapacity;
  if (FAILED(UrlCombineW(Wide(baseText), Wide(relativeText), buffer.data(), &size, 0))) {
    return false;
  }
  buffer.back() = L'\0';
  combined.assign(reinterpret_cast<const char16_t*>(buffer.data()));
  return true;
}

bool ParseIpv4Literal(std::u16string_view text, std::uint32_t& address) {
  const std::u16string terminated(text);
  IN_ADDR parsed{};
  if (InetPtonW(AF_INET, Wide(terminated), &parsed) != 1) return false;
  address = parsed.s_addr;
  return true;
}

}  // namespace talvo
