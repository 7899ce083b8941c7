#include "os/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace talvo {
namespace {

// Both directions, as the platform's CP_UTF8 conversions do them: a malformed or truncated
// sequence, an overlong form, an encoded surrogate and a lone surrogate each become U+FFFD.
TEST(Utf, ConvertsWellFormedTextAndReplacesWhatIsNot) {
  const struct {
    const char* label;
    std::string utf8;
    std::u16string utf16;
  } both[] = {
      {"ASCII and a zero byte", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"two, three and four bytes", "\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u00FC\u20AC\U0001F600"},
      {"the last code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const auto& c : both) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.label;
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.label;
  }
  const struct {
    const char* label;
    std::string utf8;
    std::u16string utf16;
  } toUtf16[] = {
      {"overlong slash", "\xC0\xAF", u"\uFFFD"},
      {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
      {"truncated at the end", "a\xE2\x82", u"a\uFFFD"},
      {"a stray byte is read again", "\xE2\x82x", u"\uFFFDx"},
      {"lone continuation", "\x80z", u"\uFFFDz"},
      {"no lead byte of five", "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
  };
  for (const auto& c : toUtf16) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.label;
  const struct {
    const char* label;
    std::u16string utf16;
    std::string utf8;
  } toUtf8[] = {
      {"lone high surrogate", u"\xD83Dx", "\xEF\xBF\xBDx"},
      {"lone low surrogate", u"x\xDE00", "x\xEF\xBF\xBD"},
      {"high surrogate at the end", u"\xD83D", "\xEF\xBF\xBD"},
      {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : toUtf8) EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.label;
}

}  // namespace
}  // namespace talvo
