// The controlling terminal on POSIX systems: key-by-key mode, and its restoration on every way out.
#include "console/terminal_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "system/descriptor_posix.h"
#include "system/process_state.h"
#include "system/retry_posix.h"

namespace {

// Shared with the signal handlers. The main flow changes it only with the handled signals
// blocked, and the handlers run with all of them blocked, so no one sees it half written.
struct TerminalState {
  int fd = -1;
  bool stdin_is_terminal = false;
  // The settings found before the first switch: the ones every way out puts back. Recorded
  // once, so that a switch made after a stop cannot take our own settings for the user's.
  termios saved{};
  bool recorded = false;
  std::atomic<bool> prepared{false};
  // The terminal holds our settings.
  std::atomic<bool> changed{false};
  // RestoreTerminal ran: the terminal is not switched again.
  std::atomic<bool> finished{false};
};

// Lock-free atomics are safe to use in signal handlers.
static_assert(std::atomic<bool>::is_always_lock_free);
TerminalState g_terminal;

// Every signal whose default action ends the process and that a handler can catch. SIGPIPE is
// not among them: start-up ignores it, so that a vanished reader gives a failed write.
constexpr int kEndingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
    SIGXCPU,   SIGXFSZ, SIGABRT, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP,   SIGSYS,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};

// The real-time signals end the process too; their numbers are known only at run time.
template <typename Action>
void ForEachEndingSignal(const Action& action) {
  for (int signal_number : kEndingSignals) action(signal_number);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    action(signal_number);
  }
#endif
}

// The action each signal had before ours, taken again when the signal comes: the default, or a
// handler the runtime installed before main (a sanitizer's, which reports a fault).
struct sigaction g_previous[NSIG];

bool IsForeground(int fd) { return JobOnTerminal(fd) == TerminalJob::kForeground; }

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
  if (!g_terminal.recorded) {
    g_terminal.saved = current;
    g_terminal.recorded = true;
  }
  // Only what reading single keys needs. MIN and TIME stay as they are: the descriptor is
  // non-blocking, so a read never waits whatever they say.
  termios keys = current;
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  // Only the interrupt character goes: Ctrl+\ still quits and Ctrl+Z still stops.
  if (g_terminal.stdin_is_terminal) keys.c_cc[VINTR] = _POSIX_VDISABLE;
  if (SetAttributes(g_terminal.fd, keys)) g_terminal.changed = true;
}

// In the background the shell owns the terminal's settings and gives ours back when the job
// returns to the foreground, so they are left alone and still count as changed.
void PutBack() {
  if (!g_terminal.changed || !IsForeground(g_terminal.fd)) return;
  SetAttributes(g_terminal.fd, g_terminal.saved);
  g_terminal.changed = false;
}

void SetSignalBlocked(int signal_number, bool blocked) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

sigset_t HandledSignals() {
  sigset_t set;
  sigemptyset(&set);
  ForEachEndingSignal([&](int signal_number) { sigaddset(&set, signal_number); });
  sigaddset(&set, SIGTSTP);
  sigaddset(&set, SIGCONT);
  return set;
}

// A fault (a bad address, a bad instruction, division by zero) comes again when the handler
// returns, since the instruction that caused it runs again; a signal sent by a process does not.
bool ComesAgainOnReturn(int signal_number, const siginfo_t* info) {
  if (signal_number != SIGSEGV && signal_number != SIGBUS && signal_number != SIGFPE &&
      signal_number != SIGILL) {
    return false;
  }
#ifdef __linux__
  // Linux: kill, sigqueue, raise and the like give codes of 0 and below.
  return info->si_code > 0;
#else
  return info->si_code != SI_USER && info->si_code != SI_QUEUE;
#endif
}

// Puts the settings back, then lets the signal take the action it had before ours, exactly as it
// would have. A fault meets that action when the instruction runs again (a sanitizer then reports
// where it happened); any other signal is raised again, and stays pending until this handler
// unblocks it.
void OnEndingSignal(int signal_number, siginfo_t* info, void*) {
  const int saved_errno = errno;
  PutBack();
  sigaction(signal_number, &g_previous[signal_number], nullptr);
  if (!ComesAgainOnReturn(signal_number, info)) {
    raise(signal_number);
    SetSignalBlocked(signal_number, false);
  }
  errno = saved_errno;
}

void InstallHandler(int signal_number, void (*handler)(int, siginfo_t*, void*)) {
  struct sigaction action {};
  action.sa_sigaction = handler;
  action.sa_mask = HandledSignals();
  // SA_ONSTACK: on the alternate stack (see ProvideSignalStack), so that a fault from a stack
  // overflow still reaches the handler, and through it the previous action.
  action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
  sigaction(signal_number, &action, nullptr);
}

// Ctrl+Z: the user gets the usual terminal while the job is stopped, and key-by-key mode back
// when it continues in the foreground. The stop is raised while SIGTSTP is blocked, so that one
// that came meanwhile merges with it and the job stops once; SIGTSTP is blocked again before
// the switch back, so that no stop can come between reading the settings and recording the
// switch.
void OnStopSignal(int signal_number, siginfo_t*, void*) {
  const int saved_errno = errno;
  PutBack();
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  sigaction(signal_number, &stop, nullptr);
  raise(signal_number);
  SetSignalBlocked(signal_number, false);
  // The job has been continued (or, in an orphaned process group, was never stopped).
  SetSignalBlocked(signal_number, true);
  InstallHandler(signal_number, OnStopSignal);
  SwitchToKeys();
  errno = saved_errno;
}

// A stop that cannot be caught (SIGSTOP) leaves our settings on the terminal, and a shell that
// takes the terminal back meanwhile gives the job its own when it continues it: key-by-key mode
// is switched on again at every continue, as it is after Ctrl+Z.
void OnContinue(int, siginfo_t*, void*) {
  const int saved_errno = errno;
  g_terminal.changed = false;
  SwitchToKeys();
  errno = saved_errno;
}

// A signal the process was started with ignored (nohup, a background job of a shell without
// job control) stays ignored.
void InstallUnlessIgnored(int signal_number, void (*handler)(int, siginfo_t*, void*)) {
  struct sigaction current {};
  if (signal_number >= NSIG || sigaction(signal_number, nullptr, &current) != 0) return;
  if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) return;
  g_previous[signal_number] = current;
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

// The room the handlers run in when the stack has none left: a stack overflow raises SIGSEGV
// with the stack exhausted, and without a stack of its own the handler that puts the settings
// back could not run. At least what the system asks for a signal stack, and never less than
// 64 KiB; a page below it is left unmapped, so that an overflow of this stack faults too. One
// set up before main (a sanitizer's) is kept. Without the memory the handlers run on the stack
// as before.
constexpr std::size_t kLeastSignalStack = 64 * 1024;

void ProvideSignalStack() {
  stack_t current{};
  if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t size = std::max(kLeastSignalStack, static_cast<std::size_t>(SIGSTKSZ));
  void* area = mmap(nullptr, page + size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) return;
  stack_t own{};
  own.ss_sp = static_cast<char*>(area) + page;
  own.ss_size = size;
  if (mprotect(own.ss_sp, size, PROT_READ | PROT_WRITE) != 0 || sigaltstack(&own, nullptr) != 0) {
    munmap(area, page + size);
  }
}

}  // namespace

TerminalJob JobOnTerminal(int fd) {
  const pid_t group = tcgetpgrp(fd);
  if (group == -1) return TerminalJob::kNone;
  return group == getpgrp() ? TerminalJob::kForeground : TerminalJob::kBackground;
}

void PrepareTerminal() {
  if (g_terminal.prepared || OutputIsPipe()) return;
  const int fd = OpenTerminal();
  if (fd < 0) return;
  Process().console_input = fd;
  ProvideSignalStack();
  HandledSignalsBlocked blocked;
  g_terminal.fd = fd;
  g_terminal.stdin_is_terminal = tcgetpgrp(STDIN_FILENO) != -1;
  ForEachEndingSignal(
      [](int signal_number) { InstallUnlessIgnored(signal_number, OnEndingSignal); });
  InstallUnlessIgnored(SIGTSTP, OnStopSignal);
  InstallHandler(SIGCONT, OnContinue);
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
