#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace talvo {

// Key codes as the console run-time library delivers them.
constexpr int kKeyEsc = 27;
constexpr int kKeyEnter = 13;
constexpr int kKeyInterrupt = 3;  // Ctrl+C, which _getch delivers as a key
constexpr int kKeyEndOfInput = -1;  // the terminal is gone; no key will ever come
constexpr int kExtendedKeyPrefix = 224;
constexpr int kFunctionKeyPrefix = 0;
// A key that types a character outside ASCII and names no command: like any other key, and never
// mistaken for Esc, Enter, a digit, a letter or the first of two codes.
constexpr int kKeyOtherCharacter = 0x100;

// The key code of a typed character. ASCII is itself. The screens name their keys by the Latin
// letters R, L and F in every language, so the letters that the standard layouts of the shipped
// languages put on those keys (Russian ЙЦУКЕН, Thai Kedmanee, Korean two-set, Hindi InScript,
// either shift state) count as those keys, as the capital letter. Anything else is
// kKeyOtherCharacter.
int KeyCodeForCharacter(char32_t character);

// One key press as the Windows console reports it (a key-down KEY_EVENT_RECORD).
struct ConsoleKeyPress {
  std::uint16_t virtualKey = 0;
  char16_t character = 0;  // 0 when the key types none
  bool ctrl = false;       // either Ctrl key held (AltGr holds Ctrl and Alt)
  bool alt = false;        // either Alt key held
};

// The codes a key press gives, first to last (count 0, 1 or 2). The letter and digit keys are
// known by their virtual-key code whatever the layout types on them (к or พ on R, & or é on the
// digits of AZERTY), as the capital letter or the digit; with Ctrl or AltGr the character
// counts. Alt and a key give the two codes of an Alt combination, the navigation and function
// keys the two codes of the same key read from a terminal; modifiers and dead keys give none.
struct KeyCodes {
  std::array<int, 2> codes{};
  std::size_t count = 0;
};
KeyCodes KeyCodesForConsoleKey(const ConsoleKeyPress& press);

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

// The keys in a terminal's bytes, one code at a time as _getch gives them on Windows: an escape
// sequence as its key's two codes, a UTF-8 character as one key, Esc pressed twice as two Escs.
// What it has read ahead of the keys delivered (the second code of a key, the bytes after a
// sequence or a character) counts as a waiting key and goes with the keys typed ahead.
class TerminalKeys {
 public:
  static constexpr int kNoByte = -1;      // none came within the time given
  static constexpr int kInputEnded = -2;  // the terminal is gone
  // One byte of input, waiting at most timeoutMs (negative: as long as it takes); else kNoByte
  // or kInputEnded.
  using ByteSource = std::function<int(int timeoutMs)>;

  // How long the rest of an escape sequence or a character may take to arrive: a terminal sends
  // a key's bytes together, while a person cannot follow Esc with another key this fast.
  static constexpr int kKeyBytesGapMs = 50;

  explicit TerminalKeys(ByteSource source) : source_(std::move(source)) {}

  // Whether a key has been read ahead; the terminal may hold more.
  bool HoldsKey() const { return pendingCode_ >= 0 || !pendingBytes_.empty(); }
  // The next key; kKeyEndOfInput once the terminal has gone away.
  int ReadKey();
  // Drops what has been read ahead (the terminal's own queue is the caller's to flush).
  void Discard();

 private:
  int ReadByte(int timeoutMs);
  int ReadCharacter(unsigned char lead);

  ByteSource source_;
  std::string pendingBytes_;  // read ahead while looking for the end of a sequence or character
  int pendingCode_ = -1;      // the second code of a two-code key
};

}  // namespace talvo
