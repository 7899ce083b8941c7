#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace talvo {

// Taken once per check: whether the status line and the coloured heading are used.
struct ConsoleState {
  // The standard output handle as the platform file took it (a HANDLE on Windows, a
  // descriptor elsewhere); only the platform file reads it.
  std::intptr_t handle = 0;
  bool isConsole = false;
  std::uint16_t savedAttributes = 0;
};

// Console attribute words; the whole word is replaced, so the background becomes black.
constexpr std::uint16_t kAttributeBrightGreen = 10;  // FOREGROUND_GREEN | FOREGROUND_INTENSITY
constexpr std::uint16_t kAttributeBrightRed = 12;    // FOREGROUND_RED | FOREGROUND_INTENSITY

// Where screens write: production binds WriteText, tests record the pieces.
using TextSink = std::function<void(std::u16string_view)>;

// One text to standard output in one write: UTF-16 to a console, UTF-8 (no byte-order mark)
// to anything else. Failures are not reported.
void WriteText(std::u16string_view text);
ConsoleState ProbeConsole();
void SetAttributes(const ConsoleState& state, std::uint16_t attributes);

std::u16string FormatDecimal(std::int64_t value);
std::u16string FormatDecimal(std::uint64_t value);
inline std::u16string FormatDecimal(int value) { return FormatDecimal(static_cast<std::int64_t>(value)); }
inline std::u16string FormatDecimal(unsigned value) {
  return FormatDecimal(static_cast<std::uint64_t>(value));
}

// A terminal has no attribute word: the attribute is drawn with an ANSI SGR sequence, and the
// saved attributes mean "the terminal's own defaults" (SGR 0).
std::string AnsiSequenceForAttributes(std::uint16_t attributes, std::uint16_t savedAttributes);

}  // namespace talvo
