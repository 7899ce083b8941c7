#pragma once
// The scripted program on a real pseudo-terminal, for the tests that drive it as a person at a
// Linux terminal would: they type, read the screen and look at the terminal settings after the
// program has gone. Every process it starts is ended by its PID.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace talvo::test {

constexpr int kWaitMs = 10000;  // generous: only guards against a hang

enum class Stdout { Terminal, Pipe };
enum class Stdin { Terminal, DevNull };
// Alone: the program leads its own session, as under a terminal emulator without a shell.
// UnderShell: a stand-in shell leads the session and runs the program as a foreground job, so
// the job's group can stop on Ctrl-Z (an orphaned group may not).
enum class Session { Alone, UnderShell };
// Signal: Ctrl-C raises SIGINT, as terminals do by default. Key: the interrupt key is switched
// off (stty intr undef), so Ctrl-C reaches the program as the byte 3.
enum class CtrlC { Signal, Key };

// One run of the scripted program. The test keeps both ends of the pseudo-terminal, so it can
// type, read the screen and look at the terminal settings after the program has gone.
class TerminalRun {
 public:
  // `environment` adds variables to the program's LANG and PATH; `typedAhead` is typed before
  // the program starts.
  TerminalRun(const char* scenario, const char* lang, Stdout out = Stdout::Terminal,
              Stdin in = Stdin::Terminal, Session session = Session::Alone,
              const std::vector<std::string>& environment = {},
              const std::string& typedAhead = "", CtrlC ctrlC = CtrlC::Signal) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "openpty failed";
      return;
    }
    if (ctrlC == CtrlC::Key) {
      termios settings{};
      tcgetattr(slave_, &settings);
      settings.c_cc[VINTR] = _POSIX_VDISABLE;
      tcsetattr(slave_, TCSANOW, &settings);
    }
    tcgetattr(slave_, &initial_);
    if (!typedAhead.empty()) TypeNow(typedAhead);
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
    std::vector<std::string> variables = {langVariable, "PATH=/usr/bin:/bin"};
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      const rlimit noCore{0, 0};  // the crash cases end by their signal, without a core file
      setrlimit(RLIMIT_CORE, &noCore);
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      dup2(in == Stdin::Terminal ? slave_ : devNull, STDIN_FILENO);
      dup2(out == Stdout::Terminal ? slave_ : outPipe[1], STDOUT_FILENO);
      dup2(slave_, STDERR_FILENO);
      if (session == Session::UnderShell) RunAsForegroundJob(program.c_str(), argv, envp.data(), jobPipe[1]);
      execve(program.c_str(), argv, envp.data());
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

  // Types as a person does, once the program waits (its main thread asleep): a screen drops
  // the keys typed before it was written, and a person types only after seeing it.
  void Type(const std::string& keys) {
    WaitFor([&] {
      const char state = ProcessState(jobPid_ > 0 ? jobPid_ : pid_);
      return state != 'R' && state != 'D';
    });
    TypeNow(keys);
  }

  void TypeNow(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Bytes typed that nobody has read.
  int PendingInput() const {
    int count = 0;
    return ioctl(slave_, FIONREAD, &count) == 0 ? count : -1;
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
  char JobState() const { return ProcessState(jobPid_); }

  // A process's (its main thread's) state letter from /proc; 0 when unreadable.
  static char ProcessState(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
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
  pid_t Pid() const { return pid_; }

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

}  // namespace talvo::test
