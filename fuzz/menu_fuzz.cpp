// Any sequence of key codes, and any bytes a terminal sends after Esc: the menu ends (once the
// keys run out, as a closed terminal does) with a language of the list, and every escape
// sequence decodes to two codes that are never mistaken for Esc, Enter, a digit or a letter.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "console/key_decoder.h"
#include "text/language_menu.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t next = 0;
  const talvo::KeyReader readKey = [&]() -> int {
    if (next >= size) return talvo::kKeyEndOfInput;
    const std::uint8_t byte = data[next++];
    return byte == 0xFF ? talvo::kExtendedKeyPrefix : byte;
  };
  std::size_t written = 0;
  const talvo::TextSink write = [&written](std::u16string_view text) { written += text.size(); };
  auto language = static_cast<talvo::LanguageId>(size > 0 ? data[0] % talvo::kLanguageCount : 0);
  talvo::ChooseLanguage(language, readKey, [] {}, write);
  if (talvo::Index(language) < 0 || talvo::Index(language) >= talvo::kLanguageCount) std::abort();
  if (written == 0) std::abort();

  const std::string_view bytes(reinterpret_cast<const char*>(data),
                               size < talvo::kMaxEscapeSequenceLength ? size
                                                                      : talvo::kMaxEscapeSequenceLength);
  for (std::size_t length = 1; length <= bytes.size(); ++length) {
    const std::string_view sequence = bytes.substr(0, length);
    talvo::EscapeSequenceComplete(sequence);
    const auto codes = talvo::KeyCodesForEscapeSequence(sequence);
    if (codes[0] != talvo::kExtendedKeyPrefix && codes[0] != talvo::kFunctionKeyPrefix) std::abort();
  }
  return 0;
}
