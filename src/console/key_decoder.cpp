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

}  // namespace

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
