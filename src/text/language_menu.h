#pragma once
#include <functional>

#include "console/console_output.h"
#include "text/catalogue.h"

namespace talvo {

// Takes one key code, waiting for it (_getch).
using KeyReader = std::function<int()>;
// Drops the keys typed so far, so that they cannot act on the screen just written.
using KeyDiscarder = std::function<void()>;

// The numbered language menu. `language` changes only when a number from 1 to 17 is confirmed
// with Enter; Esc, an empty Enter or the end of input leave it as it was. Keys typed before the
// list was written are dropped.
void ChooseLanguage(LanguageId& language, const KeyReader& readKey,
                    const KeyDiscarder& discardKeys, const TextSink& write);

}  // namespace talvo
