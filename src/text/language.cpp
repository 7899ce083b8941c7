#include "text/language.h"

#include <cwctype>
#include <optional>

namespace talvo {
namespace {

std::u16string LowerCase(std::u16string_view tag) {
  std::u16string lowered(tag);
  for (char16_t& unit : lowered) {
    unit = static_cast<char16_t>(std::towlower(static_cast<std::wint_t>(unit)));
  }
  return lowered;
}

bool BeginsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

std::u16string AsciiToUtf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The language one tag names, or nothing to go on with the next tag.
std::optional<LanguageId> MatchOneTag(std::u16string_view tag) {
  const std::u16string lowered = LowerCase(tag);
  // Chinese and Portuguese are decided by script or region before the general rule: a
  // Portuguese other than Brazilian gets English, not the Brazilian texts.
  for (std::u16string_view traditional : {u"zh-hant", u"zh-tw", u"zh-hk", u"zh-mo"}) {
    if (BeginsWith(lowered, traditional)) return LanguageId::TraditionalChinese;
  }
  if (BeginsWith(lowered, u"zh")) return LanguageId::SimplifiedChinese;
  if (BeginsWith(lowered, u"pt-br")) return LanguageId::BrazilianPortuguese;
  if (BeginsWith(lowered, u"pt")) return LanguageId::English;
  for (int index = 0; index < kLanguageCount; ++index) {
    const auto id = static_cast<LanguageId>(index);
    const std::u16string code = LowerCase(AsciiToUtf16(LanguageCode(id)));
    if (lowered == code || BeginsWith(lowered, code + u"-")) return id;
  }
  return std::nullopt;
}

}  // namespace

LanguageId MatchLanguageTags(const std::vector<std::u16string>& tags) {
  for (const std::u16string& tag : tags) {
    if (const std::optional<LanguageId> match = MatchOneTag(tag)) return *match;
  }
  return LanguageId::English;
}

std::vector<std::u16string> SplitLanguageList(std::u16string_view list) {
  std::vector<std::u16string> tags;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(u'\0', start);
    if (end == std::u16string_view::npos) end = list.size();
    if (end == start) break;  // the empty tag that ends the list
    tags.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return tags;
}

std::u16string LocaleNameToTag(std::string_view locale) {
  const std::size_t cut = locale.find_first_of(".@");
  const std::string_view name = locale.substr(0, cut);
  if (name.empty() || name == "C" || name == "POSIX") return {};
  std::u16string tag;
  tag.reserve(name.size());
  for (char c : name) {
    // Locale names are ASCII; anything else cannot match a language code anyway.
    const auto byte = static_cast<unsigned char>(c);
    tag.push_back(c == '_' ? u'-' : (byte < 0x80 ? static_cast<char16_t>(byte) : u'?'));
  }
  return tag;
}

std::vector<std::u16string> TagsFromLocaleEnvironment(const char* language, const char* lcAll,
                                                      const char* lcMessages, const char* lang) {
  // gettext's order: the messages locale is the first of these set to a non-empty value.
  const char* locale = nullptr;
  for (const char* candidate : {lcAll, lcMessages, lang}) {
    if (candidate != nullptr && *candidate != '\0') {
      locale = candidate;
      break;
    }
  }
  // The C locale shows the untranslated texts whatever LANGUAGE says, as gettext does: its
  // output is what scripts and logs expect. (C.UTF-8 is a locale of its own and takes it.)
  if (locale == nullptr) return {};
  const std::string_view localeName(locale);
  if (localeName == "C" || localeName == "POSIX") return {};
  std::vector<std::u16string> tags;
  if (language == nullptr || *language == '\0') {
    std::u16string tag = LocaleNameToTag(localeName);
    if (!tag.empty()) tags.push_back(std::move(tag));
    return tags;
  }
  // A LANGUAGE list replaces the locale's own language; it is not tried after the list.
  const std::string_view list(language);
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string_view::npos) end = list.size();
    std::u16string tag = LocaleNameToTag(list.substr(start, end - start));
    if (!tag.empty()) tags.push_back(std::move(tag));
    start = end + 1;
  }
  return tags;
}

LanguageId DetectLanguage() { return MatchLanguageTags(PreferredUiLanguageTags()); }

}  // namespace talvo
