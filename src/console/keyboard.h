#pragma once
#include <memory>
#include <string_view>

namespace talvo {

// Whether standard input is an interactive console: a terminal, or on Windows a console input
// buffer (NUL is a character device too, and types nothing).
bool StandardInputIsInteractive();

// The console's keyboard for the life of the program. Keys come one code at a time, without
// echo, in the codes _getch gives on Windows (see key_decoder.h). On a POSIX terminal the session switches
// off echo and line buffering and puts the settings back on every way out: normal return,
// Ctrl-C, a crash (abort, SIGSEGV, SIGBUS, SIGFPE, SIGILL) and every other signal that would
// end the process and can be caught; the process then ends by that same signal. Ctrl-Z hands
// the shell its settings while the program is stopped and takes the terminal again when it
// continues in the foreground. Output errors (a closed pipe) never end the program.
// On Windows the keys are read as key events, the letter and digit keys by their virtual-key
// code; the console window shows `title` until the session ends, and closing the window,
// logging off and shutting down end the program as Ctrl+C does. The console's own title and
// input mode come back on every way out.
class ConsoleSession {
 public:
  explicit ConsoleSession(std::u16string_view title);
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
  // While a check runs the mouse must not pause the program: on Windows a click would start a
  // quick-edit selection, which holds every write until a key is pressed. Quick-edit is off
  // from true until false, which gives the console its own mode back.
  void SetCheckRunning(bool running);

 private:
  // The platform file's part: what it reads ahead of the keys it has delivered.
  struct Platform;
  struct PlatformDeleter {
    void operator()(Platform* platform) const;
  };
  std::unique_ptr<Platform, PlatformDeleter> platform_;
};

}  // namespace talvo
