#include "os/clock.h"

#include <time.h>

#include <cerrno>

namespace talvo {

std::uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

void SleepMs(std::uint32_t milliseconds) {
  timespec wanted{static_cast<time_t>(milliseconds / 1000u),
                  static_cast<long>(milliseconds % 1000u) * 1000000L};
  // A signal must not cut the sleep short: the caller's polling period depends on it.
  while (nanosleep(&wanted, &wanted) != 0 && errno == EINTR) {
  }
}

}  // namespace talvo
