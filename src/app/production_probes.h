#pragma once
#include "check/probe_sequence.h"

namespace talvo {

// The real probes of this platform, for the program itself.
ProbeOperations BindProductionProbes();

}  // namespace talvo
