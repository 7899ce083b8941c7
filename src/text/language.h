#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "text/catalogue.h"

namespace talvo {

// The start language for a list of preferred UI language tags (such as "en-US" or
// "zh-Hant-TW"), most preferred first; English when no tag names a language we have.
LanguageId MatchLanguageTags(const std::vector<std::u16string>& tags);

// A multi-string as GetUserPreferredUILanguages returns it: tags ended by U+0000, the list
// ended by an empty tag (or by the end of the buffer).
std::vector<std::u16string> SplitLanguageList(std::u16string_view list);

// A POSIX locale name as a language tag: "pt_BR.UTF-8@euro" becomes "pt-BR". C and POSIX (with
// any codeset) name no language and give the empty text.
std::u16string LocaleNameToTag(std::string_view locale);

// The preferred UI languages of a POSIX environment, by gettext's rules: the locale is the first
// non-empty of LC_ALL, LC_MESSAGES and LANG; none, C or POSIX give no language at all;
// otherwise the colon-separated LANGUAGE list when it is set, else the locale's language.
// Null means unset.
std::vector<std::u16string> TagsFromLocaleEnvironment(const char* language, const char* lcAll,
                                                      const char* lcMessages, const char* lang);

// The user's preferred UI languages as the platform reports them, most preferred first.
std::vector<std::u16string> PreferredUiLanguageTags();

// The start language: MatchLanguageTags over the platform's list.
LanguageId DetectLanguage();

}  // namespace talvo
