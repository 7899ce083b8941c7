#include "net/http/http_client.h"

#include "net/http/http_rules.h"
#include "os/clock.h"

namespace talvo {

// Only the public-service request says "research": it goes to strangers' servers, while the
// router requests stay on the home network. It alone may go through the user's proxy and
// needs TLS; the router is always asked directly and never gets cookies or credentials.
const HttpProfile PublicEchoGet = {
    .agent = u"TALVO Network Check research/1",
    .useSystemProxy = true,
    .requireHttps = true,
    .phaseTimeoutMs = 10000,
    .verb = u"GET",
    .disableCookiesAndAuth = false,
    .deadlineMs = 20000,
    .maxBodyBytes = 131072,
    .requireNonEmptyBody = false,
};
const HttpProfile GatewayDescriptionGet = {
    .agent = u"TALVO Network Check/1",
    .useSystemProxy = false,
    .requireHttps = false,
    .phaseTimeoutMs = 4000,
    .verb = u"GET",
    .disableCookiesAndAuth = true,
    .deadlineMs = 12000,
    .maxBodyBytes = kMaxRouterBodyBytes,
    .requireNonEmptyBody = true,
};
const HttpProfile GatewayControlPost = {
    .agent = u"TALVO Network Check/1",
    .useSystemProxy = false,
    .requireHttps = false,
    .phaseTimeoutMs = 4000,
    .verb = u"POST",
    .disableCookiesAndAuth = true,
    .deadlineMs = 12000,
    .maxBodyBytes = kMaxRouterBodyBytes,
    .requireNonEmptyBody = false,
};

bool HttpFetch(const HttpProfile& profile, std::u16string_view url, std::u16string_view extraHeaders,
               std::string_view requestBody, std::string& responseBody,
               const CancelFlag* cancel) {
  responseBody.clear();
  HttpTarget target;
  return BuildHttpTarget(profile, url, target) &&
         HttpFetchTarget(profile, target, extraHeaders, requestBody, responseBody, cancel);
}

bool HttpFetchTarget(const HttpProfile& profile, const HttpTarget& target,
                     std::u16string_view extraHeaders, std::string_view requestBody,
                     std::string& responseBody, const CancelFlag* cancel) {
  const std::uint64_t startMs = MonotonicMs();
  responseBody.clear();
  std::vector<std::string> lines;
  if (!SplitHeaderLines(extraHeaders, lines)) return false;
  const BodyRule rule(profile, startMs, cancel);
  return HttpExchange(profile, target, extraHeaders, requestBody, rule, responseBody);
}

}  // namespace talvo
