#pragma once
#include "check/probe_sequence.h"

namespace talvo {

// The whole program on this machine's console with the given probes: refuses a standard
// input that is not interactive (exit code 1, no output), picks the language and runs the
// main loop. The product passes the real probes; the terminal tests pass scripted ones.
int RunConsoleProgram(const ProbeOperations& probes);

}  // namespace talvo
