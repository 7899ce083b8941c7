#pragma once
#include <string>
#include <string_view>

namespace talvo {

// UTF-8 <-> UTF-16 as MultiByteToWideChar/WideCharToMultiByte with CP_UTF8 do it: malformed
// input and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace talvo
