#include "text/language.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <vector>

namespace talvo {
namespace {

using Tags = std::vector<std::u16string>;

TEST(MatchLanguageTags, PicksTheFirstTagThatNamesALanguage) {
  struct Case {
    Tags tags;
    int expected;  // the LanguageId, as the language list numbers it
  };
  const Case cases[] = {
      {{u"nl-NL", u"de-DE"}, 7},
      {{u"nl-NL"}, 0},
      {{u"pt-PT", u"es-ES"}, 0},  // a non-Brazilian Portuguese ends the search with English
      {{u"pt"}, 0},
      {{u"pt-BR"}, 9},
      {{u"PT-br"}, 9},
      {{u"zh-Hant-HK"}, 4},
      {{u"zh-TW"}, 4},
      {{u"zh-HK"}, 4},
      {{u"zh-MO"}, 4},
      {{u"ZH-HANT"}, 4},
      {{u"zh-Hans-HK"}, 3},
      {{u"zh-SG"}, 3},
      {{u"zh-CN"}, 3},
      {{u"zh"}, 3},
      {{u"en-GB"}, 0},
      {{u"es-419"}, 5},
      {{u"fr-CA"}, 6},
      {{u"ko"}, 1},
      {{u"ko-KR"}, 1},
      {{u"ja-JP"}, 2},
      {{u"th-TH"}, 11},
      {{u"hi-IN"}, 14},
      {{u"RU-ru"}, 16},
      {{u"pl"}, 15},
      {{u"tr-TR"}, 13},
      {{u"vi-VN"}, 12},
      {{u"id-ID"}, 10},
      {{u"it-CH"}, 8},
      {{u"kok-IN", u"ko"}, 1},  // "kok" is not Korean: the code must be followed by "-"
      {{u"frr", u"de"}, 7},
      {{u"e"}, 0},
      {{u""}, 0},
      {{}, 0},
      {{u"x-klingon", u"ru-RU", u"de"}, 16},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const auto& tag : c.tags) label += std::string(tag.begin(), tag.end()) + " ";
    EXPECT_EQ(Index(MatchLanguageTags(c.tags)), c.expected) << label;
  }
}

TEST(SplitLanguageList, ReadsTheMultiStringUpToTheEmptyTag) {
  EXPECT_EQ(SplitLanguageList(std::u16string_view(u"de-DE\0en-US\0\0", 14)),
            (Tags{u"de-DE", u"en-US"}));
  EXPECT_EQ(SplitLanguageList(std::u16string_view(u"fr-FR\0\0ja\0", 10)), (Tags{u"fr-FR"}));
  EXPECT_EQ(SplitLanguageList(u"ko"), (Tags{u"ko"}));  // no terminator: ends at the buffer's end
  EXPECT_EQ(SplitLanguageList(std::u16string_view(u"\0\0", 2)), Tags{});
  EXPECT_EQ(SplitLanguageList(u""), Tags{});
}

TEST(LocaleNameToTag, DropsCodesetAndModifierAndUsesHyphens) {
  struct Case {
    const char* locale;
    std::u16string tag;
  };
  const Case cases[] = {
      {"pt_BR.UTF-8", u"pt-BR"},
      {"de_DE@euro", u"de-DE"},
      {"sr_RS.UTF-8@latin", u"sr-RS"},
      {"ko", u"ko"},
      {"zh_TW.Big5", u"zh-TW"},
      {"C", u""},
      {"POSIX", u""},
      {"C.UTF-8", u""},
      {"", u""},
      {".UTF-8", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(LocaleNameToTag(c.locale), c.tag) << c.locale;
}

TEST(TagsFromLocaleEnvironment, FollowsGettextLanguageListOrTheFirstLocaleSet) {
  struct Case {
    const char* language;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Tags tags;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, "pt_BR.UTF-8", {u"pt-BR"}},
      // LANGUAGE replaces the locale's language; the locale is not tried after the list.
      {"de:fr_FR", nullptr, nullptr, "en_US.UTF-8", {u"de", u"fr-FR"}},
      {"sr@latin:de_DE.UTF-8@euro", nullptr, nullptr, "ru_RU.UTF-8", {u"sr", u"de-DE"}},
      {"", nullptr, nullptr, "ja_JP.UTF-8", {u"ja-JP"}},
      {"::ru", nullptr, nullptr, "it_IT.UTF-8", {u"ru"}},
      {nullptr, "ko_KR.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", {u"ko-KR"}},
      {nullptr, "", "de_DE.UTF-8", "fr_FR.UTF-8", {u"de-DE"}},
      {nullptr, nullptr, nullptr, "zh_TW", {u"zh-TW"}},
      // C and POSIX, or no locale at all, show the untranslated texts, LANGUAGE or not.
      {"de:en", nullptr, nullptr, "C", {}},
      {"fr", "C", "de_DE.UTF-8", "fr_FR.UTF-8", {}},
      {"fr", nullptr, "POSIX", nullptr, {}},
      {"ru", nullptr, nullptr, nullptr, {}},
      {nullptr, nullptr, nullptr, "POSIX", {}},
      {nullptr, nullptr, nullptr, nullptr, {}},
      // C.UTF-8 is a locale of its own: it names no language but takes LANGUAGE's.
      {"de", "C.UTF-8", nullptr, nullptr, {u"de"}},
      {nullptr, "C.UTF-8", nullptr, "de_DE.UTF-8", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TagsFromLocaleEnvironment(c.language, c.lcAll, c.lcMessages, c.lang), c.tags)
        << (c.language ? c.language : "-") << " " << (c.lcAll ? c.lcAll : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

TEST(TagsFromLocaleEnvironment, FeedsTheTagMatching) {
  EXPECT_EQ(Index(MatchLanguageTags(TagsFromLocaleEnvironment(nullptr, nullptr, nullptr, "pt_BR.UTF-8"))), 9);
  EXPECT_EQ(Index(MatchLanguageTags(TagsFromLocaleEnvironment("nl:de", nullptr, nullptr, "C.UTF-8"))), 7);
  EXPECT_EQ(Index(MatchLanguageTags(TagsFromLocaleEnvironment("sr@latin:pt_BR", nullptr, nullptr, "de_DE"))), 9);
  EXPECT_EQ(Index(MatchLanguageTags(TagsFromLocaleEnvironment(nullptr, nullptr, nullptr, "C"))), 0);
}

#ifdef _WIN32
TEST(PreferredUiLanguageTags, ReadsTheUsersListFromWindows) {
  // Wine answers from LC_ALL/LANG; Windows from the user's settings. Either way: a list.
  const Tags tags = PreferredUiLanguageTags();
  ASSERT_FALSE(tags.empty());
  for (const auto& tag : tags) {
    EXPECT_FALSE(tag.empty());
    EXPECT_EQ(tag.find(u'\0'), std::u16string::npos);
  }
}
#else
// Each test runs in a process of its own, so the environment may be changed here.
TEST(PreferredUiLanguageTags, ComeFromTheLocaleEnvironment) {
  setenv("LANGUAGE", "", 1);
  unsetenv("LC_ALL");
  setenv("LC_MESSAGES", "pt_BR.UTF-8", 1);
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(PreferredUiLanguageTags(), (Tags{u"pt-BR"}));
  EXPECT_EQ(Index(DetectLanguage()), 9);
  setenv("LANGUAGE", "th:ja", 1);
  EXPECT_EQ(Index(DetectLanguage()), 11);
  setenv("LANGUAGE", "", 1);
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(DetectLanguage(), LanguageId::English);
}
#endif

TEST(DetectLanguage, AlwaysGivesALanguageOfTheList) {
  const LanguageId language = DetectLanguage();
  EXPECT_GE(Index(language), 0);
  EXPECT_LT(Index(language), kLanguageCount);
}

}  // namespace
}  // namespace talvo
