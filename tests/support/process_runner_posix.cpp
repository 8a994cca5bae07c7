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
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      return false;  // end of file, or EIO from a terminal whose last writer has gone
    } else if (errno == EAGAIN) {
      return true;
    }
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (errno == EAGAIN) {
      pollfd writable = {fd, POLLOUT, 0};
      poll(&writable, 1, 100);
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

int Count(std::string_view bytes, std::string_view text) {
  int count = 0;
  for (std::size_t at = bytes.find(text); at != std::string_view::npos;
       at = bytes.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

std::string Printable(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r' || c == '\n') {
      out += c == '\r' ? "\\r" : "\\n";
    } else if (c < 0x20 || c >= 0x7F || c == '\\') {
      out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string RunResult::Describe() const {
  std::ostringstream text;
  if (!start_error.empty()) {
    text << "did not start: " << start_error;
  } else if (timed_out) {
    text << "killed at the time limit after " << elapsed.count() << " ms";
  } else if (exited) {
    text << "exit code " << exit_code << " after " << elapsed.count() << " ms";
  } else {
    text << "killed by signal " << signal << " after " << elapsed.count() << " ms";
  }
  text << "\n  stdout: \"" << Printable(out) << "\"\n  stderr: \"" << Printable(err) << '"';
  if (!terminal.empty()) text << "\n  terminal: \"" << Printable(terminal) << '"';
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
}

void ProgramRun::Start() {
  // A program that closes its standard input must not end the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  const bool wants_terminal = options_.out == OutputTo::kTerminal ||
                              options_.err == OutputTo::kTerminal ||
                              options_.in == InputFrom::kTerminal || options_.controlling_terminal;
  if (wants_terminal) {
    terminal_ = std::make_unique<PseudoTerminal>();
    if (!terminal_->Ok()) {
      result_.start_error = std::string("no pseudo-terminal: ") + std::strerror(errno);
      return;
    }
    if (options_.raw_terminal && !terminal_->MakeRaw()) {
      result_.start_error = "cannot make the terminal raw";
      return;
    }
  }

  // The child's ends; every descriptor is close-on-exec until dup2 puts it in place.
  const bool terminal_in = options_.in == InputFrom::kTerminal;
  int child_in = terminal_in ? dup(terminal_->Slave()) : open("/dev/null", O_RDONLY | O_CLOEXEC);
  int child_out = -1, child_err = -1;
  auto output_end = [&](OutputTo to, int& parent_end, int& child_end) -> bool {
    int fds[2];
    if (to == OutputTo::kFile) {
      child_end = open(options_.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    } else if (to == OutputTo::kTerminal) {
      child_end = dup(terminal_->Slave());
    } else if (pipe2(fds, O_CLOEXEC) == 0) {
      child_end = fds[1];
      if (to == OutputTo::kPipe) {
        parent_end = fds[0];
        SetNonBlocking(parent_end);
      } else {
        close(fds[0]);
      }
    }
    return child_end >= 0;
  };
  if (child_in < 0 || !output_end(options_.out, out_fd_, child_out) ||
      !output_end(options_.err, err_fd_, child_err)) {
    result_.start_error =
        std::string("cannot prepare the standard streams: ") + std::strerror(errno);
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
    // Kernels before 5.9 have no close_range.
    if (close_range(3, ~0U, 0) != 0) {
      for (int fd = 3; fd < 65536; ++fd) close(fd);
    }
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
    result_.start_error = std::string("fork failed: ") + std::strerror(errno);
    return;
  }
  if (terminal_) SetNonBlocking(terminal_->Master());
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

bool ProgramRun::WaitForOutput(std::string_view text, std::chrono::milliseconds timeout,
                               int occurrences) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto found = [&] { return Count(result_.out, text) >= occurrences; };
  changed_.wait_for(lock, timeout, [&] { return found() || done_ || pid_ <= 0; });
  return found();
}

bool ProgramRun::SendToTerminal(std::string_view bytes) {
  return terminal_ && WriteAll(terminal_->Master(), bytes);
}

void ProgramRun::Signal(int signal_number) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pid_ > 0 && !done_) kill(pid_, signal_number);
}

bool ProgramRun::WaitForExit(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done_; });
}

RunResult ProgramRun::Finish() {
  if (collector_.joinable()) collector_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return result_;
}

RunResult RunProgram(RunOptions options) {
  ProgramRun run(std::move(options));
  return run.Finish();
}
