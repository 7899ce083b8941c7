#pragma once
#include <string>
#include <string_view>

#include "console/console_output.h"
#include "text/translations.h"

namespace talvo {

// Index into the language list: 0 English, 1 Korean, 2 to 16 the translations.
using LanguageId = int;
// A user-interface row, 0 to 21.
using TextId = int;

constexpr LanguageId kEnglish = 0;
constexpr LanguageId kKorean = 1;

// Rows by their use on the screens.
namespace row {
constexpr TextId kIntro = 0, kNoChanges = 1, kLookupNotice = 2, kStartPrompt = 3,
                 kLanguageKey = 4, kChecking = 5, kCancelledHeading = 6, kErrorHeading = 7,
                 kCompatibleHeading = 8, kLowHeading = 9, kScoreLabel = 10,
                 kEvidenceLabel = 11, kEvidenceHigh = 12, kEvidenceMedium = 13,
                 kEvidenceLow = 14, kReasonLabel = 15, kCheckRequirements = 16,
                 kEstimateOnly = 17, kProductInfoLabel = 18, kResultPrompt = 19,
                 kMenuPrompt = 20, kInvalidSelection = 21;
}  // namespace row

// The code that DetectLanguage matches tags against ("en", "zh-CN", "pt-BR", ...).
std::string_view LanguageCode(LanguageId language);
// The language's name in its own script, as the menu lists it.
std::u16string_view NativeName(LanguageId language);

// The row in the language; the English row for an unknown language or a missing or empty
// translation; empty for an unknown row.
std::u16string TextFor(LanguageId language, TextId id);
// The reason sentence in the language (English for an unknown language); empty for an
// unknown sentence.
std::u16string ReasonFor(LanguageId language, int id);
// The row and a line break in one write.
void WriteRow(const TextSink& write, LanguageId language, TextId id);

}  // namespace talvo
