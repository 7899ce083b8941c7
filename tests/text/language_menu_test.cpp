#include "text/language_menu.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "console/key_decoder.h"

namespace talvo {
namespace {

// Keys typed into the menu, and every piece it writes.
struct MenuRun {
  explicit MenuRun(std::vector<int> typed) : keys(typed.begin(), typed.end()) {}

  LanguageId Run(LanguageId start) {
    LanguageId language = start;
    ChooseLanguage(
        language,
        [this] {
          if (keys.empty()) {
            ADD_FAILURE() << "the menu asked for more keys than were typed";
            return kKeyEndOfInput;
          }
          const int key = keys.front();
          keys.pop_front();
          return key;
        },
        [this] { writesAtDiscard.push_back(writes.size()); },
        [this](std::u16string_view text) { writes.emplace_back(text); });
    EXPECT_TRUE(keys.empty()) << "the menu returned before reading every key";
    return language;
  }

  // What the menu wrote after its prompt and the 17 lines of the list.
  std::vector<std::u16string> AfterList() const {
    return std::vector<std::u16string>(writes.begin() + 1 + kLanguageCount, writes.end());
  }

  std::deque<int> keys;
  std::vector<std::u16string> writes;
  std::vector<std::size_t> writesAtDiscard;  // how much was written at each discard
};

TEST(ChooseLanguage, WritesThePromptInTheCurrentLanguageAndTheListInNativeNames) {
  MenuRun run({kKeyEsc});
  EXPECT_EQ(run.Run(LanguageId::Korean), LanguageId::Korean);
  ASSERT_EQ(run.writes.size(), 1u + kLanguageCount + 1u);
  EXPECT_EQ(run.writes[0], u"언어 선택 (1-17), Esc: 취소\n");
  EXPECT_EQ(run.writes[1], u"1. English\n");
  EXPECT_EQ(run.writes[2], u"2. 한국어\n");
  EXPECT_EQ(run.writes[5], u"5. 繁體中文\n");
  EXPECT_EQ(run.writes[10], u"10. Português (Brasil)\n");
  EXPECT_EQ(run.writes[17], u"17. Русский\n");
  EXPECT_EQ(run.writes[18], u"\n");
  // Keys typed before the list was complete are dropped once, before the first key is read.
  EXPECT_EQ(run.writesAtDiscard, std::vector<std::size_t>{1u + kLanguageCount});
}

TEST(ChooseLanguage, ConfirmedNumbersSelectAndEverythingElseKeepsTheLanguage) {
  struct Case {
    const char* name;
    std::vector<int> keys;
    int expected;  // the LanguageId, as the menu numbers it minus one
    std::vector<std::u16string> afterList;
  };
  const Case cases[] = {
      {"5 Enter", {'5', kKeyEnter}, 4, {u"5", u"\n"}},
      {"05 Enter", {'0', '5', kKeyEnter}, 4, {u"0", u"5", u"\n"}},
      {"17 Enter", {'1', '7', kKeyEnter}, 16, {u"1", u"7", u"\n"}},
      {"1 Enter", {'1', kKeyEnter}, 0, {u"1", u"\n"}},
      {"third digit neither taken nor echoed", {'1', '2', '3', kKeyEnter}, 11,
       {u"1", u"2", u"\n"}},
      {"Esc", {kKeyEsc}, 7, {u"\n"}},
      {"Esc after digits", {'3', kKeyEsc}, 7, {u"3", u"\n"}},
      {"empty Enter", {kKeyEnter}, 7, {u"\n"}},
      {"end of input", {kKeyEndOfInput}, 7, {u"\n"}},
      {"letters, arrows and Backspace are dropped", {'a', 224, 72, 8, 0, 59, '4', kKeyEnter}, 3,
       {u"4", u"\n"}},
      {"0 is invalid, then a new entry", {'0', kKeyEnter, '2', kKeyEnter}, 1,
       {u"0", u"\n", u"Invalid selection.\n", u"2", u"\n"}},
      {"00 is invalid", {'0', '0', kKeyEnter, kKeyEsc}, 7,
       {u"0", u"0", u"\n", u"Invalid selection.\n", u"\n"}},
      {"18 is invalid", {'1', '8', kKeyEnter, kKeyEnter}, 7,
       {u"1", u"8", u"\n", u"Invalid selection.\n", u"\n"}},
      {"99 is invalid, the input starts empty again", {'9', '9', kKeyEnter, '1', '0', kKeyEnter},
       9, {u"9", u"9", u"\n", u"Invalid selection.\n", u"1", u"0", u"\n"}},
  };
  for (const Case& c : cases) {
    MenuRun run(c.keys);
    // German at the start: any change is the menu's doing.
    EXPECT_EQ(Index(run.Run(LanguageId::German)), c.expected) << c.name;
    EXPECT_EQ(run.AfterList().size(), c.afterList.size()) << c.name;
    // The invalid-selection row is German here; compare the other pieces exactly.
    const auto after = run.AfterList();
    for (std::size_t i = 0; i < after.size() && i < c.afterList.size(); ++i) {
      if (c.afterList[i] == u"Invalid selection.\n") {
        EXPECT_EQ(after[i], TextFor(LanguageId::German, TextId::InvalidSelection) + u"\n") << c.name;
      } else {
        EXPECT_EQ(after[i], c.afterList[i]) << c.name << " piece " << i;
      }
    }
  }
}

}  // namespace
}  // namespace talvo
