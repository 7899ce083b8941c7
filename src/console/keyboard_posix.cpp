#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "console/key_decoder.h"
#include "console/keyboard.h"

namespace talvo {
namespace {

// The settings to put back, readable from a signal handler.
termios gSavedTerminal{};
volatile sig_atomic_t gTerminalChanged = 0;
bool gHandlersInstalled = false;

// Every signal whose default action ends the process and that a handler may catch: Ctrl-C and
// the quit key, kill and hang-up, the crashes (abort, which an uncaught exception ends in, and
// the faults), timers, limits and the application signals; the real-time signals follow.
// SIGPIPE is ignored instead, so a closed output never ends the program.
constexpr int kEndingSignals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE,  SIGUSR1,
    SIGSEGV, SIGUSR2, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
struct sigaction gPreviousActions[NSIG];
bool gReplacedActions[NSIG] = {};
struct sigaction gPreviousPipeAction;

template <typename Action>
void ForEachEndingSignal(Action action) {
  for (int signalNumber : kEndingSignals) action(signalNumber);
#ifdef SIGRTMIN
  for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) action(signalNumber);
#endif
}

// The key settings, to take the terminal again after a stop.
termios gKeysTerminal{};
struct sigaction gPreviousStopAction;
struct sigaction gPreviousContinueAction;
struct sigaction gStopAction;

// The signal as it acts without us, even from inside its own handler (where it is blocked).
// Only async-signal-safe calls.
void RaiseWithDefaultAction(int signalNumber) {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signalNumber, &byDefault, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signalNumber);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signalNumber);
}

// Ctrl-Z: the shell gets its terminal back in the state it gave it, then the process stops as
// it would have without us. The handler runs with SIGTSTP blocked, so the default action is put
// back and the signal unblocked before raising it; raise returns once the process is continued.
extern "C" void RestoreTerminalAndStop(int) {
  const int savedErrno = errno;
  if (gTerminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
  RaiseWithDefaultAction(SIGTSTP);
  sigaction(SIGTSTP, &gStopAction, nullptr);
  errno = savedErrno;
}

// Continued (fg, or after a stop from elsewhere): the shell has put its own settings on the
// terminal meanwhile. Only the foreground may change them; a job continued in the background
// takes the terminal when it is brought to the foreground, which continues it again.
extern "C" void TakeTerminalAgain(int) {
  const int savedErrno = errno;
  if (gTerminalChanged && tcgetpgrp(STDIN_FILENO) == getpgrp()) {
    tcsetattr(STDIN_FILENO, TCSANOW, &gKeysTerminal);
  }
  errno = savedErrno;
}

// tcsetattr and raise are async-signal-safe. SA_RESETHAND has put the default action back, so
// the re-raised signal ends the process as it would have without us once this handler returns
// (a fault's signal before its instruction runs again).
extern "C" void RestoreTerminalAndDie(int signalNumber) {
  const int savedErrno = errno;
  if (gTerminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
  raise(signalNumber);
  errno = savedErrno;
}

// One byte from the terminal, as TerminalKeys asks for it.
int ReadTerminalByte(int timeoutMs) {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  for (;;) {
    const int ready = poll(&input, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return TerminalKeys::kInputEnded;
    if (ready == 0) return TerminalKeys::kNoByte;
    break;
  }
  unsigned char byte = 0;
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) continue;
    return TerminalKeys::kInputEnded;
  }
}

}  // namespace

struct ConsoleSession::Platform {
  TerminalKeys keys{ReadTerminalByte};
};

void ConsoleSession::PlatformDeleter::operator()(Platform* platform) const { delete platform; }

bool StandardInputIsInteractive() { return isatty(STDIN_FILENO) == 1; }

ConsoleSession::ConsoleSession(std::u16string_view) : platform_(new Platform) {
  // Writing to a closed pipe must not end the program: output errors are ignored.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &gPreviousPipeAction);

  if (tcgetattr(STDIN_FILENO, &gSavedTerminal) != 0) return;
  struct sigaction restore {};
  restore.sa_handler = RestoreTerminalAndDie;
  sigemptyset(&restore.sa_mask);
  restore.sa_flags = SA_RESETHAND | SA_RESTART;
  ForEachEndingSignal([&restore](int signalNumber) {
    if (signalNumber <= 0 || signalNumber >= NSIG) return;
    gReplacedActions[signalNumber] = sigaction(signalNumber, &restore, &gPreviousActions[signalNumber]) == 0;
  });
  termios keys = gSavedTerminal;
  keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));  // ISIG stays: Ctrl-C still ends us
  keys.c_iflag &= static_cast<tcflag_t>(~ICRNL);  // Enter arrives as 13, as on Windows
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  gKeysTerminal = keys;
  gStopAction = {};
  gStopAction.sa_handler = RestoreTerminalAndStop;
  sigemptyset(&gStopAction.sa_mask);
  gStopAction.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &gStopAction, &gPreviousStopAction);
  struct sigaction resume {};
  resume.sa_handler = TakeTerminalAgain;
  sigemptyset(&resume.sa_mask);
  resume.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &resume, &gPreviousContinueAction);
  gHandlersInstalled = true;
  gTerminalChanged = 1;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) gTerminalChanged = 0;
}

ConsoleSession::~ConsoleSession() {
  if (gHandlersInstalled) {
    // Cleared first, so a SIGCONT arriving now cannot put the key settings back.
    const bool changed = gTerminalChanged != 0;
    gTerminalChanged = 0;
    if (changed) tcsetattr(STDIN_FILENO, TCSADRAIN, &gSavedTerminal);
    gHandlersInstalled = false;
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
      if (!gReplacedActions[signalNumber]) continue;
      sigaction(signalNumber, &gPreviousActions[signalNumber], nullptr);
      gReplacedActions[signalNumber] = false;
    }
    sigaction(SIGTSTP, &gPreviousStopAction, nullptr);
    sigaction(SIGCONT, &gPreviousContinueAction, nullptr);
  }
  sigaction(SIGPIPE, &gPreviousPipeAction, nullptr);
}

bool ConsoleSession::KeyWaiting() {
  if (platform_->keys.HoldsKey()) return true;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  return poll(&input, 1, 0) > 0;
}

int ConsoleSession::ReadKey() { return platform_->keys.ReadKey(); }

void ConsoleSession::DiscardPendingKeys() {
  platform_->keys.Discard();
  tcflush(STDIN_FILENO, TCIFLUSH);
}

// A terminal has no selection that stops the program.
void ConsoleSession::SetCheckRunning(bool) {}

void ConsoleSession::EndByInterrupt() {
  // What the terminal's own Ctrl-C does: settings back, then the default action of SIGINT,
  // whatever the program was started with.
  if (gTerminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
  gTerminalChanged = 0;
  RaiseWithDefaultAction(SIGINT);
  _exit(128 + SIGINT);
}

}  // namespace talvo
