// Runs a program for an end-to-end test with POSIX fork/exec, pipes and a pseudo-terminal.
#include "support/process_runner_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// execv() after fork() must not search PATH (that allocates), so the search happens here.
std::string FindExecutable(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return name;
}

// Reads what is there without blocking; false at end of file or on a real error.
bool ReadAvailable(int fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    return false;  // end of file, or EIO from a terminal whose last writer has gone
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd writable = {fd, POLLOUT, 0};
        poll(&writable, 1, 100);
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

std::string RunResult::Describe() const {
  std::ostringstream text;
  if (!started) {
    text << "did not start: " << start_error;
  } else if (timed_out) {
    text << "killed at the time limit after " << elapsed.count() << " ms";
  } else if (exited) {
    text << "exit code " << exit_code << " after " << elapsed.count() << " ms";
  } else {
    text << "killed by signal " << signal << " after " << elapsed.count() << " ms";
  }
  auto quote = [&](const char* name, const std::string& bytes) {
    text << "\n  " << name << ": \"";
    for (unsigned char c : bytes) {
      if (c == '\r') {
        text << "\\r";
      } else if (c == '\n') {
        text << "\\n\n    ";
      } else if (c < 0x20 || c >= 0x7F) {
        static const char kHex[] = "0123456789ABCDEF";
        text << "\\x" << kHex[c >> 4] << kHex[c & 15];
      } else {
        text << c;
      }
    }
    text << '"';
  };
  quote("stdout", out);
  quote("stderr", err);
  if (!terminal.empty()) quote("terminal", terminal);
  return text.str();
}

ProgramRun::ProgramRun(RunOptions options) : options_(std::move(options)) { Start(); }

ProgramRun::~ProgramRun() {
  if (collector_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!done_) kill(-pid_, SIGKILL);
    }
    collector_.join();
  }
  CloseFd(out_fd_);
  CloseFd(err_fd_);
  CloseFd(in_fd_);
}

void ProgramRun::Start() {
  // A program that closes its standard input must not end the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  if (options_.command.empty()) {
    start_error_ = "empty command";
    return;
  }
  const bool wants_terminal = options_.out == OutputTo::kTerminal ||
                              options_.err == OutputTo::kTerminal ||
                              options_.in == InputFrom::kTerminal || options_.controlling_terminal;
  if (wants_terminal) {
    terminal_ = std::make_unique<PseudoTerminal>();
    if (!terminal_->Ok()) {
      start_error_ = std::string("no pseudo-terminal: ") + std::strerror(errno);
      return;
    }
    if (options_.raw_terminal && !terminal_->MakeRaw()) {
      start_error_ = "cannot make the terminal raw";
      return;
    }
  }

  // The child's ends; every descriptor is close-on-exec until dup2 puts it in place.
  int child_in = -1, child_out = -1, child_err = -1;
  auto output_end = [&](OutputTo to, int& parent_end, int& child_end) -> bool {
    int fds[2];
    switch (to) {
      case OutputTo::kPipe:
      case OutputTo::kClosedPipe:
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        child_end = fds[1];
        if (to == OutputTo::kPipe) {
          parent_end = fds[0];
          SetNonBlocking(parent_end);
        } else {
          close(fds[0]);
        }
        return true;
      case OutputTo::kFile:
        child_end = open(options_.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        return child_end >= 0;
      case OutputTo::kTerminal:
        child_end = dup(terminal_->Slave());
        return child_end >= 0;
      case OutputTo::kNull:
        child_end = open("/dev/null", O_WRONLY | O_CLOEXEC);
        return child_end >= 0;
    }
    return false;
  };
  bool ready =
      output_end(options_.out, out_fd_, child_out) && output_end(options_.err, err_fd_, child_err);
  if (ready) {
    int fds[2];
    switch (options_.in) {
      case InputFrom::kNull:
        child_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        ready = child_in >= 0;
        break;
      case InputFrom::kPipe:
        ready = pipe2(fds, O_CLOEXEC) == 0;
        if (ready) {
          child_in = fds[0];
          in_fd_ = fds[1];
        }
        break;
      case InputFrom::kTerminal:
        child_in = dup(terminal_->Slave());
        ready = child_in >= 0;
        break;
    }
  }
  if (!ready) {
    start_error_ = std::string("cannot prepare the standard streams: ") + std::strerror(errno);
    CloseFd(child_in);
    CloseFd(child_out);
    CloseFd(child_err);
    return;
  }

  const std::string path = FindExecutable(options_.command[0]);
  std::vector<char*> argv;
  for (std::string& arg : options_.command) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int controlling = options_.controlling_terminal ? terminal_->Slave() : -1;

  if (terminal_) {
    result_.has_terminal = terminal_->Settings(&result_.terminal_before);
  }
  start_time_ = Clock::now();
  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here on: the test process has other threads.
    setsid();
    if (controlling >= 0 && ioctl(controlling, TIOCSCTTY, 0) != 0) _exit(126);
    dup2(child_in, 0);
    dup2(child_out, 1);
    dup2(child_err, 2);
    close_range(3, ~0U, 0);
    // The program gets the signal handling and mask a shell would give it.
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s) sigaction(s, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  CloseFd(child_in);
  CloseFd(child_out);
  CloseFd(child_err);
  if (pid_ < 0) {
    start_error_ = std::string("fork failed: ") + std::strerror(errno);
    return;
  }
  if (terminal_) SetNonBlocking(terminal_->Master());
  result_.started = true;
  collector_ = std::thread([this] { Collect(); });
}

void ProgramRun::Collect() {
  const Clock::time_point deadline = start_time_ + options_.time_limit;
  const int master = terminal_ ? terminal_->Master() : -1;
  bool out_open = out_fd_ >= 0, err_open = err_fd_ >= 0, master_open = master >= 0;
  int status = 0;
  auto read_all = [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    if (out_open) out_open = ReadAvailable(out_fd_, result_.out);
    if (err_open) err_open = ReadAvailable(err_fd_, result_.err);
    if (master_open) master_open = ReadAvailable(master, result_.terminal);
  };
  for (;;) {
    pollfd fds[3];
    nfds_t count = 0;
    if (out_open) fds[count++] = {out_fd_, POLLIN, 0};
    if (err_open) fds[count++] = {err_fd_, POLLIN, 0};
    if (master_open) fds[count++] = {master, POLLIN, 0};
    // Short waits: the end of the program is noticed by waitpid, not by end of file, since a
    // helper process of the runner (Wine's server) may keep the pipes open.
    poll(fds, count, 5);
    read_all();
    changed_.notify_all();
    const pid_t reaped = waitpid(pid_, &status, WNOHANG);
    if (reaped == pid_) break;
    if (Clock::now() >= deadline) {
      kill(-pid_, SIGKILL);
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      std::lock_guard<std::mutex> lock(mutex_);
      result_.timed_out = true;
      break;
    }
  }
  const Clock::time_point end = Clock::now();
  // What the program wrote just before it ended is still in the pipes.
  read_all();
  std::lock_guard<std::mutex> lock(mutex_);
  if (terminal_) terminal_->Settings(&result_.terminal_after);
  result_.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(end - start_time_);
  if (WIFEXITED(status)) {
    result_.exited = true;
    result_.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result_.signal = WTERMSIG(status);
  }
  done_ = true;
  changed_.notify_all();
}

bool ProgramRun::WaitFor(const std::string& buffer, std::string_view text,
                         std::chrono::milliseconds timeout, int occurrences) {
  auto found = [&] {
    int count = 0;
    for (std::size_t at = buffer.find(text); at != std::string::npos && count < occurrences;
         at = buffer.find(text, at + text.size())) {
      ++count;
    }
    return count >= occurrences;
  };
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return found() || done_; });
  return found();
}

bool ProgramRun::WaitForOutput(std::string_view text, std::chrono::milliseconds timeout,
                               int occurrences) {
  return Started() && WaitFor(result_.out, text, timeout, occurrences);
}

bool ProgramRun::WaitForTerminalOutput(std::string_view text, std::chrono::milliseconds timeout) {
  return Started() && terminal_ && WaitFor(result_.terminal, text, timeout, 1);
}

bool ProgramRun::SendToTerminal(std::string_view bytes) {
  return terminal_ && WriteAll(terminal_->Master(), bytes);
}

bool ProgramRun::SendToInput(std::string_view bytes) {
  return in_fd_ >= 0 && WriteAll(in_fd_, bytes);
}

void ProgramRun::CloseInput() { CloseFd(in_fd_); }

void ProgramRun::Signal(int signal_number) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pid_ > 0 && !done_) kill(pid_, signal_number);
}

bool ProgramRun::WaitForExit(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done_; });
}

bool ProgramRun::Running() {
  std::lock_guard<std::mutex> lock(mutex_);
  return Started() && !done_;
}

RunResult ProgramRun::Finish() {
  if (collector_.joinable()) collector_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  result_.start_error = start_error_;
  return result_;
}

RunResult RunProgram(RunOptions options) {
  ProgramRun run(std::move(options));
  return run.Finish();
}
