#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "check/probe_sequence.h"
#include "check/verdict.h"
#include "console/console_output.h"
#include "text/catalogue.h"
#include "text/language_menu.h"

namespace talvo {

constexpr std::uint32_t kPollIntervalMs = 250;
constexpr std::uint64_t kCheckTimeLimitMs = 45000;

constexpr int kExitNormal = 0;
constexpr int kExitNotInteractive = 1;
// The worker thread could not be started: there is no check to show a result for.
constexpr int kExitNoWorker = 2;

constexpr std::u16string_view kTitleLine = u"TALVO LINK - NETWORK CHECK\n\n";
// The title line without its line ends: the console window's title while the program runs.
constexpr std::u16string_view kWindowTitle = kTitleLine.substr(0, kTitleLine.find(u'\n'));
constexpr std::u16string_view kFallbackLine = u"F: English fallback (if text is unreadable)\n";
constexpr std::u16string_view kStorePageAddress = u"https://apps.microsoft.com/detail/9NTLVLNKCHK1";

// Everything the main loop needs from the machine. The program binds the console, the
// monotonic clock and real threads; tests bind scripted keys, a recording sink and a fake clock.
struct FrontEnd {
  std::function<bool()> keyWaiting;  // is a key waiting? never blocks
  KeyReader readKey;                 // one key code, waiting for it
  KeyDiscarder discardKeys;          // drops every key typed so far
  // Ends the process as Ctrl+C ends a console program, the console put back first. It does not
  // return in the program (a test's fake throws), and it does not wait for the worker.
  std::function<void()> endByInterrupt;
  // Told true when a check starts and false when it has ended, on every way out: the console
  // keeps the mouse from pausing the program only while a check runs.
  std::function<void(bool running)> checkRunning;
  TextSink write;
  std::function<ConsoleState()> probeConsole;
  std::function<void(const ConsoleState&, std::uint16_t)> setAttributes;
  std::function<std::uint64_t()> now;  // monotonic milliseconds
  std::function<void(std::uint32_t)> sleep;
  // Starts `body` on `thread`; false when the system has no thread to give.
  std::function<bool(std::thread& thread, std::function<void()> body)> startThread;
};

// std::thread reports an exhausted system by throwing; here that is an expected value.
bool StartThread(std::thread& thread, std::function<void()> body);

enum class CheckOutcome { Cancelled, Failed, Finished };

struct CheckReport {
  CheckOutcome outcome = CheckOutcome::Failed;
  Verdict verdict;  // meaningful only for Finished
};

// What the main loop shares with one check's worker; reset before every check.
struct CheckSlot {
  CheckResult result;
  CancelFlag cancel{false};
  DoneFlag done{false};
};

// The redrawn status line: carriage return, row 5, spinner, elapsed seconds, blanking spaces.
std::u16string StatusLine(LanguageId language, std::uint64_t elapsedSeconds,
                          std::uint64_t spinnerStep);

void WriteStartScreen(const TextSink& write, LanguageId language);
void WriteResultScreen(const FrontEnd& io, const ConsoleState& console, LanguageId language,
                       const CheckReport& report);

// Cancelled (Esc), Failed (time limit or checkError; the limit marks checkError) or Finished.
CheckOutcome ClassifyCheck(bool cancelled, bool timedOut, CheckResult& result);

// One check: worker thread, status line, Esc, Ctrl+C and the time limit, classification. No
// value when the worker could not be started. `console` receives this check's console state.
std::optional<CheckReport> RunCheck(const ProbeOperations& probes, const FrontEnd& io,
                                    LanguageId language, CheckSlot& slot, ConsoleState& console);

// Start screen, checks and result screens until the user leaves; the process exit code.
// Each screen's key is one typed after the screen was written: keys typed ahead of it, and
// those left over from a check, are dropped. Ctrl+C ends the process from every screen.
int RunProgram(const ProbeOperations& probes, const FrontEnd& io, LanguageId startLanguage);

}  // namespace talvo
