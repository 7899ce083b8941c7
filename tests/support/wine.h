#pragma once
#ifdef _WIN32
#include <windows.h>
#endif

namespace talvo::test {

// Wine's ntdll exports wine_get_version; Windows' does not. Tests use it only to skip a case
// that depends on a Wine gap, and say which.
inline bool UnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace talvo::test
