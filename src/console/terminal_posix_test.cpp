// Tests of the POSIX keyboard under job control (a background or stopped job leaves the terminal
// alone) and of sleeping through signals. The foreground cases run the real program end to end.
#include "console/terminal_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "console/keyboard.h"
#include "console/process_state.h"
#include "support/pty_posix.h"

namespace {

constexpr int kTimeLimitMs = 10000;

termios SettingsOf(int fd) {
  termios settings{};
  tcgetattr(fd, &settings);
  return settings;
}

// Waits for one byte; a signal handled meanwhile (Ctrl+Z and its continuation) does not end it.
bool ReadByte(int fd, int time_limit_ms = kTimeLimitMs) {
  pollfd waiting{fd, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(time_limit_ms);
  int ready;
  do {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    ready = poll(&waiting, 1, std::max<int>(0, static_cast<int>(left.count())));
  } while (ready < 0 && errno == EINTR);
  char byte;
  return ready == 1 && read(fd, &byte, 1) == 1;
}

std::string ReadToEnd(int fd) {
  std::string bytes;
  char buffer[512];
  ssize_t count;
  while ((count = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, count);
  return bytes;
}

// What a forked process found wrong, one line per fault; empty when all was well.
using Report = std::string;

void Expect(Report& report, bool condition, const char* what) {
  if (!condition) report += std::string(what) + "\n";
}

// A forked process that runs `body` and sends back its report. It can Say to its parent and
// await its parent's Go. With `own_group` it gets a process group of its own: under a session
// leader that group is not orphaned, so job control applies to it as to a shell's job (a
// background read or settings change stops it, and so does SIGTSTP).
class Forked {
 public:
  Forked(bool own_group, const std::function<Report(Forked&)>& body) {
    if (pipe(to_child_) != 0 || pipe(to_parent_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(to_child_[1]);
      close(to_parent_[0]);
      if (own_group) setpgid(0, 0);
      const struct rlimit no_core {};
      setrlimit(RLIMIT_CORE, &no_core);
      const Report report = body(*this);
      (void)!write(to_parent_[1], report.data(), report.size());
      _exit(0);
    }
    if (own_group) setpgid(pid_, pid_);
    close(to_child_[0]);
    close(to_parent_[1]);
  }
  ~Forked() {
    if (pid_ > 0 && !finished_) Finish();
  }

  // In the child.
  void Say() { (void)!write(to_parent_[1], "S", 1); }
  bool AwaitGo() { return ReadByte(to_child_[0]); }

  // In the parent.
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  void Go() { (void)!write(to_child_[1], "G", 1); }
  // The child's Say; false, with the reason in `report`, when it stops or ends instead.
  bool AwaitSay(Report& report) {
    for (int waited = 0; waited < kTimeLimitMs; waited += 50) {
      if (ReadByte(to_parent_[0], 50)) return true;
      if (waitpid(pid_, &status_, WNOHANG | WUNTRACED) == pid_) {
        stopped_ = WIFSTOPPED(status_);
        report += stopped_ ? "stopped by signal " + std::to_string(WSTOPSIG(status_)) + "\n"
                           : "ended early\n";
        ended_ = !stopped_;
        return false;
      }
    }
    report += "overran the time limit\n";
    return false;
  }
  bool AwaitStop() {
    for (int waited = 0; waited < kTimeLimitMs; waited += 10) {
      if (waitpid(pid_, &status_, WNOHANG | WUNTRACED) == pid_) return WIFSTOPPED(status_);
      usleep(10000);
    }
    return false;
  }
  // Waits for the child's end (one that stops or overruns is killed), then reads its report.
  // The child must end normally, or by `expected_signal` when that is not 0.
  Report Finish(int expected_signal = 0) {
    finished_ = true;
    Report trouble;
    for (int waited = 0; !ended_ && !stopped_; waited += 10) {
      const pid_t done = waitpid(pid_, &status_, WNOHANG | WUNTRACED);
      stopped_ = done == pid_ && WIFSTOPPED(status_);
      ended_ = done == pid_ && !stopped_;
      if (stopped_) trouble += "stopped by signal " + std::to_string(WSTOPSIG(status_)) + "\n";
      if (!ended_ && !stopped_ && waited >= kTimeLimitMs) {
        trouble += "overran the time limit\n";
        break;
      }
      if (done != pid_) usleep(10000);
    }
    if (!ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
    } else if (WIFSIGNALED(status_) && WTERMSIG(status_) != expected_signal) {
      trouble += "ended by signal " + std::to_string(WTERMSIG(status_)) + "\n";
    } else if (expected_signal != 0 && !WIFSIGNALED(status_)) {
      trouble += "not ended by signal " + std::to_string(expected_signal) + "\n";
    }
    trouble += ReadToEnd(to_parent_[0]);
    close(to_parent_[0]);
    close(to_child_[1]);
    return trouble;
  }

 private:
  int to_child_[2] = {-1, -1};
  int to_parent_[2] = {-1, -1};
  pid_t pid_ = -1;
  int status_ = 0;
  bool stopped_ = false;
  bool ended_ = false;
  bool finished_ = false;
};

// Makes the calling process lead a new session with `tty` as its controlling terminal, and its
// standard input either that terminal or /dev/null.
bool LeadSessionOn(int tty, bool stdin_is_terminal) {
  if (setsid() < 0 || ioctl(tty, TIOCSCTTY, 0) != 0) return false;
  return dup2(stdin_is_terminal ? tty : open("/dev/null", O_RDONLY), STDIN_FILENO) == 0;
}

// Polls until `count` keys have come or a second has passed.
std::vector<Text> PollKeys(std::size_t count) {
  std::vector<Text> keys;
  for (int round = 0; round < 100 && keys.size() < count; ++round) {
    const Text key = PollKey();
    if (key.empty()) {
      SleepMs(10);
    } else {
      keys.push_back(key);
    }
  }
  return keys;
}

// The settings of a switched terminal; `interrupt` is the expected VINTR.
void ExpectKeyMode(Report& report, const termios& before, const termios& now, cc_t interrupt) {
  Expect(report, (now.c_lflag & (ICANON | ECHO)) == 0, "canonical input or echo still on");
  Expect(report, (now.c_lflag & ISIG) != 0, "signal characters turned off");
  Expect(report, now.c_cc[VMIN] == 0 && now.c_cc[VTIME] == 0, "VMIN/VTIME not 0");
  Expect(report, now.c_cc[VINTR] == interrupt, "unexpected interrupt character");
  Expect(report, now.c_cc[VQUIT] == before.c_cc[VQUIT], "quit character changed");
  Expect(report, now.c_iflag == before.c_iflag && now.c_oflag == before.c_oflag,
         "input or output flags changed");
}

// Waits up to a second for the terminal to be (or not be) in key-by-key mode.
bool AwaitKeyMode(int tty, bool wanted) {
  for (int round = 0; round < 100; ++round) {
    if (((SettingsOf(tty).c_lflag & ICANON) == 0) == wanted) return true;
    usleep(10000);
  }
  return false;
}

class TerminalKeyboard : public testing::Test {
 protected:
  void SetUp() override {
    if (!terminal_.Ok()) GTEST_SKIP() << "no pseudo-terminal available";
    tty_ = terminal_.Slave();
    original_ = SettingsOf(tty_);
  }
  void Type(const std::string& bytes) {
    ASSERT_EQ(write(terminal_.Master(), bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
  }
  bool Restored() { return SameSettings(SettingsOf(tty_), original_); }

  PseudoTerminal terminal_;
  int tty_ = -1;
  termios original_{};
};

TEST_F(TerminalKeyboard, BackgroundJobNeitherChangesNorReadsTheTerminalUntilForeground) {
  const int tty = tty_;
  const int master = terminal_.Master();
  Forked leader(false, [tty, master](Forked&) {
    if (!LeadSessionOn(tty, true)) return Report("no session on the terminal\n");
    const termios before = SettingsOf(tty);
    Forked job(true, [&](Forked& self) {
      Report found;
      if (!self.AwaitGo()) return Report("no go\n");
      PrepareTerminal();
      Expect(found, SameSettings(SettingsOf(tty), before), "background job changed the terminal");
      Expect(found, PollKeys(1).empty(), "background job got a key");
      Expect(found, SameSettings(SettingsOf(tty), before), "background poll changed the terminal");
      self.Say();
      if (!self.AwaitGo()) return Report("no second go\n");
      // In the foreground now (as after the shell's fg): the next poll switches and reads.
      Expect(found, PollKeys(1) == std::vector<Text>({"x"}), "foreground job did not read x");
      ExpectKeyMode(found, before, SettingsOf(tty), _POSIX_VDISABLE);
      RestoreTerminal();
      Expect(found, SameSettings(SettingsOf(tty), before), "settings not restored");
      return found;
    });
    Report report;
    (void)!write(master, "x", 1);
    job.Go();
    if (job.AwaitSay(report)) {
      tcsetpgrp(tty, job.pid());
      job.Go();
    }
    return report + job.Finish();
  });
  ASSERT_TRUE(leader.started());
  EXPECT_EQ(leader.Finish(), "");
  EXPECT_TRUE(Restored());
}

TEST_F(TerminalKeyboard, StoppedJobGivesTheTerminalBackUntilContinued) {
  const int tty = tty_;
  Forked leader(false, [tty](Forked&) {
    if (!LeadSessionOn(tty, true)) return Report("no session on the terminal\n");
    const termios before = SettingsOf(tty);
    Forked job(true, [](Forked& self) {
      if (!self.AwaitGo()) return Report("no go\n");
      PrepareTerminal();
      self.Say();
      if (!self.AwaitGo()) return Report("no second go\n");
      RestoreTerminal();
      return Report();
    });
    Report report;
    tcsetpgrp(tty, job.pid());
    job.Go();
    if (job.AwaitSay(report)) {
      Expect(report, AwaitKeyMode(tty, true), "foreground job did not switch the terminal");
      kill(job.pid(), SIGTSTP);
      Expect(report, job.AwaitStop(), "Ctrl+Z did not stop the job");
      Expect(report, SameSettings(SettingsOf(tty), before), "stopped job kept the terminal");
      kill(job.pid(), SIGCONT);
      Expect(report, AwaitKeyMode(tty, true), "continued job did not switch the terminal");
      job.Go();
    }
    report += job.Finish();
    Expect(report, SameSettings(SettingsOf(tty), before), "settings not restored at the end");
    return report;
  });
  ASSERT_TRUE(leader.started());
  EXPECT_EQ(leader.Finish(), "");
  EXPECT_TRUE(Restored());
}

void IgnoreAlarm(int) {}

TEST(Sleeping, SignalsDuringTheSleepDoNotShortenIt) {
  struct sigaction action {};
  action.sa_handler = IgnoreAlarm;
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
  itimerval every_20ms{{0, 20000}, {0, 20000}};
  ASSERT_EQ(setitimer(ITIMER_REAL, &every_20ms, nullptr), 0);
  const auto start = std::chrono::steady_clock::now();
  SleepMs(150);
  const auto slept = std::chrono::steady_clock::now() - start;
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GE(slept, std::chrono::milliseconds(150));
  EXPECT_LT(slept, std::chrono::milliseconds(1000));
}

}  // namespace
