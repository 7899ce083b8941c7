#pragma once
// URL splitting, reference resolution and the IPv4 literal, read from the URL's own text
// (RFC 3986) the same way on every platform. The platforms' own URL calls normalise numeric
// hosts, escape or pass odd characters and resolve references each in their own way, so a
// router's URL would mean different things on each; the rules built on these (the gateway
// URL rule, the object path of a request) live with their callers.
#include <cstdint>
#include <string>
#include <string_view>

namespace talvo {

enum class UrlScheme : int { Other = 0, Http = 1, Https = 2 };

struct CrackedUrl {
  UrlScheme scheme = UrlScheme::Other;
  std::u16string host;  // never empty: letters, digits, '-', '.' and '_' as written
  std::uint16_t port = 0;  // as named, else the scheme's default (0 for Other)
  bool hasUserInfo = false;  // an '@' in the authority, whatever stands before it
  std::u16string path;       // may be empty
  std::u16string extraInfo;  // "?" query and anything after it, "#" fragment included
};

// False unless the text is an absolute URL with an authority and a host, written only in the
// characters a URL may hold unescaped (every '%' starting an escape of two hex digits). A
// port, when named, is 1 to 5 digits with a value of 1 to 65535. Bracketed (IPv6) hosts,
// percent escapes in the host and a second '@' are refused.
bool CrackUrl(std::u16string_view url, CrackedUrl& parts);

// `reference` resolved against the absolute URL `base` (RFC 3986 section 5.2, strict: a
// reference with a scheme stands on its own). False when either holds a character a URL may
// not hold unescaped (a blank among them: a reference is never trimmed) or when the result
// needs 4096 UTF-16 units or more.
bool CombineUrl(std::u16string_view base, std::u16string_view reference, std::u16string& combined);

// Exactly four dot-separated decimal parts of 0 to 255, without leading zeros or anything
// around them: the one spelling each address has. `address` is set only on true.
bool ParseIpv4Literal(std::u16string_view text, std::uint32_t& address);

}  // namespace talvo
