// Preferred-language lists and locale names from the environment are outside input: whatever
// they hold, the start language is one of ours: 0 to 16, also from DetectLanguage itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/language.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // As the platform hands it over: UTF-16 units, tags ended by U+0000.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const talvo::LanguageId fromList = talvo::MatchLanguageTags(talvo::SplitLanguageList(units));
  if (talvo::Index(fromList) < 0 || talvo::Index(fromList) >= talvo::kLanguageCount) std::abort();

  // As a POSIX environment holds it: four C strings cut from the bytes at each NUL.
  std::vector<std::string> variables(4);
  std::size_t which = 0;
  for (std::size_t i = 0; i < size && which < variables.size(); ++i) {
    if (data[i] == 0) {
      ++which;
    } else {
      variables[which].push_back(static_cast<char>(data[i]));
    }
  }
  const auto tags = talvo::TagsFromLocaleEnvironment(
      variables[0].c_str(), variables[1].empty() ? nullptr : variables[1].c_str(),
      variables[2].c_str(), variables[3].c_str());
  for (const auto& tag : tags) {
    if (tag.empty()) std::abort();
  }
  const talvo::LanguageId fromLocale = talvo::MatchLanguageTags(tags);
  if (talvo::Index(fromLocale) < 0 || talvo::Index(fromLocale) >= talvo::kLanguageCount) std::abort();

  // The same strings through the real environment and the entry point the program uses.
  // glibc's setenv keeps every value it was ever given, so a long run would grow without end;
  // putenv takes these buffers as they are, and each is rewritten in place for the next input.
  constexpr std::size_t kMaxValue = 8192;
  static char entries[4][16 + kMaxValue];
  const char* const names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  for (std::size_t i = 0; i < variables.size(); ++i) {
    if (variables[i].empty()) {
      unsetenv(names[i]);
      continue;
    }
    const std::string entry = std::string(names[i]) + "=" + variables[i].substr(0, kMaxValue);
    std::memcpy(entries[i], entry.c_str(), entry.size() + 1);
    putenv(entries[i]);
  }
  const talvo::LanguageId detected = talvo::DetectLanguage();
  if (talvo::Index(detected) < 0 || talvo::Index(detected) >= talvo::kLanguageCount) std::abort();
  return 0;
}
