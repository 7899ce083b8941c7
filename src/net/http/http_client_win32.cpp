// WinHTTP carries the exchange on Windows: one synchronous session, connection and request,
// each closed by its owner on every way out, the request last opened and first closed.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <string>

#include "net/http/http_rules.h"
#include "os/clock.h"

namespace talvo {
namespace {

struct InternetHandleDeleter {
  void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleDeleter>;

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

bool SetDwordOption(HINTERNET handle, DWORD option, DWORD value) {
  return WinHttpSetOption(handle, option, &value, sizeof value) != FALSE;
}

// WinHTTP ends the body where the connection ends, even short of the declared length, so the
// length is read to hold the body to it; it is read from the raw head by the portable rule,
// which refuses what WinHTTP and libcurl would each frame their own way. False for a head
// that cannot be read or declares an unusable length.
bool DeclaredLength(HINTERNET request, std::optional<std::uint64_t>& declared) {
  declared.reset();
  DWORD size = 0;
  if (WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                          WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                           raw.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  raw.resize(std::min<std::size_t>(raw.size(), size / sizeof(wchar_t)));
  // Header names and lengths are ASCII; any other unit only has to stay unlike every digit.
  std::string narrow;
  narrow.reserve(raw.size());
  for (wchar_t unit : raw) narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x80');
  return DeclaredLengthOf(narrow, declared);
}

}  // namespace

bool HttpExchange(const HttpProfile& profile, const HttpTarget& target,
                  std::u16string_view extraHeaders, std::string_view requestBody,
                  const BodyRule& rule, std::string& responseBody) {
  const std::u16string agent(profile.agent);
  const std::u16string verb(profile.verb);
  const std::u16string headers(extraHeaders);

  const InternetHandle session(WinHttpOpen(
      Wide(agent),
      profile.useSystemProxy ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  const int timeout =
      profile.phaseTimeoutMs > INT_MAX ? INT_MAX : static_cast<int>(profile.phaseTimeoutMs);
  if (!WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout)) return false;

  const InternetHandle connection(
      WinHttpConnect(session.get(), Wide(target.host), target.port, 0));
  if (!connection) return false;
  const InternetHandle request(WinHttpOpenRequest(
      connection.get(), Wide(verb), Wide(target.objectPath), nullptr, WINHTTP_NO_REFERER,
      WINHTTP_DEFAULT_ACCEPT_TYPES, target.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return false;
  if (!SetDwordOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY,
                      WINHTTP_OPTION_REDIRECT_POLICY_NEVER)) {
    return false;
  }
  // The receive timeout bounds each packet only; a head dripped a byte at a time would hold
  // the request for WinHTTP's 90-second default. Bounding the whole head by one phase keeps
  // every request within one phase time-out of its deadline, as on the other stacks.
  if (!SetDwordOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
                      static_cast<DWORD>(timeout))) {
    return false;
  }
  if (profile.disableCookiesAndAuth &&
      !SetDwordOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE,
                      WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION)) {
    return false;
  }

  // The whole body goes with the request: there is no separate write.
  const DWORD bodyLength = static_cast<DWORD>(requestBody.size());
  void* body = requestBody.empty() ? WINHTTP_NO_REQUEST_DATA
                                   : const_cast<char*>(requestBody.data());
  if (!WinHttpSendRequest(request.get(),
                          headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : Wide(headers),
                          static_cast<DWORD>(headers.size()), body, bodyLength, bodyLength, 0)) {
    return false;
  }
  // A head that could only begin after the deadline would fail the first body pass anyway.
  if (rule.DeadlinePassed(MonotonicMs())) return false;
  if (!WinHttpReceiveResponse(request.get(), nullptr)) return false;

  DWORD status = 0;
  DWORD statusSize = sizeof status;
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                           WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  if (!IsAcceptedStatus(status)) return false;
  std::optional<std::uint64_t> declared;
  if (!DeclaredLength(request.get(), declared)) return false;
  if (declared && !rule.DeclaredLengthFits(*declared)) return false;

  // Every pass ends the loop, reads at least one byte towards the cap, or fails; the deadline
  // ends it in any case.
  for (;;) {
    const std::uint64_t passStartMs = MonotonicMs();
    if (rule.DeadlinePassed(passStartMs)) return false;
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) return false;
    switch (rule.Pass(passStartMs, available, responseBody.size())) {
      case BodyStep::Complete:
        return BodyRule::EndMatchesDeclared(declared, responseBody.size());
      case BodyStep::Fail:
        return false;
      case BodyStep::Read:
        break;
    }
    const std::size_t held = responseBody.size();
    responseBody.resize(held + available);
    DWORD received = 0;
    const BOOL read = WinHttpReadData(request.get(), &responseBody[held], available, &received);
    responseBody.resize(held + (read && received <= available ? received : 0));
    if (!read || !BodyRule::ReadAccepted(available, received)) return false;
  }
}

}  // namespace talvo
