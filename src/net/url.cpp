#include "net/url.h"

#include <algorithm>

#include "os/endpoint.h"

namespace talvo {
namespace {

// The result of UrlCombineW's 4096-unit buffer, terminating zero included, kept as the room
// for a resolved URL.
constexpr std::size_t kMaxCombinedUnits = 4096;

bool IsAlpha(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}
bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }
bool IsHexDigit(char16_t unit) {
  return IsDigit(unit) || (unit >= u'a' && unit <= u'f') || (unit >= u'A' && unit <= u'F');
}

// The characters a URL may hold unescaped (RFC 3986 section 2), brackets left out: no host
// here is an IPv6 literal, and elsewhere they are not allowed at all. Anything else (blanks,
// backslashes, quotes, units above 0x7F) one HTTP stack escapes, another refuses and a third
// sends raw, so none of it is accepted.
bool IsUrlUnit(char16_t unit) {
  if (IsAlpha(unit) || IsDigit(unit)) return true;
  for (char16_t allowed : std::u16string_view(u"-._~:/?#@!$&'()*+,;=%")) {
    if (unit == allowed) return true;
  }
  return false;
}

bool IsUrlText(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsUrlUnit(text[i])) return false;
    if (text[i] == u'%' &&
        (i + 2 >= text.size() || !IsHexDigit(text[i + 1]) || !IsHexDigit(text[i + 2]))) {
      return false;
    }
  }
  return true;
}

// A URI reference split into its five components (RFC 3986 appendix B). "Has" tells an
// absent component from an empty one, which resolution needs.
struct Components {
  bool hasScheme = false;
  std::u16string_view scheme;
  bool hasAuthority = false;
  std::u16string_view authority;
  std::u16string_view path;
  bool hasQuery = false;
  std::u16string_view query;  // without its '?'
  bool hasFragment = false;
  std::u16string_view fragment;  // without its '#'
};

Components Split(std::u16string_view text) {
  Components parts;
  // A scheme is a letter, then letters, digits, '+', '-' and '.', up to a ':' that comes
  // before any '/', '?' or '#'.
  const std::size_t colon = text.find_first_of(u":/?#");
  if (colon != std::u16string_view::npos && colon > 0 && text[colon] == u':' &&
      IsAlpha(text[0])) {
    bool schemeUnits = true;
    for (char16_t unit : text.substr(0, colon)) {
      schemeUnits = schemeUnits && (IsAlpha(unit) || IsDigit(unit) || unit == u'+' ||
                                    unit == u'-' || unit == u'.');
    }
    if (schemeUnits) {
      parts.hasScheme = true;
      parts.scheme = text.substr(0, colon);
      text.remove_prefix(colon + 1);
    }
  }
  if (text.substr(0, 2) == u"//") {
    text.remove_prefix(2);
    const std::size_t end = std::min(text.find_first_of(u"/?#"), text.size());
    parts.hasAuthority = true;
    parts.authority = text.substr(0, end);
    text.remove_prefix(end);
  }
  const std::size_t pathEnd = std::min(text.find_first_of(u"?#"), text.size());
  parts.path = text.substr(0, pathEnd);
  text.remove_prefix(pathEnd);
  if (!text.empty() && text.front() == u'?') {
    const std::size_t end = std::min(text.find(u'#'), text.size());
    parts.hasQuery = true;
    parts.query = text.substr(1, end - 1);
    text.remove_prefix(end);
  }
  if (!text.empty() && text.front() == u'#') {
    parts.hasFragment = true;
    parts.fragment = text.substr(1);
  }
  return parts;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    if (unit != lower[i]) return false;
  }
  return true;
}

// Host and port of an authority that holds no user information any more. A host is a
// registered name or a dotted address as written; '%' escapes, brackets and every other
// character are refused, so no platform can read a different host out of it.
bool SplitHostPort(std::u16string_view hostPort, std::uint16_t defaultPort, CrackedUrl& parts) {
  const std::size_t colon = hostPort.find(u':');
  const std::u16string_view host = hostPort.substr(0, colon);
  if (host.empty()) return false;
  for (char16_t unit : host) {
    if (!IsAlpha(unit) && !IsDigit(unit) && unit != u'-' && unit != u'.' && unit != u'_') {
      return false;
    }
  }
  parts.host = std::u16string(host);
  parts.port = defaultPort;
  if (colon == std::u16string_view::npos) return true;
  // Plain digits only: no sign, no second colon, no empty port standing for the default.
  const std::u16string_view port = hostPort.substr(colon + 1);
  if (port.empty() || port.size() > 5) return false;
  std::uint32_t value = 0;
  for (char16_t unit : port) {
    if (!IsDigit(unit)) return false;
    value = value * 10 + static_cast<std::uint32_t>(unit - u'0');
  }
  if (value == 0 || value > 65535) return false;
  parts.port = static_cast<std::uint16_t>(value);
  return true;
}

// RFC 3986 section 5.2.4. Every pass takes at least one unit off the input.
std::u16string RemoveDotSegments(std::u16string_view input) {
  std::u16string output;
  const auto dropLastSegment = [&output] {
    const std::size_t slash = output.rfind(u'/');
    output.erase(slash == std::u16string::npos ? 0 : slash);
  };
  while (!input.empty()) {
    if (input.substr(0, 3) == u"../") {
      input.remove_prefix(3);
    } else if (input.substr(0, 2) == u"./") {
      input.remove_prefix(2);
    } else if (input.substr(0, 3) == u"/./") {
      input.remove_prefix(2);
    } else if (input == u"/.") {
      input = u"/";
    } else if (input.substr(0, 4) == u"/../") {
      input.remove_prefix(3);
      dropLastSegment();
    } else if (input == u"/..") {
      input = u"/";
      dropLastSegment();
    } else if (input == u"." || input == u"..") {
      input = {};
    } else {
      const std::size_t next = std::min(input.find(u'/', 1), input.size());
      output += input.substr(0, next);
      input.remove_prefix(next);
    }
  }
  return output;
}

// RFC 3986 section 5.2.3.
std::u16string Merge(const Components& base, std::u16string_view referencePath) {
  if (base.hasAuthority && base.path.empty()) return u"/" + std::u16string(referencePath);
  const std::size_t slash = base.path.rfind(u'/');
  if (slash == std::u16string_view::npos) return std::u16string(referencePath);
  return std::u16string(base.path.substr(0, slash + 1)) + std::u16string(referencePath);
}

}  // namespace

bool CrackUrl(std::u16string_view url, CrackedUrl& parts) {
  parts = CrackedUrl{};
  if (!IsUrlText(url)) return false;
  const Components components = Split(url);
  if (!components.hasScheme || !components.hasAuthority) return false;
  std::uint16_t defaultPort = 0;
  if (EqualsIgnoringCase(components.scheme, u"http")) {
    parts.scheme = UrlScheme::Http;
    defaultPort = 80;
  } else if (EqualsIgnoringCase(components.scheme, u"https")) {
    parts.scheme = UrlScheme::Https;
    defaultPort = 443;
  }
  std::u16string_view hostPort = components.authority;
  const std::size_t at = hostPort.find(u'@');
  if (at != std::u16string_view::npos) {
    // An '@' may not stand unescaped in user information: with two, the host is in doubt.
    if (hostPort.find(u'@', at + 1) != std::u16string_view::npos) return false;
    parts.hasUserInfo = true;
    hostPort.remove_prefix(at + 1);
  }
  if (!SplitHostPort(hostPort, defaultPort, parts)) return false;
  parts.path = std::u16string(components.path);
  if (components.hasQuery) parts.extraInfo = u"?" + std::u16string(components.query);
  if (components.hasFragment) parts.extraInfo += u"#" + std::u16string(components.fragment);
  return true;
}

bool CombineUrl(std::u16string_view base, std::u16string_view reference, std::u16string& combined) {
  combined.clear();
  if (!IsUrlText(base) || !IsUrlText(reference)) return false;
  const Components b = Split(base);
  if (!b.hasScheme) return false;
  const Components r = Split(reference);

  // RFC 3986 section 5.2.2, strict: the reference's own scheme makes it absolute.
  std::u16string_view scheme = b.scheme;
  bool hasAuthority = b.hasAuthority;
  std::u16string_view authority = b.authority;
  std::u16string path;
  bool hasQuery = r.hasQuery;
  std::u16string_view query = r.query;
  if (r.hasScheme) {
    scheme = r.scheme;
    hasAuthority = r.hasAuthority;
    authority = r.authority;
    path = RemoveDotSegments(r.path);
  } else if (r.hasAuthority) {
    hasAuthority = true;
    authority = r.authority;
    path = RemoveDotSegments(r.path);
  } else if (r.path.empty()) {
    path = std::u16string(b.path);
    if (!r.hasQuery) {
      hasQuery = b.hasQuery;
      query = b.query;
    }
  } else if (r.path.front() == u'/') {
    path = RemoveDotSegments(r.path);
  } else {
    path = RemoveDotSegments(Merge(b, r.path));
  }

  // RFC 3986 section 5.3.
  combined.assign(scheme);
  combined += u':';
  if (hasAuthority) {
    combined += u"//";
    combined += authority;
  }
  combined += path;
  if (hasQuery) {
    combined += u'?';
    combined += query;
  }
  if (r.hasFragment) {
    combined += u'#';
    combined += r.fragment;
  }
  if (combined.size() >= kMaxCombinedUnits) {
    combined.clear();
    return false;
  }
  return true;
}

bool ParseIpv4Literal(std::u16string_view text, std::uint32_t& address) {
  std::uint8_t bytes[4] = {};
  std::size_t start = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t dot = text.find(u'.', start);
    const bool last = i == 3;
    if (last != (dot == std::u16string_view::npos)) return false;
    const std::u16string_view part = text.substr(start, (last ? text.size() : dot) - start);
    // "0" is the only part that may start with a zero: "01" or "000" would be a second
    // spelling of the same address (and octal to some parsers).
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part.front() == u'0')) {
      return false;
    }
    std::uint32_t number = 0;
    for (char16_t unit : part) {
      if (!IsDigit(unit)) return false;
      number = number * 10 + static_cast<std::uint32_t>(unit - u'0');
    }
    if (number > 255) return false;
    bytes[i] = static_cast<std::uint8_t>(number);
    start = dot + 1;
  }
  address = Ipv4FromParts(bytes[0], bytes[1], bytes[2], bytes[3]);
  return true;
}

}  // namespace talvo
