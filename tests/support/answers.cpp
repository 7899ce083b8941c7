#include "support/answers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace talvo::test {
namespace {

void AppendEscaped(std::string& out, unsigned unit) {
  if (unit >= 0x20 && unit < 0x7F && unit != '\\') {
    out.push_back(static_cast<char>(unit));
    return;
  }
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04X", unit & 0xFFFFu);
  out += escaped;
}

}  // namespace

std::string Printable(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) AppendEscaped(out, unit);
  return out;
}

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char byte : bytes) AppendEscaped(out, static_cast<unsigned char>(byte));
  return out;
}

void AnswerLog::Record(std::string_view row, std::string_view answer) {
  lines_.push_back(std::string(row) + "\t" + std::string(answer));
}

void AnswerLog::Skip(std::string_view row, std::string_view reason) {
  lines_.push_back(std::string(row) + "\tskipped: " + std::string(reason));
}

AnswerLog::~AnswerLog() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  if (test == nullptr) return;
  std::error_code ignored;
  std::filesystem::create_directories(TALVO_ANSWERS_DIR, ignored);
  const std::string path = std::string(TALVO_ANSWERS_DIR) + "/" + test->test_suite_name() + "." +
                           test->name() + ".txt";
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines_) file << line << '\n';
  // A log that cannot be written would let the comparison pass on stale answers.
  EXPECT_TRUE(file.good()) << path;
}

}  // namespace talvo::test
