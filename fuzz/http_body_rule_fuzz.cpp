// The body loop's rule under any sequence of announcements, reads and ticks: it never lets
// the body past the cap or the deadline, and it completes only at an end of data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/http/http_rules.h"

namespace {

template <typename T>
bool Take(const std::uint8_t*& data, std::size_t& size, T& value) {
  if (size < sizeof value) return false;
  std::memcpy(&value, data, sizeof value);
  data += sizeof value;
  size -= sizeof value;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint16_t cap = 0;
  std::uint16_t deadline = 0;
  std::uint64_t start = 0;
  std::uint8_t nonEmpty = 0;
  if (!Take(data, size, cap) || !Take(data, size, deadline) || !Take(data, size, start) ||
      !Take(data, size, nonEmpty)) {
    return 0;
  }
  talvo::HttpProfile profile = talvo::GatewayDescriptionGet;
  profile.maxBodyBytes = cap;
  profile.deadlineMs = deadline;
  profile.requireNonEmptyBody = (nonEmpty & 1) != 0;
  const talvo::BodyRule rule(profile, start);

  std::size_t held = 0;
  std::uint64_t now = start;
  for (int pass = 0; pass < 4096; ++pass) {
    std::uint16_t step = 0;
    std::uint16_t announced = 0;
    std::uint16_t received = 0;
    if (!Take(data, size, step) || !Take(data, size, announced) || !Take(data, size, received)) {
      break;
    }
    now = now > UINT64_MAX - step ? UINT64_MAX : now + step;  // a 64-bit tick never wraps
    const talvo::BodyStep decision = rule.Pass(now, announced, held);
    const bool late = now - start >= deadline;
    if (late && decision != talvo::BodyStep::Fail) std::abort();
    if (decision == talvo::BodyStep::Complete) {
      if (announced != 0 || (profile.requireNonEmptyBody && held == 0)) std::abort();
      break;
    }
    if (decision == talvo::BodyStep::Fail) break;
    if (announced == 0 || held + announced > cap) std::abort();
    if (!talvo::BodyRule::ReadAccepted(announced, received)) {
      if (received != 0 && received <= announced) std::abort();
      break;
    }
    held += received;
    if (held > cap) std::abort();
  }
  return 0;
}
