#include "console/console_output.h"

namespace talvo {
namespace {

// The console's colour bits are blue = 1, green = 2, red = 4, intensity = 8 (the background
// the same, four bits up); ANSI numbers its colours red = 1, green = 2, blue = 4.
int AnsiColourIndex(unsigned bits) {
  return ((bits & 4u) ? 1 : 0) | ((bits & 2u) ? 2 : 0) | ((bits & 1u) ? 4 : 0);
}

}  // namespace

std::u16string FormatDecimal(std::uint64_t value) {
  char16_t digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + value % 10u);
    value /= 10u;
  } while (value != 0);
  std::u16string text;
  text.reserve(count);
  while (count > 0) text.push_back(digits[--count]);
  return text;
}

std::u16string FormatDecimal(std::int64_t value) {
  if (value >= 0) return FormatDecimal(static_cast<std::uint64_t>(value));
  // Negating in unsigned arithmetic keeps the most negative value representable.
  std::u16string text = FormatDecimal(std::uint64_t{0} - static_cast<std::uint64_t>(value));
  text.insert(text.begin(), u'-');
  return text;
}

std::string AnsiSequenceForAttributes(std::uint16_t attributes, std::uint16_t savedAttributes) {
  if (attributes == savedAttributes) return "\x1b[0m";
  const unsigned foreground = attributes & 0x0Fu;
  const unsigned background = (attributes >> 4) & 0x0Fu;
  const int fg = ((foreground & 8u) ? 90 : 30) + AnsiColourIndex(foreground);
  const int bg = ((background & 8u) ? 100 : 40) + AnsiColourIndex(background);
  return "\x1b[0;" + std::to_string(fg) + ";" + std::to_string(bg) + "m";
}

}  // namespace talvo
