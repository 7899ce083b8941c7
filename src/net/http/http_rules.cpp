#include "net/http/http_rules.h"

#include <algorithm>
#include <utility>

#include "net/url.h"

namespace talvo {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::u16string ObjectPathFrom(std::u16string_view path, std::u16string_view extraInfo) {
  // A "#" can only start a fragment, wherever a splitter put it.
  const std::u16string joined = std::u16string(path) + std::u16string(extraInfo);
  const std::u16string_view kept = std::u16string_view(joined).substr(0, joined.find(u'#'));
  if (kept.empty() || kept.front() == u'?') return u"/" + std::u16string(kept);
  return std::u16string(kept);
}

bool BuildHttpTarget(const HttpProfile& profile, std::u16string_view url, HttpTarget& target) {
  target = HttpTarget{};
  CrackedUrl parts;
  return CrackUrl(url, parts) && HttpTargetFromParts(profile, std::move(parts), target);
}

bool HttpTargetFromParts(const HttpProfile& profile, CrackedUrl parts, HttpTarget& target) {
  target = HttpTarget{};
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
    if (line.size() > name.size() && line[name.size()] == ':' &&
        SameNameIgnoringCase(std::string_view(line).substr(0, name.size()), name)) {
      return true;
    }
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

bool DeclaredLengthOf(std::string_view headLines, std::optional<std::uint64_t>& declared) {
  declared.reset();
  bool lengthSeen = false;
  bool transferEncoding = false;
  bool lastWasLength = false;
  const auto refuse = [&declared] {
    declared.reset();
    return false;
  };
  while (!headLines.empty()) {
    const std::size_t end = std::min(headLines.find('\n'), headLines.size());
    std::string_view line = headLines.substr(0, end);
    headLines.remove_prefix(std::min(end + 1, headLines.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    // A line that starts with a blank continues the one before it.
    if (IsBlank(line.front())) {
      if (lastWasLength) return refuse();
      continue;
    }
    lastWasLength = false;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, colon);
    const std::size_t nameSize = name.size();
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    if (SameNameIgnoringCase(name, "transfer-encoding")) transferEncoding = true;
    if (!SameNameIgnoringCase(name, "content-length")) continue;
    if (lengthSeen || name.size() != nameSize) return refuse();
    lengthSeen = true;
    lastWasLength = true;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    declared = ParseContentLength(value);
    if (!declared) return refuse();
  }
  if (lengthSeen && transferEncoding) return refuse();
  return true;
}

bool BodyRule::DeadlinePassed(std::uint64_t nowMs) const {
  if (cancel_ != nullptr && cancel_->load()) return true;
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
