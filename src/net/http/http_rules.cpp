#include "net/http/http_rules.h"

#include "net/url.h"

namespace talvo {

std::u16string ObjectPathFrom(std::u16string_view path, std::u16string_view extraInfo) {
  // Splitters differ on where a fragment goes (Wine's WinHttpCrackUrl leaves it in the path),
  // and a "#" can only start one, wherever it ended up.
  const std::u16string joined = std::u16string(path) + std::u16string(extraInfo);
  const std::u16string_view kept = std::u16string_view(joined).substr(0, joined.find(u'#'));
  if (kept.empty() || kept.front() == u'?') return u"/" + std::u16string(kept);
  return std::u16string(kept);
}

namespace {

// libcurl reads "https:///ip" as the host "ip" where WinHTTP sees no host at all; an empty
// authority means no host on both.
bool HasAuthority(std::u16string_view url) {
  const std::size_t separator = url.find(u"://");
  if (separator == std::u16string_view::npos) return false;
  const std::u16string_view rest = url.substr(separator + 3);
  return !rest.empty() && rest.front() != u'/' && rest.front() != u'?' && rest.front() != u'#';
}

}  // namespace

bool BuildHttpTarget(const HttpProfile& profile, std::u16string_view url, HttpTarget& target) {
  target = HttpTarget{};
  if (!HasAuthority(url)) return false;
  CrackedUrl parts;
  if (!CrackUrl(url, parts)) return false;
  if (profile.requireHttps && parts.scheme != UrlScheme::Https) return false;
  // Neither stack can ask a scheme other than http(s) nor connect to no host at all; refusing
  // here keeps that decision the same on both.
  if (parts.scheme == UrlScheme::Other || parts.host.empty() || parts.port == 0) return false;
  target.secure = profile.requireHttps;
  target.host = std::move(parts.host);
  target.port = parts.port;
  target.objectPath = ObjectPathFrom(parts.path, parts.extraInfo);
  return true;
}

bool SplitHeaderLines(std::u16string_view extraHeaders, std::vector<std::string>& lines) {
  lines.clear();
  std::string line;
  for (std::size_t i = 0; i < extraHeaders.size(); ++i) {
    const char16_t unit = extraHeaders[i];
    if (unit == u'\r' && i + 1 < extraHeaders.size() && extraHeaders[i + 1] == u'\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
      ++i;
      continue;
    }
    if (unit < 0x20 && unit != u'\t') return false;
    if (unit >= 0x7F) return false;
    line.push_back(static_cast<char>(unit));
  }
  if (!line.empty()) lines.push_back(line);
  return true;
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    if (line.size() <= name.size() || line[name.size()] != ':') continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      char a = line[i];
      char b = name[i];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
      same = a == b;
    }
    if (same) return true;
  }
  return false;
}

std::optional<std::uint64_t> ParseContentLength(std::string_view value) {
  if (value.empty() || value.size() > 19) return std::nullopt;  // 19 digits cannot overflow
  std::uint64_t length = 0;
  for (char digit : value) {
    if (digit < '0' || digit > '9') return std::nullopt;
    length = length * 10 + static_cast<std::uint64_t>(digit - '0');
  }
  return length;
}

bool BodyRule::DeadlinePassed(std::uint64_t nowMs) const {
  const std::uint64_t elapsed = nowMs > startMs_ ? nowMs - startMs_ : 0;
  return elapsed >= deadlineMs_;
}

BodyStep BodyRule::Pass(std::uint64_t nowMs, std::size_t announced, std::size_t held) const {
  if (DeadlinePassed(nowMs)) return BodyStep::Fail;
  if (announced == 0) {
    return requireNonEmptyBody_ && held == 0 ? BodyStep::Fail : BodyStep::Complete;
  }
  if (held > maxBodyBytes_ || announced > maxBodyBytes_ - held) return BodyStep::Fail;
  return BodyStep::Read;
}

}  // namespace talvo
