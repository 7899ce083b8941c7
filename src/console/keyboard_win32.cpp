#include <windows.h>

#include <algorithm>
#include <deque>
#include <string>

#include "console/key_decoder.h"
#include "console/keyboard.h"

namespace talvo {
namespace {

// A key held down may come as one event with a repeat count; more presses than this are typed
// ahead of any screen and dropped anyway.
constexpr WORD kMaxRepeatedPresses = 16;
// Events taken per question whether a key waits: a storm of mouse events cannot hold the loop.
constexpr DWORD kMaxEventsPerPoll = 64;
// The longest earlier title kept to put back (a console title is far shorter).
constexpr DWORD kMaxTitleLength = 32768;

// The console as it was at the start, put back on every way out: the session's end, and Ctrl+C,
// a closed window, logoff or shutdown, which end the program from the thread the system starts
// for its control handler. Written before the handler is installed, only read afterwards.
struct ConsoleAtStart {
  HANDLE output = nullptr;
  WORD attributes = 0;
  bool haveAttributes = false;
  HANDLE input = nullptr;
  DWORD inputMode = 0;
  bool haveInputMode = false;
  std::wstring title;
  bool haveTitle = false;
};
ConsoleAtStart gStart;

bool Usable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// The console's own input mode. ENABLE_EXTENDED_FLAGS makes the quick-edit and insert bits of
// the saved mode count again, so quick-edit comes back as it was.
void RestoreInputMode() {
  if (gStart.haveInputMode) SetConsoleMode(gStart.input, gStart.inputMode | ENABLE_EXTENDED_FLAGS);
}

void RestoreConsole() {
  RestoreInputMode();
  if (gStart.haveTitle) SetConsoleTitleW(gStart.title.c_str());
}

[[noreturn]] void EndAsInterrupted() {
  if (gStart.haveAttributes) SetConsoleTextAttribute(gStart.output, gStart.attributes);
  RestoreConsole();
  // Not ExitProcess: the worker may be inside a request, and no library's detach code should
  // wait on a lock it held. Nothing is buffered: every write went straight to the system.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

// Ctrl+C and Ctrl+Break come as console events rather than keys. Closing the window, logging off
// and shutting down would go to the default handler, whose ExitProcess runs the libraries'
// detach code while the worker may hold them: they end the program as Ctrl+C does.
BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      EndAsInterrupted();
    default:
      return FALSE;
  }
}

// The console's title, whole; false when it cannot be read.
bool ReadTitle(std::wstring& title) {
  for (DWORD size = 256; size <= kMaxTitleLength; size *= 2) {
    title.assign(size, L'\0');
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetConsoleTitleW(title.data(), size);
    if (length == 0 && GetLastError() != ERROR_SUCCESS) return false;
    // Some consoles answer a buffer too small with 0 and no error, after storing what fits:
    // that is a longer title, not an empty one.
    if (length == 0 && title[0] != L'\0') continue;
    if (length < size - 1) {  // it fitted with its terminator
      title.resize(length);
      return true;
    }
  }
  return false;
}

}  // namespace

struct ConsoleSession::Platform {
  std::deque<int> codes;  // taken from the console ahead of the keys delivered
};

void ConsoleSession::PlatformDeleter::operator()(Platform* platform) const { delete platform; }

namespace {

// While the program waits for a key, Ctrl+C is read as a key, as _getch reads it: the program
// then ends itself, and the other programs on the console (the cmd.exe that started it) never
// see the interrupt. The mode comes back when the wait is over; Ctrl+C during a check is a
// console event, which the control handler takes.
class CtrlCAsKey {
 public:
  CtrlCAsKey() {
    const DWORD keysOnly = ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT);
    changed_ = GetConsoleMode(gStart.input, &previous_) != FALSE &&
               SetConsoleMode(gStart.input, previous_ & keysOnly) != FALSE;
  }
  ~CtrlCAsKey() {
    if (changed_) SetConsoleMode(gStart.input, previous_);
  }
  CtrlCAsKey(const CtrlCAsKey&) = delete;
  CtrlCAsKey& operator=(const CtrlCAsKey&) = delete;

 private:
  DWORD previous_ = 0;
  bool changed_ = false;
};

// Adds the codes of one input event; key releases, mouse, focus and size events give none.
void TakeEvent(const INPUT_RECORD& record, std::deque<int>& codes) {
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return;
  const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  ConsoleKeyPress press;
  press.virtualKey = key.wVirtualKeyCode;
  press.character = static_cast<char16_t>(key.uChar.UnicodeChar);
  press.ctrl = (key.dwControlKeyState & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
  press.alt = (key.dwControlKeyState & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
  const KeyCodes taken = KeyCodesForConsoleKey(press);
  const WORD presses = key.wRepeatCount < 1 ? 1 : std::min(key.wRepeatCount, kMaxRepeatedPresses);
  for (WORD n = 0; n < presses; ++n) {
    for (std::size_t i = 0; i < taken.count; ++i) codes.push_back(taken.codes[i]);
  }
}

}  // namespace

// NUL passes _isatty's character-device test but is no console: only a console input buffer
// has a console mode.
bool StandardInputIsInteractive() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

ConsoleSession::ConsoleSession(std::u16string_view title) : platform_(new Platform) {
  gStart.output = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  gStart.haveAttributes =
      Usable(gStart.output) && GetConsoleScreenBufferInfo(gStart.output, &info) != FALSE;
  gStart.attributes = info.wAttributes;
  gStart.input = GetStdHandle(STD_INPUT_HANDLE);
  gStart.haveInputMode =
      Usable(gStart.input) && GetConsoleMode(gStart.input, &gStart.inputMode) != FALSE;
  // A title that could not be read could not be put back: it is left as it is.
  gStart.haveTitle = ReadTitle(gStart.title);
  if (gStart.haveTitle) {
    const std::wstring shown(title.begin(), title.end());
    SetConsoleTitleW(shown.c_str());
  }
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ConsoleSession::~ConsoleSession() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  RestoreConsole();
}

bool ConsoleSession::KeyWaiting() {
  std::deque<int>& codes = platform_->codes;
  for (DWORD taken = 0; codes.empty() && taken < kMaxEventsPerPoll; ++taken) {
    DWORD waiting = 0;
    if (GetNumberOfConsoleInputEvents(gStart.input, &waiting) == FALSE || waiting == 0) break;
    INPUT_RECORD record{};
    DWORD read = 0;
    if (ReadConsoleInputW(gStart.input, &record, 1, &read) == FALSE || read == 0) break;
    TakeEvent(record, codes);
  }
  return !codes.empty();
}

int ConsoleSession::ReadKey() {
  std::deque<int>& codes = platform_->codes;
  if (codes.empty()) {
    const CtrlCAsKey ctrlCAsKey;
    while (codes.empty()) {
      INPUT_RECORD record{};
      DWORD read = 0;
      // Waits until the console has an event; fails once the console has gone.
      if (ReadConsoleInputW(gStart.input, &record, 1, &read) == FALSE) return kKeyEndOfInput;
      if (read == 1) TakeEvent(record, codes);
    }
  }
  const int code = codes.front();
  codes.pop_front();
  return code;
}

void ConsoleSession::DiscardPendingKeys() {
  platform_->codes.clear();
  FlushConsoleInputBuffer(gStart.input);
}

void ConsoleSession::EndByInterrupt() { EndAsInterrupted(); }

void ConsoleSession::SetCheckRunning(bool running) {
  if (!running) {
    RestoreInputMode();
    return;
  }
  // Without quick-edit a click is a mouse event, which the key reader passes over.
  if (gStart.haveInputMode) {
    const DWORD withoutQuickEdit = (gStart.inputMode | ENABLE_EXTENDED_FLAGS) &
                                   ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE);
    SetConsoleMode(gStart.input, withoutQuickEdit);
  }
}

}  // namespace talvo
