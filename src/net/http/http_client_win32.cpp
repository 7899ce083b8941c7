// WinHTTP carries the exchange on Windows, in its asynchronous mode: a synchronous call cannot
// be ended from the worker, and one stalled phase would hold the check past its own deadline,
// Esc and the time limit. The worker issues each step and waits for its completion in short
// slices, reading the deadline and the cancel flag between them. The worker owns and closes
// every handle, the request first; what WinHTTP may still touch after an abandoned step (the
// buffers, the completion event) lives in a state that the request's last callback, the
// handle-closing one, releases.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// How often a waiting step looks at the deadline and the cancel flag.
constexpr DWORD kWaitSliceMs = 50;

class EventHandle {
 public:
  EventHandle() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~EventHandle() {
    if (event_ != nullptr) CloseHandle(event_);
  }
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  HANDLE get() const { return event_; }

 private:
  HANDLE event_;
};

// Shared by the worker and WinHTTP's callbacks for one request; the event orders the
// callback's writes before the worker's reads.
struct AsyncState {
  EventHandle done;
  bool succeeded = false;
  DWORD available = 0;
  DWORD received = 0;
  std::u16string headers;
  std::string requestBody;
  std::vector<char> readBuffer;

  void Complete(bool ok) {
    succeeded = ok;
    SetEvent(done.get());
  }
};
using SharedState = std::shared_ptr<AsyncState>;

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                              DWORD length) {
  // The session and the connection carry no context; only the request's callbacks count.
  if (context == 0) return;
  auto* keep = reinterpret_cast<SharedState*>(context);
  AsyncState& state = **keep;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      state.Complete(true);
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      state.available = info != nullptr ? *static_cast<const DWORD*>(info) : 0;
      state.Complete(info != nullptr);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      state.received = length;
      state.Complete(true);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      state.Complete(false);
      break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      // The request's last callback: WinHTTP holds the state no longer.
      delete keep;
      break;
    default:
      break;
  }
}

// Waits for the step just issued; false when it failed, or when the deadline or the cancel
// flag ended the wait first (the step is then abandoned with the request).
bool AwaitStep(AsyncState& state, const BodyRule& rule) {
  for (;;) {
    if (WaitForSingleObject(state.done.get(), kWaitSliceMs) == WAIT_OBJECT_0) {
      return state.succeeded;
    }
    if (rule.DeadlinePassed(MonotonicMs())) return false;
  }
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
      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  if (!session) return false;
  if (WinHttpSetStatusCallback(session.get(), OnRequestStatus,
                               WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS |
                                   WINHTTP_CALLBACK_FLAG_HANDLES,
                               0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    return false;
  }
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
  // From here on the request's callbacks hold the state, until its handle-closing callback.
  const SharedState state = std::make_shared<AsyncState>();
  if (state->done.get() == nullptr) return false;
  auto* keep = new SharedState(state);
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(keep);
  if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
    delete keep;
    return false;
  }
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

  // The whole body goes with the request: there is no separate write. WinHTTP may read the
  // headers and the body until the send completes, so they live in the shared state.
  state->headers = headers;
  state->requestBody = requestBody;
  const DWORD bodyLength = static_cast<DWORD>(state->requestBody.size());
  void* body = state->requestBody.empty() ? WINHTTP_NO_REQUEST_DATA : state->requestBody.data();
  if (!WinHttpSendRequest(request.get(),
                          state->headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS
                                                 : Wide(state->headers),
                          static_cast<DWORD>(state->headers.size()), body, bodyLength,
                          bodyLength, context) ||
      !AwaitStep(*state, rule)) {
    return false;
  }
  if (!WinHttpReceiveResponse(request.get(), nullptr) || !AwaitStep(*state, rule)) return false;

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
    if (!WinHttpQueryDataAvailable(request.get(), nullptr) || !AwaitStep(*state, rule)) {
      return false;
    }
    const DWORD available = state->available;
    switch (rule.Pass(passStartMs, available, responseBody.size())) {
      case BodyStep::Complete:
        return BodyRule::EndMatchesDeclared(declared, responseBody.size());
      case BodyStep::Fail:
        return false;
      case BodyStep::Read:
        break;
    }
    // WinHTTP writes into a buffer of the shared state: an abandoned read may finish later.
    state->readBuffer.resize(available);
    if (!WinHttpReadData(request.get(), state->readBuffer.data(), available, nullptr) ||
        !AwaitStep(*state, rule)) {
      return false;
    }
    const DWORD received = state->received;
    if (!BodyRule::ReadAccepted(available, received)) return false;
    responseBody.append(state->readBuffer.data(), received);
  }
}

}  // namespace talvo
