#pragma once
#include <string_view>

#include "text/text_ids.h"

namespace talvo {

// One language's user-interface rows and reason sentences.
struct LanguageTexts {
  std::u16string_view rows[kTextRowCount];
  std::u16string_view reasons[kReasonCount];
};

// Every language's texts, English included, in LanguageId order: the one place a text of the
// program is written.
extern const LanguageTexts kTranslations[kLanguageCount];

}  // namespace talvo
