#include "text/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/translations.h"

namespace talvo {
namespace {

constexpr LanguageId kEnglish = LanguageId::English;
constexpr LanguageId kKorean = LanguageId::Korean;
LanguageId Language(int index) { return static_cast<LanguageId>(index); }
TextId Row(int index) { return static_cast<TextId>(index); }
ReasonId Reason(int index) { return static_cast<ReasonId>(index); }

bool Contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

TEST(Catalogue, EveryLanguageHasEveryRowAndSentence) {
  for (int language = 0; language < kLanguageCount; ++language) {
    for (int id = 0; id < kTextRowCount; ++id) {
      // Checked on the translation itself: TextFor would hide a hole behind the English row.
      EXPECT_FALSE(kTranslations[language].rows[id].empty())
          << "language " << language << " row " << id;
      EXPECT_FALSE(TextFor(Language(language), Row(id)).empty())
          << "language " << language << " row " << id;
    }
    for (int id = 0; id < kReasonCount; ++id) {
      EXPECT_FALSE(kTranslations[language].reasons[id].empty())
          << "language " << language << " reason " << id;
      EXPECT_FALSE(ReasonFor(Language(language), Reason(id)).empty())
          << "language " << language << " reason " << id;
    }
  }
}

TEST(Catalogue, EveryLanguageKeepsTheKeyLettersAndTheMenuRange) {
  for (int index = 0; index < kLanguageCount; ++index) {
    const LanguageId language = Language(index);
    const std::u16string startPrompt = TextFor(language, TextId::StartPrompt);
    const std::u16string resultPrompt = TextFor(language, TextId::ResultPrompt);
    const std::u16string menuPrompt = TextFor(language, TextId::MenuPrompt);
    EXPECT_TRUE(Contains(startPrompt, u"L:")) << "language " << index;
    EXPECT_TRUE(Contains(resultPrompt, u"L:")) << "language " << index;
    EXPECT_TRUE(Contains(resultPrompt, u"R:")) << "language " << index;
    EXPECT_TRUE(Contains(menuPrompt, u"(1-17)")) << "language " << index;
    EXPECT_TRUE(Contains(TextFor(language, TextId::LanguageKey), u"L:")) << "language " << index;
  }
}

TEST(Catalogue, TranslationsAreTheirOwnText) {
  // A translation that is only the English row again would pass every other test.
  for (int index = 2; index < kLanguageCount; ++index) {
    const LanguageId language = Language(index);
    int sameAsEnglish = 0;
    for (int id = 0; id < kTextRowCount; ++id) {
      if (TextFor(language, Row(id)) == TextFor(kEnglish, Row(id))) ++sameAsEnglish;
    }
    EXPECT_LT(sameAsEnglish, kTextRowCount / 2) << "language " << index;
    EXPECT_NE(ReasonFor(language, ReasonId::DirectPublicIpv4),
              ReasonFor(kEnglish, ReasonId::DirectPublicIpv4))
        << "language " << index;
  }
}

TEST(Catalogue, EnglishAndKoreanTexts) {
  EXPECT_EQ(TextFor(kEnglish, Row(0)), u"Estimates compatibility with direct HTTPS sharing.");
  EXPECT_EQ(TextFor(kEnglish, Row(5)), u"Checking network... (Esc: cancel)");
  EXPECT_EQ(TextFor(kEnglish, Row(19)), u"R: retry | L: language | any other key: exit");
  EXPECT_EQ(TextFor(kEnglish, Row(21)), u"Invalid selection.");
  EXPECT_EQ(TextFor(kKorean, Row(3)), u"아무 키: 검사 시작 | L: 언어 변경");
  EXPECT_EQ(TextFor(kKorean, Row(20)), u"언어 선택 (1-17), Esc: 취소");
  EXPECT_EQ(ReasonFor(kEnglish, Reason(0)), u"No active network route is available.");
  EXPECT_EQ(ReasonFor(kEnglish, Reason(6)),
            u"Your router's UPnP WAN address matches the observed public address.");
  EXPECT_EQ(ReasonFor(kKorean, Reason(12)), u"이중 NAT 가능성이 있으며 상위 포트 전달은 확인되지 않았습니다.");
}

TEST(Catalogue, UnknownRowsAreEmptyAndUnknownLanguagesAreEnglish) {
  EXPECT_EQ(TextFor(kEnglish, Row(22)), u"");
  EXPECT_EQ(TextFor(kKorean, Row(99)), u"");
  EXPECT_EQ(TextFor(kEnglish, Row(-1)), u"");
  EXPECT_EQ(TextFor(Language(17), Row(3)), TextFor(kEnglish, Row(3)));
  EXPECT_EQ(TextFor(Language(-1), Row(3)), TextFor(kEnglish, Row(3)));
  EXPECT_EQ(ReasonFor(kEnglish, Reason(13)), u"");
  EXPECT_EQ(ReasonFor(kKorean, Reason(-1)), u"");
  EXPECT_EQ(ReasonFor(Language(40), Reason(2)), ReasonFor(kEnglish, Reason(2)));
}

TEST(Catalogue, LanguageListCodesAndNames) {
  EXPECT_EQ(LanguageCode(Language(0)), "en");
  EXPECT_EQ(LanguageCode(Language(3)), "zh-CN");
  EXPECT_EQ(LanguageCode(Language(4)), "zh-TW");
  EXPECT_EQ(LanguageCode(Language(9)), "pt-BR");
  EXPECT_EQ(LanguageCode(Language(16)), "ru");
  EXPECT_EQ(LanguageCode(Language(17)), "");
  EXPECT_EQ(NativeName(Language(1)), u"한국어");
  EXPECT_EQ(NativeName(Language(4)), u"繁體中文");
  EXPECT_EQ(NativeName(Language(9)), u"Português (Brasil)");
  EXPECT_EQ(NativeName(Language(-1)), u"");
  for (int index = 0; index < kLanguageCount; ++index) {
    EXPECT_FALSE(LanguageCode(Language(index)).empty());
    EXPECT_FALSE(NativeName(Language(index)).empty());
  }
}

TEST(WriteRow, WritesTheRowAndALineBreakInOnePiece) {
  std::vector<std::u16string> writes;
  const TextSink sink = [&writes](std::u16string_view text) { writes.emplace_back(text); };
  WriteRow(sink, kKorean, TextId::InvalidSelection);
  WriteRow(sink, kEnglish, Row(22));
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], u"잘못된 선택입니다.\n");
  EXPECT_EQ(writes[1], u"\n");
}

}  // namespace
}  // namespace talvo
