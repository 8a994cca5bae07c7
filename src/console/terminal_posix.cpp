// The controlling terminal on POSIX systems: key-by-key mode, and its restoration on every way out.
#include "console/terminal_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

#include "console/process_state.h"
#include "system/descriptor_posix.h"
#include "system/retry_posix.h"

namespace {

// Shared with the signal handlers. The main flow changes it only with the handled signals
// blocked, so a handler never sees it half written.
struct TerminalState {
  int fd = -1;
  bool stdin_is_terminal = false;
  // The settings found when the terminal was switched, to be put back.
  termios saved{};
  std::atomic<bool> prepared{false};
  // The terminal holds our settings.
  std::atomic<bool> changed{false};
  // RestoreTerminal ran: the terminal is not switched again.
  std::atomic<bool> finished{false};
};

// Lock-free atomics are safe to use in signal handlers.
static_assert(std::atomic<bool>::is_always_lock_free);
TerminalState g_terminal;

constexpr int kEndingSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};

bool IsForeground(int fd) {
  const pid_t group = tcgetpgrp(fd);
  return group != -1 && group == getpgrp();
}

bool SetAttributes(int fd, const termios& settings) {
  return RetryAfterSignal(-1, [&] { return tcsetattr(fd, TCSANOW, &settings); }) == 0;
}

// SwitchToKeys and PutBack make only async-signal-safe calls: the handlers use them too.
// A background job must not touch the terminal (it would be stopped by SIGTTOU), hence the
// foreground test right before each change.
void SwitchToKeys() {
  if (!g_terminal.prepared || g_terminal.changed || g_terminal.finished) return;
  if (!IsForeground(g_terminal.fd)) return;
  termios current;
  if (tcgetattr(g_terminal.fd, &current) != 0) return;
  // Only what reading single keys needs. MIN and TIME stay as they are: the descriptor is
  // non-blocking, so a read never waits whatever they say.
  termios keys = current;
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  // Only the interrupt character goes: Ctrl+\ still quits and Ctrl+Z still stops.
  if (g_terminal.stdin_is_terminal) keys.c_cc[VINTR] = _POSIX_VDISABLE;
  g_terminal.saved = current;
  if (SetAttributes(g_terminal.fd, keys)) g_terminal.changed = true;
}

// In the background the shell owns the terminal's settings and gives ours back when the job
// returns to the foreground, so they are left alone and still count as changed.
void PutBack() {
  if (!g_terminal.changed || !IsForeground(g_terminal.fd)) return;
  SetAttributes(g_terminal.fd, g_terminal.saved);
  g_terminal.changed = false;
}

void UnblockSignal(int signal_number) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void SetDefaultAction(int signal_number) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

sigset_t HandledSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kEndingSignals) sigaddset(&set, signal_number);
  sigaddset(&set, SIGTSTP);
  return set;
}

// Puts the settings back, then lets the signal end the process exactly as it would have.
void OnEndingSignal(int signal_number) {
  const int saved_errno = errno;
  PutBack();
  SetDefaultAction(signal_number);
  UnblockSignal(signal_number);
  raise(signal_number);
  errno = saved_errno;
}

void InstallHandler(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = HandledSignals();
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, nullptr);
}

// Ctrl+Z: the user gets the usual terminal while the job is stopped, and key-by-key mode back
// when it continues in the foreground.
void OnStopSignal(int signal_number) {
  const int saved_errno = errno;
  PutBack();
  SetDefaultAction(signal_number);
  UnblockSignal(signal_number);
  raise(signal_number);
  // The job has been continued.
  InstallHandler(signal_number, OnStopSignal);
  SwitchToKeys();
  errno = saved_errno;
}

// A signal the process was started with ignored (nohup, a background job of a shell without
// job control) stays ignored.
void InstallUnlessIgnored(int signal_number, void (*handler)(int)) {
  struct sigaction current {};
  if (sigaction(signal_number, nullptr, &current) != 0) return;
  if (current.sa_handler == SIG_IGN) return;
  InstallHandler(signal_number, handler);
}

// The main flow's guard against the handlers while it changes the shared state.
class HandledSignalsBlocked {
 public:
  HandledSignalsBlocked() {
    const sigset_t set = HandledSignals();
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~HandledSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  HandledSignalsBlocked(const HandledSignalsBlocked&) = delete;
  HandledSignalsBlocked& operator=(const HandledSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// A program further down the pipeline (a pager) may own the keyboard, and only one program can
// hold the terminal's settings, so a run whose output goes into a pipe leaves the terminal
// alone. Some shells (ksh93) join a pipeline with a socket pair instead of a pipe.
bool OutputIsPipe() {
  struct stat status;
  return fstat(static_cast<int>(Process().std_output), &status) == 0 &&
         (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

// Read-write when the terminal allows it, else read-only, which is all the keyboard needs.
constexpr int kAccessModes[] = {O_RDWR, O_RDONLY};

int OpenTerminal() {
  for (int access : kAccessModes) {
    const int fd = AboveStandardDescriptors(RetryAfterSignal(
        -1, [&] { return open("/dev/tty", access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }));
    // Only a refused access is worth a second try: without a terminal there is none to open.
    if (fd >= 0 || errno != EACCES) return fd;
  }
  return -1;
}

void RestoreAtExit() { RestoreTerminal(); }

}  // namespace

void PrepareTerminal() {
  if (g_terminal.prepared || OutputIsPipe()) return;
  const int fd = OpenTerminal();
  if (fd < 0) return;
  Process().console_input = fd;
  HandledSignalsBlocked blocked;
  g_terminal.fd = fd;
  g_terminal.stdin_is_terminal = tcgetpgrp(STDIN_FILENO) != -1;
  for (int signal_number : kEndingSignals) InstallUnlessIgnored(signal_number, OnEndingSignal);
  InstallUnlessIgnored(SIGTSTP, OnStopSignal);
  atexit(RestoreAtExit);
  g_terminal.prepared = true;
  SwitchToKeys();
}

void RestoreTerminal() {
  if (!g_terminal.prepared) return;
  HandledSignalsBlocked blocked;
  PutBack();
  g_terminal.finished = true;
}

bool TerminalReadyForKeys() {
  if (!g_terminal.prepared || g_terminal.finished || !IsForeground(g_terminal.fd)) return false;
  HandledSignalsBlocked blocked;
  SwitchToKeys();
  return true;
}
