#include "console/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

}  // namespace
}  // namespace talvo
