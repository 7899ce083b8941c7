#include "console/key_decoder.h"

#include <cstdint>

namespace talvo {
namespace {

bool IsCsiParameter(unsigned char c) { return c >= 0x30 && c <= 0x3F; }
bool IsCsiIntermediate(unsigned char c) { return c >= 0x20 && c <= 0x2F; }
bool IsCsiFinal(unsigned char c) { return c >= 0x40 && c <= 0x7E; }

// Scan codes of the Windows console keyboard.
constexpr int kScanHome = 71, kScanUp = 72, kScanPageUp = 73, kScanLeft = 75, kScanRight = 77,
              kScanEnd = 79, kScanDown = 80, kScanPageDown = 81, kScanInsert = 82,
              kScanDelete = 83, kScanF1 = 59, kScanF11 = 133, kScanF12 = 134;
constexpr std::array<int, 2> kUnknownKey{kExtendedKeyPrefix, 0};

// The letters on the R, L and F keys of the layouts that the shipped languages' users type with:
// unshifted and shifted, Russian ЙЦУКЕН, Thai Kedmanee, Korean two-set (ㅣ and ㄹ do not change
// with Shift), Hindi InScript.
struct LayoutLetter {
  char32_t character;
  char key;
};
constexpr LayoutLetter kLayoutLetters[] = {
    {U'к', 'R'}, {U'К', 'R'}, {U'พ', 'R'}, {U'ฑ', 'R'}, {U'ㄱ', 'R'}, {U'ㄲ', 'R'}, {U'ी', 'R'}, {U'ई', 'R'},
    {U'д', 'L'}, {U'Д', 'L'}, {U'ส', 'L'}, {U'ศ', 'L'}, {U'ㅣ', 'L'}, {U'त', 'L'}, {U'थ', 'L'},
    {U'а', 'F'}, {U'А', 'F'}, {U'ด', 'F'}, {U'โ', 'F'}, {U'ㄹ', 'F'}, {U'ि', 'F'}, {U'इ', 'F'},
};

// Windows virtual-key codes of the keys that type no character.
constexpr std::uint16_t kVkPageUp = 0x21, kVkPageDown = 0x22, kVkEnd = 0x23, kVkHome = 0x24,
                        kVkLeft = 0x25, kVkUp = 0x26, kVkRight = 0x27, kVkDown = 0x28,
                        kVkInsert = 0x2D, kVkDelete = 0x2E, kVkF1 = 0x70, kVkF12 = 0x7B;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLetterOrDigitKey(std::uint16_t virtualKey) {
  return (virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9');
}

std::array<int, 2> Extended(int scan) { return {kExtendedKeyPrefix, scan}; }
std::array<int, 2> Function(int number) {
  if (number == 11) return Extended(kScanF11);
  if (number == 12) return Extended(kScanF12);
  return {kFunctionKeyPrefix, kScanF1 + number - 1};
}

// The final letter of "Esc [ ... X" and "Esc O X"; modifier parameters do not change the key.
std::array<int, 2> ForFinalLetter(char letter) {
  switch (letter) {
    case 'A': return Extended(kScanUp);
    case 'B': return Extended(kScanDown);
    case 'C': return Extended(kScanRight);
    case 'D': return Extended(kScanLeft);
    case 'H': return Extended(kScanHome);
    case 'F': return Extended(kScanEnd);
    case 'P': return Function(1);
    case 'Q': return Function(2);
    case 'R': return Function(3);
    case 'S': return Function(4);
    default: return kUnknownKey;
  }
}

// "Esc [ n ~" and "Esc [ n ; m ~" (VT220 keys): the first number names the key.
std::array<int, 2> ForTildeNumber(int number) {
  switch (number) {
    case 1: case 7: return Extended(kScanHome);
    case 2: return Extended(kScanInsert);
    case 3: return Extended(kScanDelete);
    case 4: case 8: return Extended(kScanEnd);
    case 5: return Extended(kScanPageUp);
    case 6: return Extended(kScanPageDown);
    case 11: case 12: case 13: case 14: case 15: return Function(number - 10);
    case 17: case 18: case 19: case 20: case 21: return Function(number - 11);
    case 23: return Function(11);
    case 24: return Function(12);
    default: return kUnknownKey;
  }
}

// The navigation and function keys, named as the terminal decoder names them; modifiers do not
// change the key. {0, 0} for every other key.
std::array<int, 2> ForNavigationKey(std::uint16_t virtualKey) {
  switch (virtualKey) {
    case kVkUp: return Extended(kScanUp);
    case kVkDown: return Extended(kScanDown);
    case kVkLeft: return Extended(kScanLeft);
    case kVkRight: return Extended(kScanRight);
    case kVkHome: return Extended(kScanHome);
    case kVkEnd: return Extended(kScanEnd);
    case kVkPageUp: return Extended(kScanPageUp);
    case kVkPageDown: return Extended(kScanPageDown);
    case kVkInsert: return Extended(kScanInsert);
    case kVkDelete: return Extended(kScanDelete);
    default: break;
  }
  if (virtualKey >= kVkF1 && virtualKey <= kVkF12) return Function(virtualKey - kVkF1 + 1);
  return {0, 0};
}

KeyCodes One(int code) { return KeyCodes{{code, 0}, 1}; }
KeyCodes Two(std::array<int, 2> codes) { return KeyCodes{codes, 2}; }

}  // namespace

int KeyCodeForCharacter(char32_t character) {
  if (character < 0x80) return static_cast<int>(character);
  for (const LayoutLetter& letter : kLayoutLetters) {
    if (letter.character == character) return letter.key;
  }
  return kKeyOtherCharacter;
}

KeyCodes KeyCodesForConsoleKey(const ConsoleKeyPress& press) {
  const std::array<int, 2> navigation = ForNavigationKey(press.virtualKey);
  if (navigation[1] != 0) return Two(navigation);
  const bool typesSomething = press.character != 0 || IsLetterOrDigitKey(press.virtualKey);
  // Alt alone: an Alt combination, as _getch gives it and as a terminal's Esc and a key decode.
  if (press.alt && !press.ctrl) return typesSomething ? Two({kFunctionKeyPrefix, 0}) : KeyCodes{};
  if (!press.ctrl && IsLetterOrDigitKey(press.virtualKey)) return One(press.virtualKey);
  // A character beyond U+FFFF comes as two events: the second one is the key.
  if (press.character == 0 || IsHighSurrogate(press.character)) return KeyCodes{};
  return One(KeyCodeForCharacter(press.character));
}

bool EscapeSequenceComplete(std::string_view afterEsc) {
  if (afterEsc.empty()) return false;
  const char kind = afterEsc[0];
  if (kind == 'O') return afterEsc.size() >= 2;
  if (kind != '[') return true;  // Alt and a key: Esc and one byte
  if (afterEsc.size() >= 2 && afterEsc[1] == '[') return afterEsc.size() >= 3;  // Linux console F1-F5
  for (std::size_t i = 1; i < afterEsc.size(); ++i) {
    const auto c = static_cast<unsigned char>(afterEsc[i]);
    if (IsCsiParameter(c) || IsCsiIntermediate(c)) continue;
    return true;  // a final byte, or a byte that breaks the sequence off
  }
  return false;
}

std::array<int, 2> KeyCodesForEscapeSequence(std::string_view afterEsc) {
  if (afterEsc.empty()) return kUnknownKey;
  const char kind = afterEsc[0];
  if (kind == 'O') return afterEsc.size() == 2 ? ForFinalLetter(afterEsc[1]) : kUnknownKey;
  if (kind != '[') return {kFunctionKeyPrefix, 0};
  if (afterEsc.size() == 3 && afterEsc[1] == '[') {
    const char letter = afterEsc[2];
    if (letter >= 'A' && letter <= 'E') return Function(letter - 'A' + 1);
    return kUnknownKey;
  }
  if (afterEsc.size() < 2) return kUnknownKey;
  const auto final = static_cast<unsigned char>(afterEsc.back());
  if (!IsCsiFinal(final)) return kUnknownKey;
  const std::string_view body = afterEsc.substr(1, afterEsc.size() - 2);
  if (final == '~') {
    int number = 0;
    std::size_t digits = 0;
    while (digits < body.size() && body[digits] >= '0' && body[digits] <= '9' && digits < 3) {
      number = number * 10 + (body[digits] - '0');
      ++digits;
    }
    if (digits == 0 || (digits < body.size() && body[digits] != ';')) return kUnknownKey;
    return ForTildeNumber(number);
  }
  for (char c : body) {
    if (!IsCsiParameter(static_cast<unsigned char>(c))) return kUnknownKey;
  }
  return ForFinalLetter(static_cast<char>(final));
}

std::size_t Utf8ContinuationCount(unsigned char lead) {
  // C0, C1 and F5 to FF begin no valid sequence: overlong forms and code points past U+10FFFF.
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

}  // namespace talvo

namespace talvo {

int TerminalKeys::ReadByte(int timeoutMs) {
  if (pendingBytes_.empty()) return source_(timeoutMs);
  const auto byte = static_cast<unsigned char>(pendingBytes_.front());
  pendingBytes_.erase(0, 1);
  return byte;
}

// A letter such as ü is one key but several bytes: the others go with it, not left for the next
// screen or for the shell after the program has ended. A byte that cannot continue the character
// is the next key.
int TerminalKeys::ReadCharacter(unsigned char lead) {
  std::size_t left = Utf8ContinuationCount(lead);
  if (left == 0) return kKeyOtherCharacter;
  char32_t character = lead & (0x7Fu >> (left + 1));
  for (; left > 0; --left) {
    const int next = ReadByte(kKeyBytesGapMs);
    if (next < 0) return kKeyOtherCharacter;
    if (!IsUtf8Continuation(static_cast<unsigned char>(next))) {
      pendingBytes_.insert(pendingBytes_.begin(), static_cast<char>(next));
      return kKeyOtherCharacter;
    }
    character = (character << 6) | (static_cast<unsigned char>(next) & 0x3Fu);
  }
  return KeyCodeForCharacter(character);
}

int TerminalKeys::ReadKey() {
  if (pendingCode_ >= 0) {
    const int code = pendingCode_;
    pendingCode_ = -1;
    return code;
  }
  const int first = ReadByte(-1);
  if (first < 0) return kKeyEndOfInput;
  if (first >= 0x80) return ReadCharacter(static_cast<unsigned char>(first));
  if (first != kKeyEsc) return first;
  std::string sequence;
  while (sequence.size() < kMaxEscapeSequenceLength) {
    const int next = ReadByte(kKeyBytesGapMs);
    if (next < 0) break;
    if (sequence.empty() && next == kKeyEsc) {
      pendingBytes_.insert(pendingBytes_.begin(), static_cast<char>(next));  // Esc pressed twice
      break;
    }
    sequence.push_back(static_cast<char>(next));
    if (EscapeSequenceComplete(sequence)) break;
  }
  if (sequence.empty()) return kKeyEsc;
  const auto codes = KeyCodesForEscapeSequence(sequence);
  pendingCode_ = codes[1];
  return codes[0];
}

void TerminalKeys::Discard() {
  pendingBytes_.clear();
  pendingCode_ = -1;
}

}  // namespace talvo
