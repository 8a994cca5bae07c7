// Tests of the POSIX keyboard under job control (a background or stopped job leaves the terminal
// alone) and of sleeping through signals. The foreground cases run the real program end to end.
#include "console/terminal_posix.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "console/keyboard.h"
#include "console/sleep.h"
#include "support/loopback_server.h"
#include "support/pty_posix.h"
#include "system/retry_posix.h"

namespace {

constexpr int kTimeLimitMs = 10000;

termios SettingsOf(int fd) {
  termios settings{};
  tcgetattr(fd, &settings);
  return settings;
}

// Waits for one byte; a signal handled meanwhile (Ctrl+Z and its continuation) restarts the wait.
bool ReadByte(int fd, int time_limit_ms = kTimeLimitMs) {
  pollfd waiting{fd, POLLIN, 0};
  const int ready = RetryAfterSignal(-1, [&] { return poll(&waiting, 1, time_limit_ms); });
  char byte;
  return ready == 1 && read(fd, &byte, 1) == 1;
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

  // In the child.
  void Say() { (void)!write(to_parent_[1], "S", 1); }
  bool AwaitGo() { return ReadByte(to_child_[0]); }

  // In the parent.
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  void Go() { (void)!write(to_child_[1], "G", 1); }
  // The child's Say; false when it stops, ends or overruns instead (Finish tells which).
  bool AwaitSay() {
    for (int waited = 0; waited < kTimeLimitMs; waited += 50) {
      if (ReadByte(to_parent_[0], 50)) return true;
      if (Settled(0)) return false;
    }
    return false;
  }
  // True once the child has stopped; the caller continues it.
  bool AwaitStop() {
    const bool stopped = Settled(kTimeLimitMs) && stopped_;
    stopped_ = false;
    return stopped;
  }
  // Waits for the child's end (one that stops or overruns is killed), then reads its report.
  // Every Forked must be finished.
  Report Finish() {
    Report trouble;
    if (!ended_ && !stopped_ && !Settled(kTimeLimitMs)) trouble += "overran the time limit\n";
    if (stopped_) trouble += "stopped by signal " + std::to_string(WSTOPSIG(status_)) + "\n";
    if (!ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
    } else if (WIFSIGNALED(status_)) {
      trouble += "ended by signal " + std::to_string(WTERMSIG(status_)) + "\n";
    }
    char buffer[512];
    for (ssize_t count; (count = read(to_parent_[0], buffer, sizeof buffer)) > 0;) {
      trouble.append(buffer, count);
    }
    close(to_parent_[0]);
    close(to_child_[1]);
    return trouble;
  }

 private:
  // True once the child has stopped or ended, polled for up to `time_limit_ms`.
  bool Settled(int time_limit_ms) {
    for (int waited = 0;; waited += 10) {
      if (waitpid(pid_, &status_, WNOHANG | WUNTRACED) == pid_) {
        stopped_ = WIFSTOPPED(status_);
        ended_ = !stopped_;
        return true;
      }
      if (waited >= time_limit_ms) return false;
      usleep(10000);
    }
  }

  int to_child_[2] = {-1, -1};
  int to_parent_[2] = {-1, -1};
  pid_t pid_ = -1;
  int status_ = 0;
  bool stopped_ = false;
  bool ended_ = false;
};

// Polls until a key has come or a second has passed.
Text PollOneKey() {
  for (int round = 0; round < 100; ++round) {
    const Text key = PollKey();
    if (!key.empty()) return key;
    SleepMs(10);
  }
  return Text();
}

// Waits up to a second for the terminal to be in key-by-key mode.
bool AwaitKeyMode(int tty) {
  for (int round = 0; round < 100; ++round) {
    if ((SettingsOf(tty).c_lflag & ICANON) == 0) return true;
    usleep(10000);
  }
  return false;
}

// Runs `body` in a forked process that leads a new session with `tty` as its controlling
// terminal and standard input; `body` gets the terminal's settings as they were at the start.
Report AsSessionLeader(int tty, const std::function<Report(const termios&)>& body) {
  Forked leader(false, [&](Forked&) {
    if (setsid() < 0 || ioctl(tty, TIOCSCTTY, 0) != 0 || dup2(tty, STDIN_FILENO) != 0) {
      return Report("no session on the terminal\n");
    }
    return body(SettingsOf(tty));
  });
  return leader.started() ? leader.Finish() : Report("no fork\n");
}

// The job starts in the background, is brought to the foreground, stopped with Ctrl+Z and
// continued, as a shell's job control would do it.
TEST(TerminalKeyboard, JobLeavesTheTerminalAloneWhileInTheBackgroundOrStopped) {
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.Ok()) << "no pseudo-terminal available";
  const int tty = terminal.Slave();
  const int master = terminal.Master();
  const Report trouble = AsSessionLeader(tty, [tty, master](const termios& before) {
    Forked job(true, [&](Forked& self) {
      Report found;
      if (!self.AwaitGo()) return Report("no go\n");
      PrepareTerminal();
      Expect(found, PollOneKey().empty(), "background job got a key");
      Expect(found, SameSettings(SettingsOf(tty), before), "background job changed the terminal");
      self.Say();
      if (!self.AwaitGo()) return Report("no second go\n");
      // In the foreground now (as after the shell's fg): the next poll switches and reads.
      Expect(found, PollOneKey() == "x", "foreground job did not read x");
      Expect(found, AwaitKeyMode(tty), "foreground job did not switch the terminal");
      self.Say();
      if (!self.AwaitGo()) return Report("no third go\n");
      RestoreTerminal();
      return found;
    });
    Report report;
    (void)!write(master, "x", 1);
    job.Go();
    if (job.AwaitSay()) {
      tcsetpgrp(tty, job.pid());
      job.Go();
    }
    if (job.AwaitSay()) {
      kill(job.pid(), SIGTSTP);
      Expect(report, job.AwaitStop(), "Ctrl+Z did not stop the job");
      Expect(report, SameSettings(SettingsOf(tty), before), "stopped job kept the terminal");
      kill(job.pid(), SIGCONT);
      Expect(report, AwaitKeyMode(tty), "continued job did not switch the terminal");
      job.Go();
    }
    report += job.Finish();
    Expect(report, SameSettings(SettingsOf(tty), before), "settings not restored at the end");
    return report;
  });
  EXPECT_EQ(trouble, "");
}

}  // namespace
