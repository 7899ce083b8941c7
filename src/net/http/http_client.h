#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "os/cancel_flag.h"

namespace talvo {

// The largest body a router may send, for its description and its SOAP answers alike: ample
// for the biggest real descriptions, small enough to hold in memory at once.
constexpr std::size_t kMaxRouterBodyBytes = 262144;

// How one kind of HTTP exchange is bounded and dressed.
struct HttpProfile {
  std::u16string_view agent;
  bool useSystemProxy;
  bool requireHttps;
  std::uint32_t phaseTimeoutMs;  // name resolution, connect, send and receive alike
  std::u16string_view verb;
  bool disableCookiesAndAuth;
  std::uint64_t deadlineMs;  // the whole body, counted from the start of the operation
  std::size_t maxBodyBytes;
  bool requireNonEmptyBody;
};

extern const HttpProfile PublicEchoGet;
extern const HttpProfile GatewayDescriptionGet;
extern const HttpProfile GatewayControlPost;

// One bounded request. True only for status 200 with the whole body, within the cap and
// before the deadline, in `responseBody`. `extraHeaders` are CR LF terminated lines. A set
// `cancel` flag ends the request as its deadline would, wherever it waits.
bool HttpFetch(const HttpProfile& profile, std::u16string_view url, std::u16string_view extraHeaders,
               std::string_view requestBody, std::string& responseBody,
               const CancelFlag* cancel = nullptr);

// Where one request goes and what its request line names.
struct HttpTarget {
  bool secure = false;  // TLS, exactly when the profile requires https
  std::u16string host;
  std::uint16_t port = 0;
  std::u16string objectPath;  // path (or "/") and query, never a fragment
};

// HttpFetch for a URL its caller has already split and checked into `target`.
bool HttpFetchTarget(const HttpProfile& profile, const HttpTarget& target,
                     std::u16string_view extraHeaders, std::string_view requestBody,
                     std::string& responseBody, const CancelFlag* cancel = nullptr);

}  // namespace talvo
