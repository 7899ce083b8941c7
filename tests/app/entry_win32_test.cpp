// The program's entry on Windows: keys typed into a terminal do not reach a program under Wine,
// but the refusal of a standard input that is no console can be seen from outside.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// The build tree's path as Windows sees it (Wine maps the root to drive Z:).
std::wstring ProgramPath() {
  const std::string path = TALVO_SCRIPTED_PROGRAM;
  std::wstring windowsPath = path.size() > 1 && path[1] == ':' ? L"" : L"Z:";
  for (char c : path) windowsPath.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
  return windowsPath;
}

// Closes a handle on every way out.
struct HandleOwner {
  HANDLE handle = nullptr;
  ~HandleOwner() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// Runs the program with `input` as its standard input: it must refuse, at once and silently.
void ExpectRefusal(HANDLE input) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HandleOwner readEnd;
  HandleOwner writeEnd;
  ASSERT_TRUE(CreatePipe(&readEnd.handle, &writeEnd.handle, &inheritable, 0));
  SetHandleInformation(readEnd.handle, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = writeEnd.handle;
  startup.hStdError = writeEnd.handle;
  std::wstring commandLine = L"\"" + ProgramPath() + L"\" quick";
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &process))
      << GetLastError();
  HandleOwner processHandle{process.hProcess};
  HandleOwner threadHandle{process.hThread};
  CloseHandle(writeEnd.handle);
  writeEnd.handle = nullptr;

  std::string output;
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(readEnd.handle, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output.append(buffer, got);
  }
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 1u);
  EXPECT_EQ(output, "");
}

// A pipe, and NUL: a character device, which _isatty accepts, that is no console.
TEST(Entry, StandardInputThatIsNoConsoleEndsWithCode1AndNoOutput) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HandleOwner input;
  HandleOwner inputWriteEnd;
  ASSERT_TRUE(CreatePipe(&input.handle, &inputWriteEnd.handle, &inheritable, 0));
  SetHandleInformation(inputWriteEnd.handle, HANDLE_FLAG_INHERIT, 0);
  ExpectRefusal(input.handle);
  HandleOwner nul{CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inheritable, OPEN_EXISTING, 0, nullptr)};
  ASSERT_NE(nul.handle, INVALID_HANDLE_VALUE) << GetLastError();
  SCOPED_TRACE("NUL");
  ExpectRefusal(nul.handle);
}

}  // namespace
