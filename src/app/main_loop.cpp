#include "app/main_loop.h"

#include <system_error>

#include "console/key_decoder.h"

namespace talvo {
namespace {

constexpr char16_t kSpinner[4] = {u'|', u'/', u'-', u'\\'};

// Letter keys count in either case.
bool IsLetterKey(int key, char upper) { return key == upper || key == upper + 32; }

TextId EvidenceRow(EvidenceLevel level) {
  switch (level) {
    case EvidenceLevel::High: return TextId::EvidenceHigh;
    case EvidenceLevel::Medium: return TextId::EvidenceMedium;
    case EvidenceLevel::Low: break;
  }
  return TextId::EvidenceLow;
}

// Joins on every way out of RunCheck (a std::thread destroyed while joinable ends the
// process); an early way out also cancels, so the wait is only for the probe that is running.
class JoinOnExit {
 public:
  JoinOnExit(std::thread& thread, CancelFlag& cancel) : thread_(thread), cancel_(cancel) {}
  ~JoinOnExit() {
    if (!thread_.joinable()) return;
    cancel_.exchange(true);
    thread_.join();
  }
  JoinOnExit(const JoinOnExit&) = delete;
  JoinOnExit& operator=(const JoinOnExit&) = delete;

 private:
  std::thread& thread_;
  CancelFlag& cancel_;
};

// The console knows a check is running from the worker's start to the end of RunCheck.
class CheckRunningMark {
 public:
  explicit CheckRunningMark(const FrontEnd& io) : io_(io) { io_.checkRunning(true); }
  ~CheckRunningMark() { io_.checkRunning(false); }
  CheckRunningMark(const CheckRunningMark&) = delete;
  CheckRunningMark& operator=(const CheckRunningMark&) = delete;

 private:
  const FrontEnd& io_;
};

// Ctrl+C ends the program wherever a key is read, as the terminal's own signal would.
int ReadKeyOrEnd(const FrontEnd& io) {
  const int key = io.readKey();
  if (key == kKeyInterrupt) io.endByInterrupt();
  return key;
}

// A screen's key: one typed after the screen was written. Keys typed earlier were meant for
// something else (a second Esc for a check that has ended, an Enter typed with the command).
int ReadScreenKey(const FrontEnd& io) {
  io.discardKeys();
  return ReadKeyOrEnd(io);
}

void OpenLanguageMenu(const FrontEnd& io, LanguageId& language) {
  ChooseLanguage(language, [&io] { return ReadKeyOrEnd(io); }, io.discardKeys, io.write);
}

}  // namespace

bool StartThread(std::thread& thread, std::function<void()> body) {
  try {
    thread = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

std::u16string StatusLine(LanguageId language, std::uint64_t elapsedSeconds,
                          std::uint64_t spinnerStep) {
  return u"\r" + TextFor(language, TextId::Checking) + u" " + kSpinner[spinnerStep % 4] + u" " +
         FormatDecimal(elapsedSeconds) + u"s   ";
}

void WriteStartScreen(const TextSink& write, LanguageId language) {
  write(kTitleLine);
  WriteRow(write, language, TextId::Intro);
  WriteRow(write, language, TextId::NoChanges);
  WriteRow(write, language, TextId::LookupNotice);
  WriteRow(write, language, TextId::StartPrompt);
  write(kFallbackLine);
}

void WriteResultScreen(const FrontEnd& io, const ConsoleState& console, LanguageId language,
                       const CheckReport& report) {
  switch (report.outcome) {
    case CheckOutcome::Cancelled:
      WriteRow(io.write, language, TextId::CancelledHeading);
      break;
    case CheckOutcome::Failed:
      WriteRow(io.write, language, TextId::ErrorHeading);
      break;
    case CheckOutcome::Finished: {
      const Verdict& verdict = report.verdict;
      const bool likely = verdict.score >= 50;
      if (console.isConsole) {
        io.setAttributes(console, likely ? kAttributeBrightGreen : kAttributeBrightRed);
      }
      WriteRow(io.write, language, likely ? TextId::CompatibleHeading : TextId::LowHeading);
      if (console.isConsole) io.setAttributes(console, console.savedAttributes);
      io.write(TextFor(language, TextId::ScoreLabel) + u": " + FormatDecimal(verdict.score) +
               u" / 100\n");
      io.write(TextFor(language, TextId::EvidenceLabel) + u": " +
               TextFor(language, EvidenceRow(verdict.level)) + u"\n");
      io.write(TextFor(language, TextId::ReasonLabel) + u": " + ReasonFor(language, verdict.reason) +
               u"\n");
      WriteRow(io.write, language, TextId::CheckRequirements);
      WriteRow(io.write, language, TextId::EstimateOnly);
      break;
    }
  }
  io.write(u"\n" + TextFor(language, TextId::ProductInfoLabel) + u": " +
           std::u16string(kStorePageAddress) + u"\n");
  WriteRow(io.write, language, TextId::ResultPrompt);
  io.write(kFallbackLine);
}

CheckOutcome ClassifyCheck(bool cancelled, bool timedOut, CheckResult& result) {
  if (cancelled && !timedOut) return CheckOutcome::Cancelled;
  // Past the limit the check failed, whatever the worker delivered afterwards.
  if (timedOut) result.checkError = true;
  return result.checkError ? CheckOutcome::Failed : CheckOutcome::Finished;
}

std::optional<CheckReport> RunCheck(const ProbeOperations& probes, const FrontEnd& io,
                                    LanguageId language, CheckSlot& slot, ConsoleState& console) {
  slot.cancel.store(false);
  slot.done.store(false);
  slot.result = CheckResult{};
  bool timedOut = false;
  std::uint64_t spinnerStep = 0;

  const std::uint64_t startTick = io.now();
  const WorkerContext context{slot.result, slot.cancel, slot.done};
  std::thread worker;
  if (!io.startThread(worker, [&context, &probes] { RunCheckWorker(context, probes); })) {
    return std::nullopt;
  }
  const JoinOnExit joinWorker(worker, slot.cancel);

  {
    const CheckRunningMark running(io);
    console = io.probeConsole();
    // The worker is never abandoned: after a cancel the loop goes on until it reports done.
    while (!slot.done.load()) {
      if (console.isConsole) {
        const std::uint64_t elapsedSeconds = (io.now() - startTick) / 1000u;
        io.write(StatusLine(language, elapsedSeconds, spinnerStep));
        ++spinnerStep;
      }
      if (io.keyWaiting()) {
        const int key = io.readKey();
        if (key == kKeyEsc) slot.cancel.exchange(true);
        if (key == kKeyInterrupt) {
          // No request may start after Ctrl+C: the worker reads the flag before each one. The
          // probe running now is not waited for; the process ends with it.
          slot.cancel.exchange(true);
          io.endByInterrupt();
        }
      }
      if (!slot.cancel.load() && io.now() - startTick >= kCheckTimeLimitMs) {
        timedOut = true;
        slot.cancel.exchange(true);
      }
      io.sleep(kPollIntervalMs);
    }
    worker.join();
  }
  if (console.isConsole) io.write(u"\n");

  CheckReport report;
  report.outcome = ClassifyCheck(slot.cancel.load(), timedOut, slot.result);
  if (report.outcome == CheckOutcome::Finished) report.verdict = DecideVerdict(slot.result);
  return report;
}

int RunProgram(const ProbeOperations& probes, const FrontEnd& io, LanguageId startLanguage) {
  LanguageId language = startLanguage;
  for (;;) {
    WriteStartScreen(io.write, language);
    const int key = ReadScreenKey(io);
    if (key == kKeyEndOfInput) return kExitNormal;  // nobody left to show a result to
    if (IsLetterKey(key, 'L')) {
      OpenLanguageMenu(io, language);
    } else if (IsLetterKey(key, 'F')) {
      language = LanguageId::English;
    } else {
      break;
    }
  }

  CheckSlot slot;
  ConsoleState console;
  for (;;) {
    const std::optional<CheckReport> report = RunCheck(probes, io, language, slot, console);
    if (!report) return kExitNoWorker;
    bool retry = false;
    while (!retry) {
      WriteResultScreen(io, console, language, *report);
      const int key = ReadScreenKey(io);
      if (IsLetterKey(key, 'L')) {
        OpenLanguageMenu(io, language);
      } else if (IsLetterKey(key, 'F')) {
        language = LanguageId::English;
      } else if (IsLetterKey(key, 'R')) {
        retry = true;
      } else {
        return kExitNormal;
      }
    }
  }
}

}  // namespace talvo
