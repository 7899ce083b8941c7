#pragma once
#include <string_view>

#include "text/text_ids.h"

namespace talvo {

// One language's user-interface rows and reason sentences.
struct LanguageTexts {
  std::u16string_view rows[kTextRowCount];
  std::u16string_view reasons[kReasonCount];
};

// The languages after English and Korean, in LanguageId order 2 to 16: Japanese, Simplified
// Chinese, Traditional Chinese, Spanish, French, German, Italian, Brazilian Portuguese,
// Indonesian, Thai, Vietnamese, Turkish, Hindi, Polish, Russian.
extern const LanguageTexts kTranslations[kLanguageCount - 2];

}  // namespace talvo
