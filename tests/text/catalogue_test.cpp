#include "text/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvo {
namespace {

bool Contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

TEST(Catalogue, EveryLanguageHasEveryRowAndSentence) {
  for (LanguageId language = 0; language < kLanguageCount; ++language) {
    for (TextId id = 0; id < kTextRowCount; ++id) {
      // Checked on the translation itself: TextFor would hide a hole behind the English row.
      if (language >= 2) {
        EXPECT_FALSE(kTranslations[language - 2].rows[id].empty())
            << "language " << language << " row " << id;
      }
      EXPECT_FALSE(TextFor(language, id).empty()) << "language " << language << " row " << id;
    }
    for (int id = 0; id < kReasonSentenceCount; ++id) {
      if (language >= 2) {
        EXPECT_FALSE(kTranslations[language - 2].reasons[id].empty())
            << "language " << language << " reason " << id;
      }
      EXPECT_FALSE(ReasonFor(language, id).empty()) << "language " << language << " reason " << id;
    }
  }
}

TEST(Catalogue, EveryLanguageKeepsTheKeyLettersAndTheMenuRange) {
  for (LanguageId language = 0; language < kLanguageCount; ++language) {
    const std::u16string startPrompt = TextFor(language, row::kStartPrompt);
    const std::u16string resultPrompt = TextFor(language, row::kResultPrompt);
    const std::u16string menuPrompt = TextFor(language, row::kMenuPrompt);
    EXPECT_TRUE(Contains(startPrompt, u"L:")) << "language " << language;
    EXPECT_TRUE(Contains(resultPrompt, u"L:")) << "language " << language;
    EXPECT_TRUE(Contains(resultPrompt, u"R:")) << "language " << language;
    EXPECT_TRUE(Contains(menuPrompt, u"(1-17)")) << "language " << language;
    EXPECT_TRUE(Contains(TextFor(language, row::kLanguageKey), u"L:")) << "language " << language;
  }
}

TEST(Catalogue, TranslationsAreTheirOwnText) {
  // A translation that is only the English row again would pass every other test.
  for (LanguageId language = 2; language < kLanguageCount; ++language) {
    int sameAsEnglish = 0;
    for (TextId id = 0; id < kTextRowCount; ++id) {
      if (TextFor(language, id) == TextFor(kEnglish, id)) ++sameAsEnglish;
    }
    EXPECT_LT(sameAsEnglish, kTextRowCount / 2) << "language " << language;
    EXPECT_NE(ReasonFor(language, 3), ReasonFor(kEnglish, 3)) << "language " << language;
  }
}

TEST(Catalogue, EnglishAndKoreanTexts) {
  EXPECT_EQ(TextFor(kEnglish, 0), u"Estimates compatibility with direct HTTPS sharing.");
  EXPECT_EQ(TextFor(kEnglish, 5), u"Checking network... (Esc: cancel)");
  EXPECT_EQ(TextFor(kEnglish, 19), u"R: retry | L: language | any other key: exit");
  EXPECT_EQ(TextFor(kEnglish, 21), u"Invalid selection.");
  EXPECT_EQ(TextFor(kKorean, 3), u"아무 키: 검사 시작 | L: 언어 변경");
  EXPECT_EQ(TextFor(kKorean, 20), u"언어 선택 (1-17), Esc: 취소");
  EXPECT_EQ(ReasonFor(kEnglish, 0), u"No active network route is available.");
  EXPECT_EQ(ReasonFor(kEnglish, 6),
            u"Your router's UPnP WAN address matches the observed public address.");
  EXPECT_EQ(ReasonFor(kKorean, 12), u"이중 NAT 가능성이 있으며 상위 포트 전달은 확인되지 않았습니다.");
}

TEST(Catalogue, UnknownRowsAreEmptyAndUnknownLanguagesAreEnglish) {
  EXPECT_EQ(TextFor(kEnglish, 22), u"");
  EXPECT_EQ(TextFor(kKorean, 99), u"");
  EXPECT_EQ(TextFor(kEnglish, -1), u"");
  EXPECT_EQ(TextFor(17, 3), TextFor(kEnglish, 3));
  EXPECT_EQ(TextFor(-1, 3), TextFor(kEnglish, 3));
  EXPECT_EQ(ReasonFor(kEnglish, 13), u"");
  EXPECT_EQ(ReasonFor(kKorean, -1), u"");
  EXPECT_EQ(ReasonFor(40, 2), ReasonFor(kEnglish, 2));
}

TEST(Catalogue, LanguageListCodesAndNames) {
  EXPECT_EQ(LanguageCode(0), "en");
  EXPECT_EQ(LanguageCode(3), "zh-CN");
  EXPECT_EQ(LanguageCode(4), "zh-TW");
  EXPECT_EQ(LanguageCode(9), "pt-BR");
  EXPECT_EQ(LanguageCode(16), "ru");
  EXPECT_EQ(LanguageCode(17), "");
  EXPECT_EQ(NativeName(1), u"한국어");
  EXPECT_EQ(NativeName(4), u"繁體中文");
  EXPECT_EQ(NativeName(9), u"Português (Brasil)");
  EXPECT_EQ(NativeName(-1), u"");
  for (LanguageId language = 0; language < kLanguageCount; ++language) {
    EXPECT_FALSE(LanguageCode(language).empty());
    EXPECT_FALSE(NativeName(language).empty());
  }
}

TEST(WriteRow, WritesTheRowAndALineBreakInOnePiece) {
  std::vector<std::u16string> writes;
  const TextSink sink = [&writes](std::u16string_view text) { writes.emplace_back(text); };
  WriteRow(sink, kKorean, row::kInvalidSelection);
  WriteRow(sink, kEnglish, 22);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], u"잘못된 선택입니다.\n");
  EXPECT_EQ(writes[1], u"\n");
}

}  // namespace
}  // namespace talvo
