#pragma once
// The tables that both platforms run (URL rule and resolution, XML documents, description
// fixtures, HTTP answers) also write each row's answer to a file, one per table:
// <build>/answers/<Suite.Test>.txt, a line "row<TAB>answer" per row. tools/compare_answers.py
// then fails when the Linux and the Wine run answered any row differently. A row that Wine
// cannot answer for a gap of its own is written as skipped, with the reason, and not compared.
#include <string>
#include <string_view>
#include <vector>

namespace talvo::test {

class AnswerLog {
 public:
  AnswerLog() = default;
  ~AnswerLog();  // writes the file, named after the running test
  AnswerLog(const AnswerLog&) = delete;
  AnswerLog& operator=(const AnswerLog&) = delete;

  void Record(std::string_view row, std::string_view answer);
  void Skip(std::string_view row, std::string_view reason);

 private:
  std::vector<std::string> lines_;
};

// Text for a row name or an answer: ASCII kept, everything else as \uXXXX, and control
// characters escaped, so each row stays one line.
std::string Printable(std::u16string_view text);
std::string Printable(std::string_view bytes);

}  // namespace talvo::test
