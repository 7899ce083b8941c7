#include "text/language_menu.h"

#include "console/key_decoder.h"

namespace talvo {
namespace {

// Two digits cover every menu number; with no Backspace, a third would only be a typo.
constexpr std::size_t kMaxMenuDigits = 2;

}  // namespace

void ChooseLanguage(LanguageId& language, const KeyReader& readKey,
                    const KeyDiscarder& discardKeys, const TextSink& write) {
  WriteRow(write, language, TextId::MenuPrompt);
  for (int index = 0; index < kLanguageCount; ++index) {
    write(FormatDecimal(index + 1) + u". " +
          std::u16string(NativeName(static_cast<LanguageId>(index))) + u"\n");
  }
  discardKeys();
  std::u16string input;
  for (;;) {
    const int key = readKey();
    // A terminal that has gone away sends no more keys: leave as Esc would, not spin here.
    if (key == kKeyEsc || key == kKeyEndOfInput) {
      write(u"\n");
      return;
    }
    if (key == kKeyEnter) {
      write(u"\n");
      if (input.empty()) return;
      int number = 0;
      for (char16_t digit : input) number = number * 10 + (digit - u'0');
      if (number >= 1 && number <= kLanguageCount) {
        language = static_cast<LanguageId>(number - 1);
        return;
      }
      WriteRow(write, language, TextId::InvalidSelection);
      input.clear();
      continue;
    }
    if (key >= '0' && key <= '9' && input.size() < kMaxMenuDigits) {
      const std::u16string digit(1, static_cast<char16_t>(key));
      input += digit;
      write(digit);
    }
  }
}

}  // namespace talvo
