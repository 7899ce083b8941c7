#include "app/program.h"

#include "app/main_loop.h"
#include "console/keyboard.h"
#include "os/clock.h"
#include "text/language.h"

namespace talvo {

int RunConsoleProgram(const ProbeOperations& probes) {
  if (!StandardInputIsInteractive()) return kExitNotInteractive;
  ConsoleSession session(kWindowTitle);
  FrontEnd io;
  io.keyWaiting = [&session] { return session.KeyWaiting(); };
  io.readKey = [&session] { return session.ReadKey(); };
  io.discardKeys = [&session] { session.DiscardPendingKeys(); };
  io.endByInterrupt = [&session] { session.EndByInterrupt(); };
  io.checkRunning = [&session](bool running) { session.SetCheckRunning(running); };
  io.write = [](std::u16string_view text) { WriteText(text); };
  io.probeConsole = ProbeConsole;
  io.setAttributes = SetAttributes;
  io.now = MonotonicMs;
  io.sleep = SleepMs;
  io.startThread = StartThread;
  return RunProgram(probes, io, DetectLanguage());
}

}  // namespace talvo
