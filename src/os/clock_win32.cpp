#include "os/clock.h"

#include <windows.h>

namespace talvo {

std::uint64_t MonotonicMs() { return GetTickCount64(); }

void SleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace talvo
