#include <arpa/inet.h>
#include <curl/curl.h>

#include <memory>

#include "net/url.h"
#include "os/utf.h"

namespace talvo {
namespace {

struct UrlHandleDeleter {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

struct CurlStringDeleter {
  void operator()(char* text) const { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

// libcurl takes narrow text; only ASCII passes through it unchanged, so anything else is
// refused rather than re-encoded into a different URL.
bool ToAscii(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (char16_t unit : text) {
    if (unit == 0 || unit > 0x7F) return false;
    out.push_back(static_cast<char>(unit));
  }
  return true;
}

std::u16string Part(CURLU* handle, CURLUPart part, unsigned flags = 0) {
  char* raw = nullptr;
  if (curl_url_get(handle, part, &raw, flags) != CURLUE_OK || raw == nullptr) return {};
  const CurlString owned(raw);
  return Utf8ToUtf16(owned.get());
}

UrlScheme SchemeOf(const std::u16string& scheme) {
  if (scheme == u"http") return UrlScheme::Http;
  if (scheme == u"https") return UrlScheme::Https;
  return UrlScheme::Other;
}

}  // namespace

bool CrackUrl(std::u16string_view url, CrackedUrl& parts) {
  parts = CrackedUrl{};
  std::string narrow;
  if (!ToAscii(url, narrow)) return false;
  const UrlHandle handle(curl_url());
  if (!handle) return false;
  if (curl_url_set(handle.get(), CURLUPART_URL, narrow.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
      CURLUE_OK) {
    return false;
  }
  parts.scheme = SchemeOf(Part(handle.get(), CURLUPART_SCHEME));
  parts.host = Part(handle.get(), CURLUPART_HOST);
  parts.userName = Part(handle.get(), CURLUPART_USER);
  parts.password = Part(handle.get(), CURLUPART_PASSWORD);
  const std::u16string port = Part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  unsigned long value = 0;
  for (char16_t digit : port) {
    if (digit < u'0' || digit > u'9') return false;
    value = value * 10 + static_cast<unsigned long>(digit - u'0');
    if (value > 65535) return false;
  }
  parts.port = static_cast<std::uint16_t>(value);
  parts.path = Part(handle.get(), CURLUPART_PATH);
  const std::u16string query = Part(handle.get(), CURLUPART_QUERY);
  const std::u16string fragment = Part(handle.get(), CURLUPART_FRAGMENT);
  if (!query.empty()) parts.extraInfo = u"?" + query;
  if (!fragment.empty()) parts.extraInfo += u"#" + fragment;
  return true;
}

bool CombineUrl(std::u16string_view base, std::u16string_view relative, std::u16string& combined) {
  combined.clear();
  std::string narrowBase;
  std::string narrowRelative;
  if (!ToAscii(base, narrowBase) || !ToAscii(relative, narrowRelative)) return false;
  const UrlHandle handle(curl_url());
  if (!handle) return false;
  if (curl_url_set(handle.get(), CURLUPART_URL, narrowBase.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
          CURLUE_OK ||
      curl_url_set(handle.get(), CURLUPART_URL, narrowRelative.c_str(),
                   CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return false;
  }
  combined = Part(handle.get(), CURLUPART_URL);
  // The same room as the Windows layer's 4096-unit buffer, terminating zero included.
  constexpr std::size_t kCapacity = 4096;
  if (combined.size() >= kCapacity) combined.clear();
  return !combined.empty();
}

bool ParseIpv4Literal(std::u16string_view text, std::uint32_t& address) {
  std::string narrow;
  if (!ToAscii(text, narrow)) return false;
  in_addr parsed{};
  if (inet_pton(AF_INET, narrow.c_str(), &parsed) != 1) return false;
  address = parsed.s_addr;
  return true;
}

}  // namespace talvo
