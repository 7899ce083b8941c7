#include <unistd.h>

#include <cerrno>
#include <string>

#include "console/console_output.h"
#include "os/utf.h"

namespace talvo {
namespace {

// A terminal's own colours cannot be read back; this stands for "the terminal's defaults".
constexpr std::uint16_t kTerminalDefaultAttributes = 7;

void WriteBytes(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // output errors are not reported
    written += static_cast<std::size_t>(n);
  }
}

}  // namespace

// A terminal takes UTF-8 as well, so both paths write the same bytes here.
void WriteText(std::u16string_view text) {
  if (text.empty()) return;
  WriteBytes(STDOUT_FILENO, Utf16ToUtf8(text));
}

ConsoleState ProbeConsole() {
  ConsoleState state;
  state.handle = STDOUT_FILENO;
  state.isConsole = ::isatty(STDOUT_FILENO) == 1;
  state.savedAttributes = state.isConsole ? kTerminalDefaultAttributes : 0;
  return state;
}

void SetAttributes(const ConsoleState& state, std::uint16_t attributes) {
  if (!state.isConsole) return;
  WriteBytes(static_cast<int>(state.handle), AnsiSequenceForAttributes(attributes, state.savedAttributes));
}

}  // namespace talvo
