// The scripted program on a real pseudo-terminal: what a person at a Linux terminal sees.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr int kWaitMs = 10000;  // generous: only guards against a hang

enum class Stdout { Terminal, Pipe };
enum class Stdin { Terminal, DevNull };
// Alone: the program leads its own session, as under a terminal emulator without a shell.
// UnderShell: a stand-in shell leads the session and runs the program as a foreground job, so
// the job's group can stop on Ctrl-Z (an orphaned group may not).
enum class Session { Alone, UnderShell };

// One run of the scripted program. The test keeps both ends of the pseudo-terminal, so it can
// type, read the screen and look at the terminal settings after the program has gone.
class TerminalRun {
 public:
  TerminalRun(const char* scenario, const char* lang, Stdout out = Stdout::Terminal,
              Stdin in = Stdin::Terminal, Session session = Session::Alone) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "openpty failed";
      return;
    }
    tcgetattr(slave_, &initial_);
    int outPipe[2] = {-1, -1};
    if (out == Stdout::Pipe && pipe(outPipe) != 0) ADD_FAILURE() << "pipe failed";
    int jobPipe[2] = {-1, -1};
    if (session == Session::UnderShell && pipe(jobPipe) != 0) ADD_FAILURE() << "pipe failed";
    const int devNull = open("/dev/null", O_RDONLY);

    // Everything the child needs is made before fork: only async-signal-safe calls after it.
    const std::string program = TALVO_SCRIPTED_PROGRAM;
    const std::string langVariable = std::string("LANG=") + lang;
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(scenario),
                          nullptr};
    char* const envp[] = {const_cast<char*>(langVariable.c_str()),
                          const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      dup2(in == Stdin::Terminal ? slave_ : devNull, STDIN_FILENO);
      dup2(out == Stdout::Terminal ? slave_ : outPipe[1], STDOUT_FILENO);
      dup2(slave_, STDERR_FILENO);
      if (session == Session::UnderShell) RunAsForegroundJob(program.c_str(), argv, envp, jobPipe[1]);
      execve(program.c_str(), argv, envp);
      _exit(127);
    }
    close(devNull);
    if (session == Session::UnderShell) {
      close(jobPipe[1]);
      pollfd fd{jobPipe[0], POLLIN, 0};
      if (poll(&fd, 1, kWaitMs) <= 0 || read(jobPipe[0], &jobPid_, sizeof jobPid_) != sizeof jobPid_) {
        ADD_FAILURE() << "the stand-in shell did not name its job";
      }
      close(jobPipe[0]);
    }
    if (out == Stdout::Pipe) {
      close(outPipe[1]);
      output_ = outPipe[0];
    } else {
      output_ = master_;
    }
  }

  ~TerminalRun() {
    if (jobPid_ > 0 && !reaped_) kill(jobPid_, SIGKILL);
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ != master_ && output_ >= 0) close(output_);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;

  // Reads the program's output until `text` has appeared `times` times; false on timeout.
  bool ReadUntil(const std::string& text, int times = 1) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    for (;;) {
      if (Occurrences(text) >= times) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd fd{output_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(output_, buffer, sizeof buffer);
      if (n <= 0) return Occurrences(text) >= times;  // the other end is closed
      seen_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // Reads whatever else comes until the writing end is closed (pipe output only).
  void ReadToEnd() {
    while (ReadUntil("\x01never\x01")) {
    }
  }

  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  void Signal(int signalNumber) { kill(pid_, signalNumber); }

  // The child's wait status once it has ended; -1 when it did not end in time.
  int WaitForExit() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return status;
      }
      // Keep the terminal's buffer drained so the program is never blocked writing.
      pollfd fd{output_, POLLIN, 0};
      char buffer[4096];
      const ssize_t n = poll(&fd, 1, 10) > 0 ? read(output_, buffer, sizeof buffer) : 0;
      if (n > 0) {
        seen_.append(buffer, static_cast<std::size_t>(n));
      } else {
        usleep(10000);  // a closed pipe polls as ready at once
      }
    }
    return -1;
  }

  // The job's process state letter from /proc ('T' when stopped); 0 when unreadable.
  char JobState() const {
    const std::string path = "/proc/" + std::to_string(jobPid_) + "/stat";
    const int file = open(path.c_str(), O_RDONLY);
    if (file < 0) return 0;
    char buffer[512];
    const ssize_t n = read(file, buffer, sizeof buffer - 1);
    close(file);
    if (n <= 0) return 0;
    const std::string stat(buffer, static_cast<std::size_t>(n));
    const std::size_t name = stat.rfind(')');  // the command name may hold spaces
    return name == std::string::npos || name + 2 >= stat.size() ? 0 : stat[name + 2];
  }

  // Waits, bounded, until `holds` is true; the output stays drained meanwhile.
  template <typename Condition>
  bool WaitFor(Condition holds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!holds()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      pollfd fd{output_, POLLIN, 0};
      char buffer[4096];
      const ssize_t n = poll(&fd, 1, 10) > 0 ? read(output_, buffer, sizeof buffer) : 0;
      if (n > 0) seen_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  pid_t JobPid() const { return jobPid_; }

  termios Settings() const {
    termios now{};
    tcgetattr(slave_, &now);
    return now;
  }
  const termios& Initial() const { return initial_; }
  const std::string& Seen() const { return seen_; }

 private:
  int Occurrences(const std::string& text) const {
    int count = 0;
    for (std::size_t at = seen_.find(text); at != std::string::npos;
         at = seen_.find(text, at + text.size())) {
      ++count;
    }
    return count;
  }

  // The stand-in shell, in the forked child: the program runs in a group of its own that holds
  // the terminal's foreground, and the shell ends with the program's exit code (128 + signal
  // when it was killed), so WaitForExit reads the program through it. Async-signal-safe only.
  [[noreturn]] static void RunAsForegroundJob(const char* program, char* const argv[],
                                              char* const envp[], int jobPipe) {
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      // Taking the foreground from a background group raises SIGTTOU unless it is blocked.
      sigset_t block;
      sigset_t previous;
      sigemptyset(&block);
      sigaddset(&block, SIGTTOU);
      sigprocmask(SIG_BLOCK, &block, &previous);
      tcsetpgrp(STDIN_FILENO, getpid());
      sigprocmask(SIG_SETMASK, &previous, nullptr);
      execve(program, argv, envp);
      _exit(127);
    }
    if (job < 0) _exit(125);
    setpgid(job, job);
    if (write(jobPipe, &job, sizeof job) != sizeof job) _exit(125);
    close(jobPipe);
    int status = 0;
    while (waitpid(job, &status, 0) != job) {
      if (errno != EINTR) _exit(126);
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }

  int master_ = -1;
  int slave_ = -1;
  int output_ = -1;
  pid_t pid_ = -1;
  pid_t jobPid_ = -1;
  bool reaped_ = false;
  termios initial_{};
  std::string seen_;
};

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
  ASSERT_TRUE(run.ReadUntil(kFallback, 2));
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
  TerminalRun run("quick", "ko_KR.UTF-8");
  ASSERT_TRUE(run.ReadUntil(kFallback));
  EXPECT_NE(run.Seen().find("\xEC\x95\x84\xEB\xAC\xB4 \xED\x82\xA4: "), std::string::npos)
      << run.Seen();  // "아무 키: " of the Korean prompt
  run.Type("l");
  ASSERT_TRUE(run.ReadUntil("17. "));
  run.Type("123\r");  // the third digit is neither taken nor echoed
  ASSERT_TRUE(run.ReadUntil(kFallback, 2));
  EXPECT_NE(run.Seen().find("12\r\nTALVO LINK - NETWORK CHECK\r\n\r\n"), std::string::npos);
  EXPECT_EQ(run.Seen().find("123"), std::string::npos);
  run.Type("f");
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
    run.Type("\x1b");
    ASSERT_TRUE(run.ReadUntil(kFallback, 2));
    EXPECT_NE(run.Seen().find("\r\n[ CHECK CANCELLED ]\r\n\r\nProduct information: "),
              std::string::npos)
        << run.Seen();
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
  run.Type("R");
  ASSERT_TRUE(run.ReadUntil("(Esc: cancel) | 0s", 2));
  run.Type("\x1b");
  ASSERT_TRUE(run.ReadUntil("[ CHECK CANCELLED ]", 2));
  ASSERT_TRUE(run.ReadUntil(kFallback, 3));
  run.Type("n");
  EXPECT_EQ(run.WaitForExit(), 0);
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

TEST(Terminal, SettingsComeBackAfterSigtermDuringACheck) {
  TerminalRun run("hang", "C");
  ASSERT_TRUE(run.ReadUntil(kFallback));
  run.Type("x");
  ASSERT_TRUE(run.ReadUntil("(Esc: cancel) | 0s"));
  EXPECT_FALSE(SameSettings(run.Settings(), run.Initial()));
  run.Signal(SIGTERM);
  const int status = run.WaitForExit();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(SameSettings(run.Settings(), run.Initial()));
}

TEST(Terminal, CtrlCEndsTheProgramAndRestoresTheSettings) {
  TerminalRun run("hang", "C");
  ASSERT_TRUE(run.ReadUntil(kFallback));
  EXPECT_FALSE(SameSettings(run.Settings(), run.Initial()));
  run.Type("\x03");
  const int status = run.WaitForExit();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  EXPECT_TRUE(SameSettings(run.Settings(), run.Initial()));
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

TEST(Terminal, HangupRestoresTheSettings) {
  TerminalRun run("hang", "C");
  ASSERT_TRUE(run.ReadUntil(kFallback));
  run.Signal(SIGHUP);
  const int status = run.WaitForExit();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGHUP);
  EXPECT_TRUE(SameSettings(run.Settings(), run.Initial()));
}

}  // namespace
