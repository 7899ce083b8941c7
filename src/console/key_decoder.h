#pragma once
#include <array>
#include <cstddef>
#include <string_view>

namespace talvo {

// Key codes as the console run-time library delivers them.
constexpr int kKeyEsc = 27;
constexpr int kKeyEnter = 13;
constexpr int kKeyInterrupt = 3;  // Ctrl+C, which _getch delivers as a key
constexpr int kKeyEndOfInput = -1;  // the terminal is gone; no key will ever come
constexpr int kExtendedKeyPrefix = 224;
constexpr int kFunctionKeyPrefix = 0;

// A terminal sends an arrow or function key as Esc followed by a few bytes. Longer runs are
// cut off here so that a stream of garbage cannot hold the reader.
constexpr std::size_t kMaxEscapeSequenceLength = 16;

// Whether the bytes that followed an Esc (at least one) already form a whole sequence.
bool EscapeSequenceComplete(std::string_view afterEsc);

// The two codes that _getch gives on Windows for the key the sequence names: a prefix (224 for
// the navigation keys, F11 and F12, 0 for F1 to F10 and Alt combinations) and a scan code.
// Never Esc, Enter, a digit or a letter as the first code, so no such key is mistaken.
std::array<int, 2> KeyCodesForEscapeSequence(std::string_view afterEsc);

// A key outside ASCII reaches a UTF-8 terminal as a lead byte and this many continuation bytes;
// 0 for a byte that leads no sequence.
std::size_t Utf8ContinuationCount(unsigned char lead);
constexpr bool IsUtf8Continuation(unsigned char byte) { return (byte & 0xC0u) == 0x80u; }

}  // namespace talvo
