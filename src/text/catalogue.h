#pragma once
#include <string>
#include <string_view>

#include "console/console_output.h"
#include "text/text_ids.h"

namespace talvo {

// The code that DetectLanguage matches tags against ("en", "zh-CN", "pt-BR", ...); empty for
// a value outside the list.
std::string_view LanguageCode(LanguageId language);
// The language's name in its own script, as the menu lists it.
std::u16string_view NativeName(LanguageId language);

// The row in the language; the English row for an unknown language or a missing or empty
// translation; empty for an unknown row.
std::u16string TextFor(LanguageId language, TextId id);
// The reason sentence in the language (English for an unknown language); empty for an
// unknown sentence.
std::u16string ReasonFor(LanguageId language, ReasonId id);
// The row and a line break in one write.
void WriteRow(const TextSink& write, LanguageId language, TextId id);

}  // namespace talvo
