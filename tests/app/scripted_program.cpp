// The program with scripted probes instead of the network, for the terminal tests: the real
// console, keys, clock and threads, and a check whose course the argument chooses.
#include <chrono>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <thread>

#include "app/program.h"
#include "scripted_probes.h"

namespace {

// Waits as a probe does: until the cancel flag is set or the time is up.
void WaitUnlessCancelled(const talvo::CancelFlag& cancel, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!cancel.load() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

int main(int argc, char** argv) {
  using talvo::test::ScriptedProbes;
  const char* scenario = argc > 1 ? argv[1] : "quick";
  talvo::ProbeOperations probes;
  if (std::strcmp(scenario, "quick") == 0) {  // (80, High) at once
    probes = ScriptedProbes(true);
  } else if (std::strcmp(scenario, "low") == 0) {  // (3, High) at once
    probes = talvo::test::NoActiveRouteProbes();
  } else if (std::strcmp(scenario, "slow") == 0) {  // (80, High) after 1.5 s
    probes = ScriptedProbes(true, [](const talvo::CancelFlag& cancel) {
      WaitUnlessCancelled(cancel, std::chrono::milliseconds(1500));
    });
  } else if (std::strcmp(scenario, "hang") == 0) {  // runs until cancelled (at most 60 s)
    probes = ScriptedProbes(true, [](const talvo::CancelFlag& cancel) {
      WaitUnlessCancelled(cancel, std::chrono::seconds(60));
    });
  } else if (std::strcmp(scenario, "abort") == 0) {  // ends as an uncaught exception does
    probes = ScriptedProbes(true, [](const talvo::CancelFlag&) { std::terminate(); });
  } else if (std::strcmp(scenario, "error") == 0) {
    probes = ScriptedProbes(true, [](const talvo::CancelFlag&) {
      throw std::runtime_error("scripted failure");
    });
  } else {
    return 64;
  }
  return talvo::RunConsoleProgram(probes);
}
