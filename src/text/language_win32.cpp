#include <windows.h>

#include "text/language.h"

namespace talvo {

std::vector<std::u16string> PreferredUiLanguageTags() {
  ULONG languageCount = 0;
  ULONG size = 0;
  if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &languageCount, nullptr, &size) ||
      size == 0) {
    return {};
  }
  std::u16string buffer(size, u'\0');
  if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &languageCount,
                                   reinterpret_cast<PZZWSTR>(buffer.data()), &size)) {
    return {};
  }
  return SplitLanguageList(buffer);
}

}  // namespace talvo
