#include <windows.h>

#include <memory>

#include "console/console_output.h"

namespace talvo {

void WriteText(std::u16string_view text) {
  // Asked anew each time: the handle may have been replaced since the last write.
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  const auto* units = reinterpret_cast<const wchar_t*>(text.data());
  const auto count = static_cast<int>(text.size());
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    DWORD written = 0;
    WriteConsoleW(handle, units, static_cast<DWORD>(count), &written, nullptr);
    return;
  }
  if (count == 0) return;
  const int size = WideCharToMultiByte(CP_UTF8, 0, units, count, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  const auto bytes = std::make_unique<char[]>(static_cast<std::size_t>(size));
  if (WideCharToMultiByte(CP_UTF8, 0, units, count, bytes.get(), size, nullptr, nullptr) != size) {
    return;
  }
  DWORD written = 0;
  WriteFile(handle, bytes.get(), static_cast<DWORD>(size), &written, nullptr);
}

ConsoleState ProbeConsole() {
  ConsoleState state;
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  state.handle = reinterpret_cast<std::intptr_t>(handle);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
    state.isConsole = GetConsoleScreenBufferInfo(handle, &info) != FALSE;
  }
  state.savedAttributes = state.isConsole ? info.wAttributes : 0;
  return state;
}

void SetAttributes(const ConsoleState& state, std::uint16_t attributes) {
  if (!state.isConsole) return;
  SetConsoleTextAttribute(reinterpret_cast<HANDLE>(state.handle), attributes);
}

}  // namespace talvo
