#include <conio.h>
#include <io.h>

#include <cstdio>

#include "console/keyboard.h"

namespace talvo {

// _getch keeps the second code of a two-code key itself: nothing to hold here.
struct ConsoleSession::Platform {};

void ConsoleSession::PlatformDeleter::operator()(Platform* platform) const { delete platform; }

bool StandardInputIsInteractive() { return _isatty(_fileno(stdin)) != 0; }

ConsoleSession::ConsoleSession() = default;
ConsoleSession::~ConsoleSession() = default;

bool ConsoleSession::KeyWaiting() { return _kbhit() != 0; }

int ConsoleSession::ReadKey() { return _getch(); }

}  // namespace talvo
