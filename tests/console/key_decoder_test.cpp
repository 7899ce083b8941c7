#include "console/key_decoder.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace talvo {
namespace {

struct SequenceCase {
  std::string afterEsc;
  int prefix;
  int code;
};

// What terminals send (xterm, VT220, the Linux console) against what _getch gives on Windows.
TEST(EscapeSequence, NamesTheWindowsTwoCodeFormOfTheKey) {
  const SequenceCase cases[] = {
      {"[A", 224, 72},   {"[B", 224, 80},   {"[C", 224, 77},   {"[D", 224, 75},
      {"OA", 224, 72},   {"OD", 224, 75},   {"[H", 224, 71},   {"[F", 224, 79},
      {"OH", 224, 71},   {"[1~", 224, 71},  {"[2~", 224, 82},  {"[3~", 224, 83},
      {"[4~", 224, 79},  {"[5~", 224, 73},  {"[6~", 224, 81},  {"OP", 0, 59},
      {"OS", 0, 62},     {"[11~", 0, 59},   {"[15~", 0, 63},   {"[17~", 0, 64},
      {"[21~", 0, 68},   {"[23~", 224, 133}, {"[24~", 224, 134}, {"[[A", 0, 59},
      {"[[E", 0, 63},    {"[1;5A", 224, 72}, {"[3;2~", 224, 83}, {"[99~", 224, 0},
      {"[Z", 224, 0},    {"l", 0, 0},       {"O", 224, 0},     {"[", 224, 0},
  };
  for (const SequenceCase& c : cases) {
    const auto codes = KeyCodesForEscapeSequence(c.afterEsc);
    EXPECT_EQ(codes[0], c.prefix) << c.afterEsc;
    EXPECT_EQ(codes[1], c.code) << c.afterEsc;
    EXPECT_NE(codes[0], kKeyEsc) << c.afterEsc;
  }
}

TEST(EscapeSequence, KnowsWhenTheSequenceIsWhole) {
  struct Case {
    std::string afterEsc;
    bool complete;
  };
  const Case cases[] = {
      {"[", false},   {"[1", false},  {"[1;5", false}, {"[A", true},   {"[1;5A", true},
      {"[3~", true},  {"O", false},   {"OA", true},    {"[[", false},  {"[[A", true},
      {"x", true},    {"[\x01", true},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeSequenceComplete(c.afterEsc), c.complete) << c.afterEsc;
}

// ü, あ and 😀 are one key each; bytes that lead nothing are keys of their own.
TEST(Utf8Key, CountsTheBytesThatGoWithTheFirst) {
  const std::pair<unsigned char, std::size_t> cases[] = {
      {'a', 0},  {0x1B, 0}, {0xC3, 1}, {0xDF, 1}, {0xE3, 2}, {0xEF, 2}, {0xF0, 3},
      {0xF4, 3}, {0x80, 0}, {0xBC, 0}, {0xC0, 0}, {0xC1, 0}, {0xF5, 0}, {0xFF, 0},
  };
  for (const auto& [lead, count] : cases) EXPECT_EQ(Utf8ContinuationCount(lead), count) << int{lead};
  EXPECT_TRUE(IsUtf8Continuation(0xBC));
  EXPECT_FALSE(IsUtf8Continuation('a'));
  EXPECT_FALSE(IsUtf8Continuation(0xC3));
}

// The letters each layout of the shipped languages puts on the key, unshifted and shifted; other
// letters are no command key, à (224) included, which must not read as the first of two codes.
TEST(CommandKey, LayoutLettersCountAsTheKeyTheyAreOn) {
  const std::pair<int, std::u32string_view> cases[] = {
      {'R', U"кКพฑㄱㄲीई"}, {'L', U"дДสศㅣतथ"}, {'F', U"аАดโㄹिइ"}, {'r', U"r"}, {'5', U"5"},
      {kKeyOtherCharacter, U"йüあ한กà"},
  };
  for (const auto& [key, letters] : cases) {
    for (char32_t letter : letters) EXPECT_EQ(KeyCodeForCharacter(letter), key) << int(letter);
  }
}

// Key events of the Windows console: the key, not the character its layout types, names it.
TEST(CommandKey, WindowsKeyEventsNameTheKey) {
  struct Case {
    const char* what;
    ConsoleKeyPress press;
    std::vector<int> codes;
  };
  const Case cases[] = {
      {"R on a Russian layout", {'R', u'к'}, {'R'}},
      {"F on a Thai layout, shifted", {'F', u'โ'}, {'F'}},
      {"1 on AZERTY", {'1', u'&'}, {'1'}},
      {"r", {'R', u'r'}, {'R'}},
      {"Enter", {0x0D, 13}, {kKeyEnter}},
      {"Esc", {0x1B, 27}, {kKeyEsc}},
      {"Ctrl+C read as a key", {'C', 3, true}, {kKeyInterrupt}},
      {"AltGr+0 on AZERTY types @", {'0', u'@', true, true}, {'@'}},
      {"Alt+B is no digit", {'B', u'b', false, true}, {0, 0}},
      {"Up", {0x26, 0}, {224, 72}},
      {"Insert is no R", {0x2D, 0}, {224, 82}},
      {"F1", {0x70, 0}, {0, 59}},
      {"Shift alone", {0x10, 0}, {}},
      {"a dead key", {0xDE, 0}, {}},
      {"к typed by an input method", {0xE7, u'к'}, {'R'}},
      {"ü", {0xBA, u'ü'}, {kKeyOtherCharacter}},
      {"the first half of 😀", {0xE7, 0xD83D}, {}},
  };
  for (const Case& c : cases) {
    const KeyCodes got = KeyCodesForConsoleKey(c.press);
    EXPECT_EQ(std::vector<int>(got.codes.begin(), got.codes.begin() + got.count), c.codes) << c.what;
  }
}

// A terminal's bytes as TerminalKeys reads them: R reads a key and expects its code, W asks
// whether a key waits (1 or 0), D drops what was typed ahead. kGap in the input is a pause
// longer than the bytes of one key take.
constexpr int kGap = -1;
TEST(TerminalKeys, ReadsKeysAndCountsWhatItReadAhead) {
  struct Step {
    char action;
    int expected;
  };
  struct Case {
    const char* what;
    std::vector<int> input;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"Esc twice in one read", {27, 27}, {{'R', 27}, {'W', 1}, {'R', 27}, {'W', 0}}},
      {"Esc, a pause, Esc", {27, kGap, 27}, {{'R', 27}, {'R', 27}}},
      {"Up", {27, '[', 'A', 'x'}, {{'R', 224}, {'W', 1}, {'R', 72}, {'R', 'x'}}},
      {"Insert's second code goes with the keys typed ahead",
       {27, '[', '2', '~', 'x'}, {{'R', 224}, {'D', 0}, {'W', 0}, {'R', 'x'}}},
      {"a byte that cannot continue a character is the next key",
       {0xD0, 'q'}, {{'R', kKeyOtherCharacter}, {'W', 1}, {'R', 'q'}, {'W', 0}}},
      {"read ahead, then dropped", {0xD0, 'q', 'x'}, {{'R', kKeyOtherCharacter}, {'D', 0}, {'R', 'x'}}},
      {"a character cut off by a pause", {0xE3, 0x84, kGap, 'x'}, {{'R', kKeyOtherCharacter}, {'R', 'x'}}},
      {"ü is one key", {0xC3, 0xBC, 'q'}, {{'R', kKeyOtherCharacter}, {'R', 'q'}}},
      {"к on the R key", {0xD0, 0xBA}, {{'R', 'R'}}},
      {"Д on the L key", {0xD0, 0x94}, {{'R', 'L'}}},
      {"ด on the F key", {0xE0, 0xB8, 0x94}, {{'R', 'F'}}},
      {"ㄱ on the R key", {0xE3, 0x84, 0xB1}, {{'R', 'R'}}},
      {"the terminal gone", {}, {{'W', 0}, {'R', kKeyEndOfInput}}},
  };
  for (const Case& c : cases) {
    std::deque<int> input(c.input.begin(), c.input.end());
    TerminalKeys keys([&input](int timeoutMs) {
      while (!input.empty() && input.front() == kGap && timeoutMs < 0) input.pop_front();
      if (input.empty()) return TerminalKeys::kInputEnded;
      const int next = input.front();
      input.pop_front();
      return next == kGap ? TerminalKeys::kNoByte : next;
    });
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      SCOPED_TRACE(std::string(c.what) + ", step " + std::to_string(i));
      const Step& step = c.steps[i];
      if (step.action == 'R') {
        EXPECT_EQ(keys.ReadKey(), step.expected);
      } else if (step.action == 'W') {
        EXPECT_EQ(keys.HoldsKey(), step.expected != 0);
      } else {
        keys.Discard();
      }
    }
  }
}

}  // namespace
}  // namespace talvo
