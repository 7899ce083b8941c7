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

// Key events of the Windows console: the key, not the character its layout types, names it.
TEST(CommandKey, WindowsKeyEventsNameTheKey) {
  const std::pair<ConsoleKeyPress, std::vector<int>> cases[] = {
      {{'R', u'к'}, {'R'}},         {{'F', u'โ'}, {'F'}},           {{'1', u'&'}, {'1'}},
      {{'C', 3, true}, {3}},        {{'0', u'@', true, true}, {'@'}},  // AltGr+0 on AZERTY
      {{'B', u'b', false, true}, {0, 0}},  {{0x26, 0}, {224, 72}},  {{0x10, 0}, {}},
      {{0xE7, u'к'}, {'R'}},        {{0xE7, 0xD83D}, {}},  // an input method's к; half of 😀
  };
  for (const auto& [press, codes] : cases) {
    const KeyCodes got = KeyCodesForConsoleKey(press);
    EXPECT_EQ(std::vector<int>(got.codes.begin(), got.codes.begin() + got.count), codes)
        << press.virtualKey << " " << int(press.character);
  }
}

// A terminal's bytes (kGap: a pause) read as keys. Steps: 'R' reads a key and expects the code,
// 'W' asks whether a key waits (1 or 0), 'D' drops what was typed ahead.
TEST(TerminalKeys, ReadsKeysAndCountsWhatItReadAhead) {
  constexpr int kGap = -1;
  constexpr int kOther = kKeyOtherCharacter;
  using Steps = std::vector<std::pair<char, int>>;
  const std::pair<std::vector<int>, Steps> cases[] = {
      {{27, 27}, {{'R', 27}, {'W', 1}, {'R', 27}, {'W', 0}}},  // Esc twice in one read
      {{27, kGap, 27}, {{'R', 27}, {'R', 27}}},
      {{27, '[', '2', '~', 'x'}, {{'R', 224}, {'D', 0}, {'W', 0}, {'R', 'x'}}},  // Insert
      {{0xD0, 'q'}, {{'R', kOther}, {'W', 1}, {'R', 'q'}, {'W', 0}}},  // q cannot continue
      {{0xD0, 'q', 'x'}, {{'R', kOther}, {'D', 0}, {'R', 'x'}}},
      {{0xE3, 0x84, kGap, 'x'}, {{'R', kOther}, {'R', 'x'}}},
      {{0xC3, 0xA0, 'q'}, {{'R', kOther}, {'R', 'q'}}},  // à: one key, and no prefix 224
      {{0xD0, 0xBA, 0xD0, 0x94, 0xE0, 0xB8, 0x94, 0xE3, 0x84, 0xB1},  // к Д ด ㄱ
       {{'R', 'R'}, {'R', 'L'}, {'R', 'F'}, {'R', 'R'}}},
      {{}, {{'W', 0}, {'R', kKeyEndOfInput}}},
  };
  for (const auto& [bytes, steps] : cases) {
    std::deque<int> input(bytes.begin(), bytes.end());
    TerminalKeys keys([&input](int timeoutMs) {
      while (!input.empty() && input.front() == kGap && timeoutMs < 0) input.pop_front();
      if (input.empty()) return TerminalKeys::kInputEnded;
      const int next = input.front();
      input.pop_front();
      return next == kGap ? TerminalKeys::kNoByte : next;
    });
    for (std::size_t i = 0; i < steps.size(); ++i) {
      SCOPED_TRACE("case of " + std::to_string(bytes.size()) + " bytes, step " + std::to_string(i));
      const auto [action, expected] = steps[i];
      if (action == 'D') keys.Discard();
      const int got = action == 'R' ? keys.ReadKey() : action == 'W' ? keys.HoldsKey() : 0;
      EXPECT_EQ(got, expected);
    }
  }
}

}  // namespace
}  // namespace talvo
