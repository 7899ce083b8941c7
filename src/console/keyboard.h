#pragma once
#include <memory>

namespace talvo {

// Whether standard input is an interactive console (a character device / terminal).
bool StandardInputIsInteractive();

// The console's keyboard for the life of the program. Keys come one code at a time, without
// echo, as _kbhit/_getch deliver them on Windows. On a POSIX terminal the session switches
// off echo and line buffering and puts the settings back on every way out: normal return,
// Ctrl-C, a crash (abort, SIGSEGV, SIGBUS, SIGFPE, SIGILL) and every other signal that would
// end the process and can be caught; the process then ends by that same signal. Ctrl-Z hands
// the shell its settings while the program is stopped and takes the terminal again when it
// continues in the foreground. Output errors (a closed pipe) never end the program.
class ConsoleSession {
 public:
  ConsoleSession();
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  bool KeyWaiting();
  // Waits for a key; kKeyEndOfInput once the terminal has gone away.
  int ReadKey();
  // Drops every key typed so far: the console's input queue and whatever has been read ahead
  // of the keys already delivered.
  void DiscardPendingKeys();
  // Ends the process the way Ctrl+C ends a console program, console settings put back first:
  // on Windows with STATUS_CONTROL_C_EXIT, on POSIX by SIGINT (exit status 130 in a shell).
  // Other threads are not waited for.
  [[noreturn]] void EndByInterrupt();

 private:
  // The platform file's part: what it reads ahead of the keys it has delivered.
  struct Platform;
  struct PlatformDeleter {
    void operator()(Platform* platform) const;
  };
  std::unique_ptr<Platform, PlatformDeleter> platform_;
};

}  // namespace talvo
