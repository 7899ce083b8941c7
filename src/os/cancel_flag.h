#pragma once
#include <atomic>

namespace talvo {

// Set by the main loop (Esc or the time limit) with an atomic exchange and read by the check's
// worker with atomic loads. Every probe that waits on the network takes it by reference and
// reads it between its waits.
using CancelFlag = std::atomic<bool>;

}  // namespace talvo
