#pragma once
// The rules of one bounded HTTP exchange that both HTTP stacks share: which URLs may be asked
// and how they become a connection and a request line, which answer is accepted, and how the
// body is bounded in size and time. The platform files only move bytes and ask these.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/http/http_client.h"
#include "net/url.h"

namespace talvo {

// The URL's path, or "/" when it has none, followed by its query. A "#" fragment is cut off:
// it names a place inside the answer for the client's own use and is never part of a request.
// Cutting "#top" off a path of "#top" leaves "/", never an empty request target.
std::u16string ObjectPathFrom(std::u16string_view path, std::u16string_view extraInfo);

// Splits `url` and applies the profile's URL requirements; false before anything is sent.
bool BuildHttpTarget(const HttpProfile& profile, std::u16string_view url, HttpTarget& target);
// The same for a URL already split, so that a caller with rules of its own splits it once.
bool HttpTargetFromParts(const HttpProfile& profile, CrackedUrl parts, HttpTarget& target);

// The caller's extra header lines (each ended by CR LF, the last one may lack it) as narrow
// lines without their ends. False for anything that is not printable ASCII inside a line, so
// no stray CR, LF or NUL can smuggle a second header or request onto the wire.
bool SplitHeaderLines(std::u16string_view extraHeaders, std::vector<std::string>& lines);

// Whether the lines name a header, compared without regard to case.
bool HasHeader(const std::vector<std::string>& lines, std::string_view name);

// A Content-Length value: decimal digits only, nothing around them, no overflow.
std::optional<std::uint64_t> ParseContentLength(std::string_view value);

// The body length that a response head's raw header lines (CR LF or LF ended, the status line
// may come first) declare, read the same way whichever stack received them: `declared` is
// empty when no Content-Length header is there. False when the head declares a length it
// cannot be held to: a value that is not plain digits after the blanks following the colon,
// a second Content-Length header (even an equal one), one folded onto a further line, one
// written with blanks before its colon, or one beside Transfer-Encoding. The stacks would
// each frame such a body their own way.
bool DeclaredLengthOf(std::string_view headLines, std::optional<std::uint64_t>& declared);

inline bool IsAcceptedStatus(std::uint32_t status) { return status == 200; }

enum class BodyStep { Read, Complete, Fail };

// The body loop's decisions: before each pass the deadline, counted from the start of the
// whole operation; then the size the stack announces against the room left under the cap;
// an end of data (0 announced) completes the body, unless an empty body is refused.
class BodyRule {
 public:
  BodyRule(const HttpProfile& profile, std::uint64_t startMs, const CancelFlag* cancel = nullptr)
      : cancel_(cancel),
        deadlineMs_(profile.deadlineMs),
        startMs_(startMs),
        maxBodyBytes_(profile.maxBodyBytes),
        requireNonEmptyBody_(profile.requireNonEmptyBody) {}

  // One pass: `announced` bytes are ready (0 = the body has ended), `held` already kept.
  BodyStep Pass(std::uint64_t nowMs, std::size_t announced, std::size_t held) const;

  // A read asked for `requested` bytes and got `received`: 0 bytes, or more than asked,
  // means the stack broke its own announcement.
  static bool ReadAccepted(std::size_t requested, std::size_t received) {
    return received != 0 && received <= requested;
  }

  // The request must end now: its deadline has passed, or the check it serves was cancelled.
  bool DeadlinePassed(std::uint64_t nowMs) const;
  // A length the server declares in advance that could never fit under the cap.
  bool DeclaredLengthFits(std::uint64_t declared) const { return declared <= maxBodyBytes_; }
  // A body that ends before (or after) the length its server declared is not the whole body,
  // whatever the connection's close made of it.
  static bool EndMatchesDeclared(std::optional<std::uint64_t> declared, std::size_t held) {
    return !declared || *declared == held;
  }

 private:
  const CancelFlag* cancel_;
  std::uint64_t deadlineMs_;
  std::uint64_t startMs_;
  std::size_t maxBodyBytes_;
  bool requireNonEmptyBody_;
};

// The platform's exchange for an already checked target: sends the request and reads the body
// into `responseBody` under `rule`. Implemented once per HTTP stack.
bool HttpExchange(const HttpProfile& profile, const HttpTarget& target,
                  std::u16string_view extraHeaders, std::string_view requestBody,
                  const BodyRule& rule, std::string& responseBody);

}  // namespace talvo
