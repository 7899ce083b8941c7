// The scripted program on a real pseudo-terminal: what a person at a Linux terminal sees.
#include "support/terminal_run.h"

#include <cstring>

namespace {

using talvo::test::CtrlC;
using talvo::test::Session;
using talvo::test::Stdin;
using talvo::test::Stdout;
using talvo::test::TerminalRun;

bool SameSettings(const termios& a, const termios& b) {
  return a.c_lflag == b.c_lflag && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag &&
         a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

const std::string kFallback = "F: English fallback (if text is unreadable)";
const std::string kStartScreen =
    "TALVO LINK - NETWORK CHECK\n\n"
    "Estimates compatibility with direct HTTPS sharing.\n"
    "No files are shared and router settings are not changed.\n"
    "The public IP lookup service receives a request from this network.\n"
    "Press any key to start | L: language\n"
    "F: English fallback (if text is unreadable)\n";
const std::string kGoodResult =
    "Estimated compatibility score: 80 / 100\n"
    "Evidence: HIGH\n"
    "Reason: A public IPv6 route is available. Recipients may also need IPv6.\n"
    "Check network requirements and retry if needed.\n"
    "Estimate only: not a connection probability or guarantee.\n"
    "\n"
    "Product information: https://apps.microsoft.com/detail/9NTLVLNKCHK1\n"
    "R: retry | L: language | any other key: exit\n"
    "F: English fallback (if text is unreadable)\n";

// The terminal turns each line feed into CR LF on the way to the screen.
std::string OnTerminal(const std::string& text) {
  std::string shown;
  for (char c : text) {
    if (c == '\n') shown += '\r';
    shown += c;
  }
  return shown;
}

TEST(Terminal, StartScreenCheckAndResultWithStatusLineAndColours) {
  TerminalRun run("slow", "C");
  ASSERT_TRUE(run.ReadUntil(kFallback));
  EXPECT_EQ(run.Seen(), OnTerminal(kStartScreen));
  // Keys without echo or line buffering while the program runs; Ctrl-C still a signal.
  const termios during = run.Settings();
  EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_NE(during.c_lflag & ISIG, 0u);

  run.Type("x");
  ASSERT_TRUE(run.ReadUntil(kFallback + "\r\n", 2));  // the result screen's last line, whole
  const std::string& seen = run.Seen();
  EXPECT_NE(seen.find("\rChecking network... (Esc: cancel) | 0s   "), std::string::npos);
  EXPECT_NE(seen.find("\rChecking network... (Esc: cancel) / 0s   "), std::string::npos);
  EXPECT_NE(seen.find("s   \r\n\x1b[0;92;40m[ LIKELY COMPATIBLE ]\r\n\x1b[0m" +
                      OnTerminal(kGoodResult)),
            std::string::npos)
      << seen;
  // The key was not echoed: the status line follows the start screen directly.
  EXPECT_EQ(seen.rfind(OnTerminal(kStartScreen) + "\rChecking network", 0), 0u);

  run.Type("q");
  const int status = run.WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(SameSettings(run.Settings(), run.Initial()));
}

TEST(Terminal, LowScoreHeadingIsRed) {
  TerminalRun run("low", "C");
  ASSERT_TRUE(run.ReadUntil(kFallback));
  run.Type("\r");
  ASSERT_TRUE(run.ReadUntil(kFallback, 2));
  EXPECT_NE(run.Seen().find("\x1b[0;91;40m[ LOW COMPATIBILITY ESTIMATE ]\r\n\x1b[0m"
                            "Estimated compatibility score: 3 / 100\r\n"),
            std::string::npos)
      << run.Seen();
  run.Type("\x1b");  // Esc on the result screen leaves as well
  const int status = run.WaitForExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Terminal, LanguageFollowsTheLocaleAndTheMenuChangesIt) {
  // The Enter that ended the command line is typed again before the start screen: dropped.
  TerminalRun run("quick", "ko_KR.UTF-8", Stdout::Terminal, Stdin::Terminal, Session::Alone, {},
                  "\r");
  ASSERT_TRUE(run.ReadUntil(kFallback));
  EXPECT_NE(run.Seen().find("\xEC\x95\x84\xEB\xAC\xB4 \xED\x82\xA4: "), std::string::npos)
      << run.Seen();  // "아무 키: " of the Korean prompt
  run.Type("\xD0\xB4");  // д, on the L key of a Russian keyboard
  ASSERT_TRUE(run.ReadUntil("17. "));
  EXPECT_EQ(run.Seen().find("(Esc:"), std::string::npos) << "a check ran";
  run.Type("123\r");  // the third digit is neither taken nor echoed
  ASSERT_TRUE(run.ReadUntil(kFallback, 2));
  EXPECT_NE(run.Seen().find("12\r\nTALVO LINK - NETWORK CHECK\r\n\r\n"), std::string::npos);
  EXPECT_EQ(run.Seen().find("123"), std::string::npos);
  run.Type("\xE0\xB8\x94");  // ด, on the F key of a Thai keyboard
  ASSERT_TRUE(run.ReadUntil(kFallback, 3));
  EXPECT_NE(run.Seen().find(OnTerminal(kStartScreen)), std::string::npos);
  run.Type("q");
  ASSERT_TRUE(run.ReadUntil(kFallback, 4));
  run.Type("q");
  const int status = run.WaitForExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Terminal, EscCancelsButAnArrowKeyDoesNot) {
  {
    TerminalRun run("hang", "C");
    ASSERT_TRUE(run.ReadUntil(kFallback));
    run.Type("x");
    ASSERT_TRUE(run.ReadUntil("(Esc: cancel) | 0s"));
    run.Type("\x1b\x1b");  // the second Esc outlives the check and is dropped with it
    ASSERT_TRUE(run.ReadUntil(kFallback, 2));
    EXPECT_NE(run.Seen().find("\r\n[ CHECK CANCELLED ]\r\n\r\nProduct information: "),
              std::string::npos)
        << run.Seen();
    run.Type("f");
    ASSERT_TRUE(run.ReadUntil(kFallback, 3));
    run.Type("q");
    EXPECT_EQ(run.WaitForExit(), 0);
  }
  {
    TerminalRun run("slow", "C");
    ASSERT_TRUE(run.ReadUntil(kFallback));
    run.Type("x");
    ASSERT_TRUE(run.ReadUntil("(Esc: cancel) | 0s"));
    run.Type("\x1b[A\x1b[B");
    ASSERT_TRUE(run.ReadUntil(kFallback, 2));
    EXPECT_NE(run.Seen().find("[ LIKELY COMPATIBLE ]"), std::string::npos) << run.Seen();
    EXPECT_EQ(run.Seen().find("CANCELLED"), std::string::npos);
    run.Type("q");
    EXPECT_EQ(run.WaitForExit(), 0);
  }
}

TEST(Terminal, RetryRunsASecondCheck) {
  TerminalRun run("hang", "C");
  ASSERT_TRUE(run.ReadUntil(kFallback));
  run.Type("x");
  ASSERT_TRUE(run.ReadUntil("(Esc: cancel) | 0s"));
  run.Type("\x1b");
  ASSERT_TRUE(run.ReadUntil("[ CHECK CANCELLED ]"));
  ASSERT_TRUE(run.ReadUntil(kFallback, 2));
  run.Type("\xD0\xBA");  // к, on the R key of a Russian keyboard
  ASSERT_TRUE(run.ReadUntil("(Esc: cancel) | 0s", 2));
  run.Type("\x1b");
  ASSERT_TRUE(run.ReadUntil("[ CHECK CANCELLED ]", 2));
  ASSERT_TRUE(run.ReadUntil(kFallback, 3));
  run.Type("\xC3\xBC");  // ü leaves, and its second byte goes with it, not to the shell
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_EQ(run.PendingInput(), 0);
}

TEST(Terminal, StandardInputThatIsNoTerminalEndsWithCode1AndNoOutput) {
  TerminalRun run("quick", "C", Stdout::Pipe, Stdin::DevNull);
  const int status = run.WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  run.ReadToEnd();
  EXPECT_EQ(run.Seen(), "");
}

TEST(Terminal, RedirectedOutputIsPlainUtf8WithoutStatusLinesOrColours) {
  TerminalRun run("slow", "C", Stdout::Pipe);
  ASSERT_TRUE(run.ReadUntil(kFallback));
  run.Type("x");
  ASSERT_TRUE(run.ReadUntil(kFallback, 2));
  run.Type("q");
  ASSERT_EQ(run.WaitForExit(), 0);
  run.ReadToEnd();
  EXPECT_EQ(run.Seen(), kStartScreen + "[ LIKELY COMPATIBLE ]\n" + kGoodResult);
}

TEST(Terminal, RedirectedKoreanOutputIsUtf8) {
  TerminalRun run("error", "ko_KR.UTF-8", Stdout::Pipe);
  ASSERT_TRUE(run.ReadUntil(kFallback));
  run.Type("x");
  ASSERT_TRUE(run.ReadUntil(kFallback, 2));
  run.Type("q");
  ASSERT_EQ(run.WaitForExit(), 0);
  // "[ 검사 오류 ] 다시 시도하세요." right after the start screen's fallback line.
  EXPECT_NE(run.Seen().find(kFallback + "\n[ \xEA\xB2\x80\xEC\x82\xAC \xEC\x98\xA4\xEB\xA5\x98 ]"),
            std::string::npos)
      << run.Seen();
}

TEST(Terminal, CtrlZHandsTheShellItsSettingsAndTheKeysComeBackOnContinue) {
  TerminalRun run("hang", "C", Stdout::Terminal, Stdin::Terminal, Session::UnderShell);
  ASSERT_GT(run.JobPid(), 0);
  ASSERT_TRUE(run.ReadUntil(kFallback));
  run.Type("x");
  ASSERT_TRUE(run.ReadUntil("(Esc: cancel) | 0s"));
  EXPECT_FALSE(SameSettings(run.Settings(), run.Initial()));

  run.Type("\x1a");
  ASSERT_TRUE(run.WaitFor([&] { return run.JobState() == 'T'; })) << run.JobState();
  EXPECT_TRUE(SameSettings(run.Settings(), run.Initial()));

  // A shell's fg gives the terminal back and continues the group.
  kill(-run.JobPid(), SIGCONT);
  ASSERT_TRUE(run.WaitFor([&] {
    return run.JobState() != 'T' && (run.Settings().c_lflag & (ICANON | ECHO)) == 0;
  }));
  // A lone Esc only arrives without Enter once the key settings are back.
  run.Type("\x1b");
  ASSERT_TRUE(run.ReadUntil("[ CHECK CANCELLED ]"));
  ASSERT_TRUE(run.ReadUntil(kFallback, 2));
  run.Type("q");
  const int status = run.WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(SameSettings(run.Settings(), run.Initial()));
}

// However the program ends, the terminal gets its settings back, and the program ends by the
// signal that ended it, as it would have without us.
TEST(Terminal, EveryEndingSignalRestoresTheSettingsAndEndsTheProgramByIt) {
  struct Case {
    const char* scenario;
    bool duringCheck;
    int signalNumber;
    const char* typed;  // the key that raises it, or null: sent with kill, or the program's own
    CtrlC ctrlC = CtrlC::Signal;  // Key: Ctrl-C is read as a key, and the program ends itself
  };
  const Case cases[] = {
      {"hang", false, SIGINT, "\x03"}, {"hang", true, SIGINT, "\x03"},
      {"hang", false, SIGINT, "\x03", CtrlC::Key}, {"hang", true, SIGINT, "\x03", CtrlC::Key},
      {"hang", true, SIGQUIT, "\x1c"}, {"hang", true, SIGTERM, nullptr},
      {"hang", false, SIGHUP, nullptr}, {"hang", true, SIGSEGV, nullptr},
      {"hang", true, SIGBUS, nullptr},  {"hang", true, SIGFPE, nullptr},
      {"hang", true, SIGILL, nullptr},  {"hang", false, SIGABRT, nullptr},
      {"hang", true, SIGUSR1, nullptr}, {"hang", true, SIGALRM, nullptr},
      {"hang", true, SIGRTMIN + 1, nullptr},
      {"abort", true, SIGABRT, nullptr},  // what an exception that nothing catches ends in
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.scenario) + " signal " + std::to_string(c.signalNumber) +
                 (c.ctrlC == CtrlC::Key ? ", Ctrl-C read as a key" : ""));
    TerminalRun run(c.scenario, "C", Stdout::Terminal, Stdin::Terminal, Session::Alone, {}, "",
                    c.ctrlC);
    ASSERT_TRUE(run.ReadUntil(kFallback));
    EXPECT_FALSE(SameSettings(run.Settings(), run.Initial()));
    if (c.duringCheck) run.Type("x");
    const bool sent = std::strcmp(c.scenario, "hang") == 0;
    if (sent && c.duringCheck) {
      ASSERT_TRUE(run.ReadUntil("(Esc: cancel) | 0s"));
    }
    if (sent && c.typed != nullptr) run.Type(c.typed);
    if (sent && c.typed == nullptr) run.Signal(c.signalNumber);
    const int status = run.WaitForExit();
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), c.signalNumber);
    EXPECT_TRUE(SameSettings(run.Settings(), run.Initial()));
  }
}

}  // namespace
