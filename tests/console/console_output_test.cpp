#include "console/console_output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace talvo {
namespace {

// Standard output sent to a fresh file for the life of the object, as a user's "> file" does.
class StdoutToFile {
 public:
  StdoutToFile() {
    // ctest runs each case as its own process side by side, so the name carries the process.
    path_ = ::testing::TempDir() + "talvo_console_output_" + std::to_string(ProcessId()) + "_" +
            std::to_string(++counter_) + ".out";
    std::fflush(stdout);
#ifdef _WIN32
    const std::wstring widePath(path_.begin(), path_.end());
    file_ = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    saved_ = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file_);
#else
    saved_ = dup(STDOUT_FILENO);
    const int file = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, STDOUT_FILENO);
    close(file);
#endif
  }
  ~StdoutToFile() {
    Restore();
    std::remove(path_.c_str());
  }
  StdoutToFile(const StdoutToFile&) = delete;
  StdoutToFile& operator=(const StdoutToFile&) = delete;

  // Puts standard output back and returns what reached the file.
  std::string Finish() {
    Restore();
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  void Restore() {
    if (restored_) return;
    restored_ = true;
#ifdef _WIN32
    SetStdHandle(STD_OUTPUT_HANDLE, saved_);
    CloseHandle(file_);
#else
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
#endif
  }

  static unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
  }

  static inline int counter_ = 0;
  std::string path_;
  bool restored_ = false;
#ifdef _WIN32
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE saved_ = nullptr;
#else
  int saved_ = -1;
#endif
};

TEST(FormatDecimal, WritesPlainDigitsWithASignOnlyWhenNegative) {
  struct Case {
    std::int64_t value;
    std::u16string text;
  };
  const Case cases[] = {
      {0, u"0"},
      {7, u"7"},
      {10, u"10"},
      {49, u"49"},
      {100, u"100"},
      {1234567, u"1234567"},
      {-1, u"-1"},
      {-45, u"-45"},
      {std::numeric_limits<std::int64_t>::max(), u"9223372036854775807"},
      {std::numeric_limits<std::int64_t>::min(), u"-9223372036854775808"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDecimal(c.value), c.text) << c.value;
  EXPECT_EQ(FormatDecimal(std::numeric_limits<std::uint64_t>::max()), u"18446744073709551615");
  EXPECT_EQ(FormatDecimal(std::uint64_t{45}), u"45");
  EXPECT_EQ(FormatDecimal(17), u"17");
}

TEST(AnsiSequenceForAttributes, DrawsTheAttributeWordOnATerminal) {
  EXPECT_EQ(AnsiSequenceForAttributes(kAttributeBrightRed, 7), "\x1b[0;91;40m");
  EXPECT_EQ(AnsiSequenceForAttributes(kAttributeBrightGreen, 7), "\x1b[0;92;40m");
  // Bright white on blue: the background nibble is used as well.
  EXPECT_EQ(AnsiSequenceForAttributes(0x1F, 7), "\x1b[0;97;44m");
  EXPECT_EQ(AnsiSequenceForAttributes(0x06, 0x1F), "\x1b[0;33;40m");
  // The saved word means the terminal's own colours.
  EXPECT_EQ(AnsiSequenceForAttributes(7, 7), "\x1b[0m");
}

TEST(WriteText, RedirectedOutputIsUtf8WithoutByteOrderMarkOrCarriageReturns) {
  StdoutToFile redirect;
  WriteText(u"Reason: ");
  WriteText(u"이유 ไทย हिन्दी Русский\n");
  WriteText(u"");
  WriteText(u"\U0001F600 and a NUL: ");
  WriteText(std::u16string_view(u"a\0b\n", 4));
  const std::string bytes = redirect.Finish();
  EXPECT_EQ(bytes,
            "Reason: "
            "\xEC\x9D\xB4\xEC\x9C\xA0 \xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2 "
            "\xE0\xA4\xB9\xE0\xA4\xBF\xE0\xA4\xA8\xE0\xA5\x8D\xE0\xA4\xA6\xE0\xA5\x80 "
            "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9\n"
            "\xF0\x9F\x98\x80 and a NUL: a" +
                std::string(1, '\0') + "b\n");
}

TEST(WriteText, EmptyTextWritesNothing) {
  StdoutToFile redirect;
  WriteText(u"");
  EXPECT_EQ(redirect.Finish(), "");
}

TEST(ProbeConsole, RedirectedOutputIsNoConsoleAndTakesNoColours) {
  StdoutToFile redirect;
  const ConsoleState state = ProbeConsole();
  SetAttributes(state, kAttributeBrightRed);
  WriteText(u"x");
  SetAttributes(state, state.savedAttributes);
  const std::string bytes = redirect.Finish();
  EXPECT_FALSE(state.isConsole);
  EXPECT_EQ(state.savedAttributes, 0);
  EXPECT_EQ(bytes, "x");
}

}  // namespace
}  // namespace talvo
