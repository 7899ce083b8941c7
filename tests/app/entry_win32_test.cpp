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

struct Ending {
  DWORD exitCode = 0;
  std::string output;
};

// Runs the scripted program with `input` as its standard input and its output into a pipe.
Ending RunWithInput(HANDLE input) {
  Ending ending;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HandleOwner readEnd;
  HandleOwner writeEnd;
  EXPECT_TRUE(CreatePipe(&readEnd.handle, &writeEnd.handle, &inheritable, 0));
  SetHandleInformation(readEnd.handle, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = writeEnd.handle;
  startup.hStdError = writeEnd.handle;
  std::wstring commandLine = L"\"" + ProgramPath() + L"\" quick";
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "CreateProcessW: " << GetLastError();
    return ending;
  }
  HandleOwner processHandle{process.hProcess};
  HandleOwner threadHandle{process.hThread};
  CloseHandle(writeEnd.handle);
  writeEnd.handle = nullptr;

  char buffer[512];
  DWORD got = 0;
  while (ReadFile(readEnd.handle, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    ending.output.append(buffer, got);
  }
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  GetExitCodeProcess(process.hProcess, &ending.exitCode);
  return ending;
}

// A pipe, and NUL: a character device, which _isatty accepts, that is no console.
TEST(Entry, StandardInputThatIsNoConsoleEndsWithCode1AndNoOutput) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HandleOwner pipeInput;
  HandleOwner pipeWriteEnd;
  ASSERT_TRUE(CreatePipe(&pipeInput.handle, &pipeWriteEnd.handle, &inheritable, 0));
  SetHandleInformation(pipeWriteEnd.handle, HANDLE_FLAG_INHERIT, 0);
  HandleOwner nul{CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inheritable, OPEN_EXISTING, 0, nullptr)};
  ASSERT_NE(nul.handle, INVALID_HANDLE_VALUE) << GetLastError();
  for (HANDLE input : {pipeInput.handle, nul.handle}) {
    SCOPED_TRACE(input == nul.handle ? "NUL" : "a pipe");
    const Ending ending = RunWithInput(input);
    EXPECT_EQ(ending.exitCode, 1u);
    EXPECT_EQ(ending.output, "");
  }
}

}  // namespace
