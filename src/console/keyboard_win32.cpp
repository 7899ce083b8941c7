#include <windows.h>
#include <conio.h>
#include <io.h>

#include <cstdio>

#include "console/keyboard.h"

namespace talvo {
namespace {

// After the flush only the code _getch holds back, and whatever was typed since, is left.
constexpr int kMaxHeldBackCodes = 16;

// The console colours at the start, put back when Ctrl+C ends the program; written before the
// control handler is installed, read by it on the thread the system starts for it.
HANDLE gOutput = nullptr;
WORD gStartAttributes = 0;
bool gHaveStartAttributes = false;

[[noreturn]] void EndAsInterrupted() {
  if (gHaveStartAttributes) SetConsoleTextAttribute(gOutput, gStartAttributes);
  // Not ExitProcess: the worker may be inside a request, and no library's detach code should
  // wait on a lock it held. Nothing is buffered: every write went straight to the system.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

// Ctrl+C typed while no _getch is waiting comes as a console event rather than a key.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  EndAsInterrupted();
}

}  // namespace

// _getch keeps the second code of a two-code key itself: nothing to hold here.
struct ConsoleSession::Platform {};

void ConsoleSession::PlatformDeleter::operator()(Platform* platform) const { delete platform; }

bool StandardInputIsInteractive() { return _isatty(_fileno(stdin)) != 0; }

ConsoleSession::ConsoleSession() {
  gOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  gHaveStartAttributes = gOutput != nullptr && gOutput != INVALID_HANDLE_VALUE &&
                         GetConsoleScreenBufferInfo(gOutput, &info) != FALSE;
  gStartAttributes = info.wAttributes;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ConsoleSession::~ConsoleSession() { SetConsoleCtrlHandler(OnConsoleControl, FALSE); }

bool ConsoleSession::KeyWaiting() { return _kbhit() != 0; }

int ConsoleSession::ReadKey() { return _getch(); }

void ConsoleSession::DiscardPendingKeys() {
  FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
  // The flush cannot reach the second code of a two-code key, which _getch holds itself.
  for (int taken = 0; taken < kMaxHeldBackCodes && _kbhit() != 0; ++taken) _getch();
}

void ConsoleSession::EndByInterrupt() { EndAsInterrupted(); }

}  // namespace talvo
