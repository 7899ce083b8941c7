#pragma once
#include <cstdint>

namespace talvo {

// Milliseconds on a clock that never jumps (GetTickCount64 / CLOCK_MONOTONIC).
std::uint64_t MonotonicMs();

void SleepMs(std::uint32_t milliseconds);

}  // namespace talvo
