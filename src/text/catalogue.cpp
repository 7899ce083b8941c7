#include "text/catalogue.h"

#include "text/translations.h"

namespace talvo {
namespace {

struct LanguageEntry {
  std::string_view code;
  std::u16string_view nativeName;
};

// In LanguageId order; the menu number is the index plus one.
constexpr LanguageEntry kLanguages[kLanguageCount] = {
    {"en", u"English"},
    {"ko", u"한국어"},
    {"ja", u"日本語"},
    {"zh-CN", u"简体中文"},
    {"zh-TW", u"繁體中文"},
    {"es", u"Español"},
    {"fr", u"Français"},
    {"de", u"Deutsch"},
    {"it", u"Italiano"},
    {"pt-BR", u"Português (Brasil)"},
    {"id", u"Bahasa Indonesia"},
    {"th", u"ไทย"},
    {"vi", u"Tiếng Việt"},
    {"tr", u"Türkçe"},
    {"hi", u"हिन्दी"},
    {"pl", u"Polski"},
    {"ru", u"Русский"},
};

bool IsListed(LanguageId language) { return Index(language) >= 0 && Index(language) < kLanguageCount; }

// An unknown language reads as English.
const LanguageTexts& Texts(LanguageId language) {
  return kTranslations[Index(IsListed(language) ? language : LanguageId::English)];
}

const LanguageTexts& English() { return kTranslations[Index(LanguageId::English)]; }

}  // namespace

std::string_view LanguageCode(LanguageId language) {
  if (!IsListed(language)) return {};
  return kLanguages[Index(language)].code;
}

std::u16string_view NativeName(LanguageId language) {
  if (!IsListed(language)) return {};
  return kLanguages[Index(language)].nativeName;
}

std::u16string TextFor(LanguageId language, TextId id) {
  const int row = Index(id);
  if (row < 0 || row >= kTextRowCount) return {};
  const std::u16string_view translated = Texts(language).rows[row];
  return std::u16string(translated.empty() ? English().rows[row] : translated);
}

std::u16string ReasonFor(LanguageId language, ReasonId id) {
  const int sentence = Index(id);
  if (sentence < 0 || sentence >= kReasonCount) return {};
  // Every translation is complete; an empty sentence would still be better shown in English
  // than as a blank reason line.
  const std::u16string_view translated = Texts(language).reasons[sentence];
  return std::u16string(translated.empty() ? English().reasons[sentence] : translated);
}

void WriteRow(const TextSink& write, LanguageId language, TextId id) {
  write(TextFor(language, id) + u"\n");
}

}  // namespace talvo
