#pragma once
// URL splitting and resolution on the platform's own facilities (WinHttpCrackUrl, UrlCombineW
// and InetPtonW on Windows; libcurl's URL API and inet_pton elsewhere). The rules built on
// them (the gateway URL rule, the object path of a request) are portable and live with their
// callers.
#include <cstdint>
#include <string>
#include <string_view>

namespace talvo {

enum class UrlScheme : int { Other = 0, Http = 1, Https = 2 };

struct CrackedUrl {
  UrlScheme scheme = UrlScheme::Other;
  std::u16string host;
  std::uint16_t port = 0;  // the scheme's default when the URL names none
  std::u16string userName;
  std::u16string password;
  std::u16string path;       // may be empty
  std::u16string extraInfo;  // "?" query and anything after it, "#" fragment included
};

// False when the platform cannot split the text as an absolute URL.
bool CrackUrl(std::u16string_view url, CrackedUrl& parts);

// `relative` resolved against the absolute URL `base`; false when the platform refuses or the
// result needs 4096 UTF-16 units or more.
bool CombineUrl(std::u16string_view base, std::u16string_view relative, std::u16string& combined);

// A complete dotted-decimal IPv4 literal of four parts, as inet_pton(AF_INET) accepts it.
bool ParseIpv4Literal(std::u16string_view text, std::uint32_t& address);

}  // namespace talvo
