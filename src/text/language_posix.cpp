#include <cstdlib>

#include "text/language.h"

namespace talvo {

std::vector<std::u16string> PreferredUiLanguageTags() {
  return TagsFromLocaleEnvironment(std::getenv("LANGUAGE"), std::getenv("LC_ALL"),
                                   std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace talvo
