// libcurl carries the exchange on Linux. It is dressed to put on the wire what WinHTTP puts
// there for the same profile: one HTTP/1.1 request with the caller's User-Agent and headers,
// no Accept or Expect header of its own, no redirects, no cookies or credentials, the proxy
// from the environment only when the profile uses the system proxy, and certificates checked
// against the system store.
#include <curl/curl.h>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/http/http_rules.h"
#include "os/clock.h"
#include "os/utf.h"

namespace talvo {
namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// An easy handle must leave its multi handle before either is cleaned up.
class Attachment {
 public:
  Attachment(CURLM* multi, CURL* easy)
      : multi_(multi), easy_(easy), attached_(curl_multi_add_handle(multi, easy) == CURLM_OK) {}
  ~Attachment() {
    if (attached_) curl_multi_remove_handle(multi_, easy_);
  }
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;
  bool attached() const { return attached_; }

 private:
  CURLM* multi_;
  CURL* easy_;
  bool attached_;
};

// libcurl calls the progress function only about once a second while nothing arrives, so a
// cancel or the deadline would wait up to a second; the transfer is driven in short slices
// instead, the same slices the Windows client waits in.
constexpr int kSliceMs = 50;

bool GlobalInit() {
  // Static initialisation is thread-safe, and curl_global_init is not.
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return initialised;
}

bool Append(HeaderList& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown == nullptr) return false;
  list.release();
  list.reset(grown);
  return true;
}

// The state that the callbacks share during one perform.
struct Transfer {
  CURL* handle = nullptr;
  const BodyRule* rule = nullptr;
  std::string* body = nullptr;
  std::uint32_t phaseTimeoutMs = 0;
  bool answerChecked = false;
  bool headEnded = false;
  std::string head;  // the raw header lines of the latest response head
  bool connected = false;
  std::uint64_t lastActivityMs = 0;
  curl_off_t lastDown = 0;
  curl_off_t lastUp = 0;
  std::exception_ptr error;  // an exception may not unwind through libcurl's C frames
};

// The status and any declared length are examined before the first body byte is kept, so
// a refused answer's body is never read into the caller's buffer. libcurl's own reading of
// Content-Length takes junk after the digits and the last of two headers; the portable rule
// reads the raw head instead, and refuses every head on which the two could disagree.
bool AnswerAcceptable(Transfer& transfer) {
  long status = 0;
  if (curl_easy_getinfo(transfer.handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
    return false;
  }
  if (status < 0 || !IsAcceptedStatus(static_cast<std::uint32_t>(status))) return false;
  std::optional<std::uint64_t> declared;
  return DeclaredLengthOf(transfer.head, declared) &&
         (!declared || transfer.rule->DeclaredLengthFits(*declared));
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  const size_t length = size * count;
  if (length == 0) return 0;
  transfer.lastActivityMs = MonotonicMs();
  if (!transfer.answerChecked) {
    if (!AnswerAcceptable(transfer)) return 0;  // anything short of `length` aborts
    transfer.answerChecked = true;
  }
  if (transfer.rule->Pass(MonotonicMs(), length, transfer.body->size()) != BodyStep::Read) {
    return 0;
  }
  try {
    transfer.body->append(data, length);
  } catch (...) {
    transfer.error = std::current_exception();
    return 0;
  }
  return length;
}

// libcurl takes a connection closed in the middle of the head for a complete answer without
// body; only a head ended by its blank line counts here.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  const size_t length = size * count;
  transfer.lastActivityMs = MonotonicMs();
  const std::string_view line(data, length);
  // An interim answer (100 Continue) has its own head; only the last one describes the body.
  if (line.substr(0, 5) == "HTTP/") {
    transfer.headEnded = false;
    transfer.head.clear();
  }
  if (line == "\r\n" || line == "\n") transfer.headEnded = true;
  try {
    transfer.head.append(line);
  } catch (...) {
    transfer.error = std::current_exception();
    return 0;
  }
  return length;
}

// WinHTTP bounds each send and receive by the phase timeout; here a transfer that has made no
// progress for that long once connected is given up, as is one that runs past the deadline,
// which could only fail later anyway.
int OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  const std::uint64_t now = MonotonicMs();
  if (transfer.rule->DeadlinePassed(now)) return 1;
  if (!transfer.connected) {
    curl_off_t ready = 0;
    if (curl_easy_getinfo(transfer.handle, CURLINFO_PRETRANSFER_TIME_T, &ready) == CURLE_OK &&
        ready > 0) {
      transfer.connected = true;
      transfer.lastActivityMs = now;
    }
    return 0;  // until then the connect timeout bounds resolution, connection and handshake
  }
  if (downloaded != transfer.lastDown || uploaded != transfer.lastUp) {
    transfer.lastDown = downloaded;
    transfer.lastUp = uploaded;
    transfer.lastActivityMs = now;
    return 0;
  }
  return now - transfer.lastActivityMs >= transfer.phaseTimeoutMs ? 1 : 0;
}

// Ends as soon as the transfer does, or within a slice of a cancel or the deadline.
CURLcode Perform(CURLM* multi, const Transfer& transfer) {
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_FAILED_INIT;
    if (running == 0) break;
    if (transfer.error || transfer.rule->DeadlinePassed(MonotonicMs())) {
      return CURLE_ABORTED_BY_CALLBACK;
    }
    if (curl_multi_poll(multi, nullptr, 0, kSliceMs, nullptr) != CURLM_OK) {
      return CURLE_FAILED_INIT;
    }
  }
  int queued = 0;
  while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
    if (message->msg == CURLMSG_DONE) return message->data.result;
  }
  return CURLE_FAILED_INIT;
}

// The host is a name or a dotted address (the URL splitter takes no bracketed host).
std::string RequestUrl(const HttpTarget& target) {
  return std::string(target.secure ? "https://" : "http://") + Utf16ToUtf8(target.host) + ":" +
         std::to_string(target.port) + Utf16ToUtf8(target.objectPath);
}

template <typename Value>
bool Set(CURL* handle, CURLoption option, Value value) {
  return curl_easy_setopt(handle, option, value) == CURLE_OK;
}

}  // namespace

bool HttpExchange(const HttpProfile& profile, const HttpTarget& target,
                  std::u16string_view extraHeaders, std::string_view requestBody,
                  const BodyRule& rule, std::string& responseBody) {
  if (!GlobalInit()) return false;
  std::vector<std::string> lines;
  if (!SplitHeaderLines(extraHeaders, lines)) return false;
  const std::string verb = Utf16ToUtf8(profile.verb);
  if (verb.empty() || verb.find_first_of(" \r\n") != std::string::npos) return false;
  const bool sendsBody = verb == "POST" || !requestBody.empty();

  // libcurl's own Accept and Expect headers go; so does its form Content-Type when the caller
  // gives none, since WinHTTP sends no content type of its own either.
  HeaderList headers;
  if (!Append(headers, "Accept:") || !Append(headers, "Expect:")) return false;
  if (sendsBody && !HasHeader(lines, "Content-Type") && !Append(headers, "Content-Type:")) {
    return false;
  }
  for (const std::string& line : lines) {
    if (!Append(headers, line)) return false;
  }

  const EasyHandle easy(curl_easy_init());
  if (!easy) return false;
  CURL* handle = easy.get();
  Transfer transfer;
  transfer.handle = handle;
  transfer.rule = &rule;
  transfer.body = &responseBody;
  transfer.phaseTimeoutMs = profile.phaseTimeoutMs;
  transfer.lastActivityMs = MonotonicMs();

  const std::string url = RequestUrl(target);
  const std::string agent = Utf16ToUtf8(profile.agent);
  static const char kNoBody[] = "";
  const char* scheme = target.secure ? "https" : "http";
  bool ok = Set(handle, CURLOPT_URL, url.c_str()) &&
            Set(handle, CURLOPT_PROTOCOLS_STR, scheme) &&
            Set(handle, CURLOPT_REDIR_PROTOCOLS_STR, scheme) &&
            Set(handle, CURLOPT_PATH_AS_IS, 1L) &&
            Set(handle, CURLOPT_FOLLOWLOCATION, 0L) &&
            Set(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) &&
            Set(handle, CURLOPT_NOSIGNAL, 1L) &&
            Set(handle, CURLOPT_USERAGENT, agent.c_str()) &&
            Set(handle, CURLOPT_HTTPHEADER, headers.get()) &&
            Set(handle, CURLOPT_SSL_VERIFYPEER, 1L) &&
            Set(handle, CURLOPT_SSL_VERIFYHOST, 2L) &&
            Set(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(profile.phaseTimeoutMs)) &&
            Set(handle, CURLOPT_MAXFILESIZE_LARGE,
                static_cast<curl_off_t>(profile.maxBodyBytes)) &&
            Set(handle, CURLOPT_WRITEFUNCTION, OnBody) &&
            Set(handle, CURLOPT_WRITEDATA, &transfer) &&
            Set(handle, CURLOPT_HEADERFUNCTION, OnHeader) &&
            Set(handle, CURLOPT_HEADERDATA, &transfer) &&
            Set(handle, CURLOPT_XFERINFOFUNCTION, OnProgress) &&
            Set(handle, CURLOPT_XFERINFODATA, &transfer) &&
            Set(handle, CURLOPT_NOPROGRESS, 0L);
  // Without the system proxy the request goes straight out, whatever the environment names.
  if (ok && !profile.useSystemProxy) {
    ok = Set(handle, CURLOPT_PROXY, "") && Set(handle, CURLOPT_NOPROXY, "*");
  }
  if (ok && sendsBody) {
    // The size first: without it libcurl would measure the body as a C string.
    ok = Set(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(requestBody.size())) &&
         Set(handle, CURLOPT_POSTFIELDS, requestBody.empty() ? kNoBody : requestBody.data());
  } else if (ok) {
    ok = Set(handle, CURLOPT_HTTPGET, 1L);
  }
  if (ok && verb != (sendsBody ? "POST" : "GET")) {
    ok = Set(handle, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }
  if (!ok) return false;

  const MultiHandle multi(curl_multi_init());
  if (!multi) return false;
  const Attachment attachment(multi.get(), handle);
  if (!attachment.attached()) return false;
  const CURLcode result = Perform(multi.get(), transfer);
  if (transfer.error) std::rethrow_exception(transfer.error);
  if (result != CURLE_OK || !transfer.headEnded) return false;
  long status = 0;
  if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status < 0 ||
      !IsAcceptedStatus(static_cast<std::uint32_t>(status))) {
    return false;
  }
  std::optional<std::uint64_t> declaredLength;
  if (!DeclaredLengthOf(transfer.head, declaredLength)) return false;
  if (declaredLength && !rule.DeclaredLengthFits(*declaredLength)) return false;
  // The last pass of the body loop: the end of the body, seen before the deadline.
  return rule.Pass(MonotonicMs(), 0, responseBody.size()) == BodyStep::Complete &&
         BodyRule::EndMatchesDeclared(declaredLength, responseBody.size());
}

}  // namespace talvo
