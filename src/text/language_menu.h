#pragma once
#include <functional>

#include "console/console_output.h"
#include "text/catalogue.h"

namespace talvo {

// Takes one key code, waiting for it (_getch).
using KeyReader = std::function<int()>;

// The numbered language menu. `language` changes only when a number from 1 to 17 is confirmed
// with Enter; Esc, an empty Enter or the end of input leave it as it was.
void ChooseLanguage(LanguageId& language, const KeyReader& readKey, const TextSink& write);

}  // namespace talvo
