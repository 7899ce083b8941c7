#include "text/translations.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace talvo {
namespace {

using Text = std::u16string_view;

// The languages after English and Korean: Translated(i) is LanguageId i + 2.
constexpr int kTranslatedCount = kLanguageCount - 2;
constexpr int kFrench = 6 - 2;
const LanguageTexts& Translated(int index) { return kTranslations[index + 2]; }

// Every text of one language, rows first, with a label for failure messages.
struct Entry {
  std::string name;
  Text text;
};

std::vector<Entry> AllTexts(int index) {
  std::vector<Entry> all;
  const LanguageTexts& lang = Translated(index);
  for (int i = 0; i < kTextRowCount; ++i) all.push_back({"row " + std::to_string(i), lang.rows[i]});
  for (int i = 0; i < kReasonCount; ++i) {
    all.push_back({"reason " + std::to_string(i), lang.reasons[i]});
  }
  return all;
}

std::string LanguageName(int index) { return "LanguageId " + std::to_string(index + 2); }

bool IsWhitespace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\u00A0' ||
         c == u'\u3000';
}

bool IsValidUtf16(Text text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

bool Contains(Text text, Text part) { return text.find(part) != Text::npos; }
bool StartsWith(Text text, Text prefix) { return text.substr(0, prefix.size()) == prefix; }
bool EndsWith(Text text, Text suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Lower-case Latin letters: ASCII, Latin-1, Latin Extended-A, the Vietnamese horned vowels and
// Latin Extended Additional, which covers every Latin letter our languages use.
bool IsLowerCaseLatin(char16_t c) {
  if (c >= u'a' && c <= u'z') return true;
  if (c >= 0xDF && c <= 0xFF) return c != 0xF7;
  if (c >= 0x100 && c <= 0x17F) {
    // Capital and small alternate, capital first, except in two runs where the pairing is
    // shifted by one; three small letters stand alone.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 0;
    if (c == 0x138 || c == 0x149 || c == 0x17F) return true;
    if (c == 0x178) return false;
    return c % 2 == 1;
  }
  if (c == 0x1A1 || c == 0x1B0) return true;  // o and u with horn
  if (c >= 0x1E00 && c <= 0x1EFF) return c % 2 == 1;
  return false;
}

bool HasLowerCaseLatin(Text text) {
  for (char16_t c : text) {
    if (IsLowerCaseLatin(c)) return true;
  }
  return false;
}

TEST(Translations, EveryTextIsOneCleanLine) {
  for (int lang = 0; lang < kTranslatedCount; ++lang) {
    for (const Entry& entry : AllTexts(lang)) {
      SCOPED_TRACE(LanguageName(lang) + " " + entry.name);
      const Text text = entry.text;
      ASSERT_FALSE(text.empty());
      EXPECT_FALSE(IsWhitespace(text.front()));
      EXPECT_FALSE(IsWhitespace(text.back()));
      EXPECT_EQ(text.find_first_of(u"\n\r\t"), Text::npos);
      EXPECT_EQ(text.find(u"  "), Text::npos);
      EXPECT_TRUE(IsValidUtf16(text));
      EXPECT_EQ(text.find(u'\uFFFD'), Text::npos);  // a mangled source conversion
    }
  }
}

TEST(Translations, Utf16CheckRejectsLoneSurrogates) {
  const char16_t loneHigh[] = {u'a', 0xD83D, u'b', 0};
  const char16_t loneLow[] = {u'a', 0xDE00, 0};
  const char16_t trailingHigh[] = {u'a', 0xD83D, 0};
  EXPECT_FALSE(IsValidUtf16(loneHigh));
  EXPECT_FALSE(IsValidUtf16(loneLow));
  EXPECT_FALSE(IsValidUtf16(trailingHigh));
  EXPECT_TRUE(IsValidUtf16(u"\U0001F600 ok"));
}

// The key letters are what the user presses, so they stay Latin; the hint inside the prompts is
// the language row 4 word for word, so one language never names the key two ways.
TEST(Translations, PromptsKeepTheKeyLetters) {
  for (int lang = 0; lang < kTranslatedCount; ++lang) {
    SCOPED_TRACE(LanguageName(lang));
    const LanguageTexts& t = Translated(lang);
    const Text languageHint = t.rows[4];
    ASSERT_TRUE(StartsWith(languageHint, u"L: "));
    ASSERT_GT(languageHint.size(), 3u);

    const std::u16string startTail = u" | " + std::u16string(languageHint);
    EXPECT_TRUE(EndsWith(t.rows[3], startTail));
    EXPECT_GT(t.rows[3].size(), startTail.size());

    EXPECT_TRUE(StartsWith(t.rows[19], u"R: "));
    EXPECT_TRUE(Contains(t.rows[19], u" | " + std::u16string(languageHint) + u" | "));
    EXPECT_FALSE(EndsWith(t.rows[19], u" | "));
  }
}

TEST(Translations, EscHintNamesTheKeyAsPrintedAndMatchesInBothRows) {
  for (int lang = 0; lang < kTranslatedCount; ++lang) {
    SCOPED_TRACE(LanguageName(lang));
    const LanguageTexts& t = Translated(lang);
    const std::u16string keyName = lang == kFrench ? u"Échap" : u"Esc";

    const Text status = t.rows[5];
    ASSERT_TRUE(EndsWith(status, u")"));
    const size_t open = status.rfind(u'(');
    ASSERT_NE(open, Text::npos);
    const Text escHint = status.substr(open + 1, status.size() - open - 2);
    EXPECT_TRUE(StartsWith(escHint, keyName + u": "));
    EXPECT_GT(escHint.size(), keyName.size() + 2);

    const Text menu = t.rows[20];
    EXPECT_TRUE(Contains(menu, u"(1-17)"));
    EXPECT_TRUE(EndsWith(menu, escHint));
    EXPECT_LT(menu.find(u"(1-17)"), menu.size() - escHint.size());
  }
}

TEST(Translations, HeadingsKeepTheBracketFormInCapitals) {
  for (int lang = 0; lang < kTranslatedCount; ++lang) {
    const LanguageTexts& t = Translated(lang);
    for (int row : {6, 8, 9}) {
      SCOPED_TRACE(LanguageName(lang) + " row " + std::to_string(row));
      EXPECT_TRUE(StartsWith(t.rows[row], u"[ "));
      EXPECT_TRUE(EndsWith(t.rows[row], u" ]"));
      EXPECT_FALSE(HasLowerCaseLatin(t.rows[row]));
      EXPECT_EQ(t.rows[row].find(u']'), t.rows[row].size() - 1);
    }
    // The error heading is followed by a plain request to retry.
    SCOPED_TRACE(LanguageName(lang) + " row 7");
    const Text error = t.rows[7];
    ASSERT_TRUE(StartsWith(error, u"[ "));
    const size_t close = error.find(u" ] ");
    ASSERT_NE(close, Text::npos);
    EXPECT_FALSE(HasLowerCaseLatin(error.substr(0, close)));
    EXPECT_GT(error.size(), close + 3);
  }
}

TEST(Translations, LabelsAndEvidenceWords) {
  for (int lang = 0; lang < kTranslatedCount; ++lang) {
    const LanguageTexts& t = Translated(lang);
    for (int row : {10, 11, 15, 18}) {
      SCOPED_TRACE(LanguageName(lang) + " label row " + std::to_string(row));
      EXPECT_FALSE(EndsWith(t.rows[row], u":"));
      EXPECT_FALSE(EndsWith(t.rows[row], u"："));
      EXPECT_FALSE(EndsWith(t.rows[row], u"."));
    }
    SCOPED_TRACE(LanguageName(lang) + " evidence words");
    for (int row : {12, 13, 14}) EXPECT_FALSE(HasLowerCaseLatin(t.rows[row])) << row;
    EXPECT_NE(t.rows[12], t.rows[13]);
    EXPECT_NE(t.rows[13], t.rows[14]);
    EXPECT_NE(t.rows[12], t.rows[14]);
  }
}

TEST(Translations, CapitalCheckSeesLatinLowerCase) {
  EXPECT_TRUE(HasLowerCaseLatin(u"HOCh"));
  EXPECT_TRUE(HasLowerCaseLatin(u"ÉLEVé"));
  EXPECT_TRUE(HasLowerCaseLatin(u"NISKı"));
  EXPECT_TRUE(HasLowerCaseLatin(u"BŁąD"));
  EXPECT_TRUE(HasLowerCaseLatin(u"KIỂm"));
  EXPECT_TRUE(HasLowerCaseLatin(u"TƯƠNG THíCH"));
  EXPECT_FALSE(HasLowerCaseLatin(u"ŚREDNI İPTAL ÉLEVÉ ĽŁ ĐÃ HỦY KIỂM TƯƠNG"));
  EXPECT_FALSE(HasLowerCaseLatin(u"高 ВЫСОКАЯ"));
}

struct TokenCase {
  bool reason;
  int id;
  std::u16string_view token;
};

// Protocol names are what the user would search for or read in the router's manual.
constexpr TokenCase kTokens[] = {
    {false, 0, u"HTTPS"}, {false, 2, u"IP"},     {true, 3, u"IPv4"},   {true, 4, u"IPv4"},
    {true, 5, u"IPv6"},   {true, 6, u"UPnP"},    {true, 6, u"WAN"},    {true, 7, u"NAT-PMP"},
    {true, 8, u"PCP"},    {true, 11, u"NAT"},    {true, 12, u"NAT"},
};

TEST(Translations, TechnicalTokensSurvive) {
  for (int lang = 0; lang < kTranslatedCount; ++lang) {
    const LanguageTexts& t = Translated(lang);
    for (const TokenCase& c : kTokens) {
      const Text text = c.reason ? t.reasons[c.id] : t.rows[c.id];
      EXPECT_TRUE(Contains(text, c.token))
          << LanguageName(lang) << (c.reason ? " reason " : " row ") << c.id;
    }
    // The IPv6 reason names it twice: the route found and what recipients may need.
    const Text ipv6 = t.reasons[5];
    EXPECT_NE(ipv6.find(u"IPv6"), ipv6.rfind(u"IPv6")) << LanguageName(lang);
  }
}

// A pasted block or a shifted line shows up as a repeated text.
TEST(Translations, NoTextIsRepeatedWhereItMustDiffer) {
  for (int lang = 0; lang < kTranslatedCount; ++lang) {
    const LanguageTexts& t = Translated(lang);
    for (int a = 0; a < kReasonCount; ++a) {
      for (int b = a + 1; b < kReasonCount; ++b) {
        EXPECT_NE(t.reasons[a], t.reasons[b]) << LanguageName(lang) << " reasons " << a << ", " << b;
      }
    }
    for (int a = 0; a < kTextRowCount; ++a) {
      for (int b = a + 1; b < kTextRowCount; ++b) {
        EXPECT_NE(t.rows[a], t.rows[b]) << LanguageName(lang) << " rows " << a << ", " << b;
      }
    }
  }
  for (int a = 0; a < kTranslatedCount; ++a) {
    for (int b = a + 1; b < kTranslatedCount; ++b) {
      EXPECT_NE(Translated(a).rows[0], Translated(b).rows[0]) << a + 2 << ", " << b + 2;
      EXPECT_NE(Translated(a).reasons[2], Translated(b).reasons[2]) << a + 2 << ", " << b + 2;
    }
  }
}

bool InRange(char16_t c, char16_t first, char16_t last) { return c >= first && c <= last; }

enum class Script { Latin, Kana, Han, Thai, Devanagari, Cyrillic };

bool HasScript(Text text, Script script) {
  for (char16_t c : text) {
    switch (script) {
      case Script::Latin:
        if (InRange(c, u'A', u'Z') || InRange(c, u'a', u'z')) return true;
        break;
      case Script::Kana:
        if (InRange(c, 0x3040, 0x30FF)) return true;
        break;
      case Script::Han:
        if (InRange(c, 0x4E00, 0x9FFF)) return true;
        break;
      case Script::Thai:
        if (InRange(c, 0x0E00, 0x0E7F)) return true;
        break;
      case Script::Devanagari:
        if (InRange(c, 0x0900, 0x097F)) return true;
        break;
      case Script::Cyrillic:
        if (InRange(c, 0x0400, 0x04FF)) return true;
        break;
    }
  }
  return false;
}

// A language block in the wrong slot shows the wrong script; the two Chinese blocks differ in
// how they write "network".
TEST(Translations, EachSlotHoldsItsLanguagesScript) {
  const Script scripts[kTranslatedCount] = {
      Script::Kana,  Script::Han,   Script::Han,  Script::Latin,      Script::Latin,
      Script::Latin, Script::Latin, Script::Latin, Script::Latin,     Script::Thai,
      Script::Latin, Script::Latin, Script::Devanagari, Script::Latin, Script::Cyrillic};
  for (int lang = 0; lang < kTranslatedCount; ++lang) {
    const LanguageTexts& t = Translated(lang);
    for (int row : {1, 16, 21}) {
      EXPECT_TRUE(HasScript(t.rows[row], scripts[lang])) << LanguageName(lang) << " row " << row;
    }
    for (int reason : {0, 2, 10}) {
      EXPECT_TRUE(HasScript(t.reasons[reason], scripts[lang]))
          << LanguageName(lang) << " reason " << reason;
    }
  }
  EXPECT_TRUE(Contains(Translated(3 - 2).rows[5], u"网络"));
  EXPECT_TRUE(Contains(Translated(4 - 2).rows[5], u"網路"));
}

}  // namespace
}  // namespace talvo
