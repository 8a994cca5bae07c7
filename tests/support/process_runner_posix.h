// Runs a program for end-to-end tests: streams on pipes, files or a pty, with a time limit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/pty_posix.h"

// Where standard output or standard error goes.
enum class OutputTo {
  kPipe,        // captured
  kFile,        // the file named by RunOptions::out_file (standard output only)
  kClosedPipe,  // a pipe whose read end is already closed: every write fails
  kTerminal,    // the pseudo-terminal; captured from its master side
};

// Where standard input comes from.
enum class InputFrom { kNull, kTerminal };

struct RunOptions {
  // The program and its arguments; the first element is looked up in PATH when it has no '/'.
  std::vector<std::string> command;
  OutputTo out = OutputTo::kPipe;
  OutputTo err = OutputTo::kPipe;
  InputFrom in = InputFrom::kNull;
  std::string out_file;
  // Makes the pseudo-terminal the program's controlling terminal (its /dev/tty). Without it the
  // program runs in a session of its own with no controlling terminal at all, so it can never
  // reach the terminal the tests were started from.
  bool controlling_terminal = false;
  // Turns off the terminal's translations before the start, so captured terminal bytes are
  // exactly what the program wrote.
  bool raw_terminal = false;
  // The run is killed (its whole process group) when it lasts longer.
  std::chrono::milliseconds time_limit{10000};
};

struct RunResult {
  std::string start_error;  // empty when the program started
  bool timed_out = false;
  bool exited = false;  // ended by exit(); otherwise by a signal
  int exit_code = -1;
  int signal = 0;
  std::string out;
  std::string err;
  std::string terminal;  // what the master side of the pseudo-terminal read
  // The terminal's settings right before the program started and right after it ended.
  bool has_terminal = false;
  termios terminal_before{};
  termios terminal_after{};
  std::chrono::milliseconds elapsed{0};
  // A one-line summary for failure messages.
  std::string Describe() const;
};

// One running program. Output is collected in the background from the start, so the program
// never blocks on a full pipe; the destructor kills a program that is still running.
class ProgramRun {
 public:
  explicit ProgramRun(RunOptions options);
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  // Null unless a stream uses the pseudo-terminal.
  PseudoTerminal* Terminal() { return terminal_.get(); }

  // Waits until captured standard output contains `text` `occurrences` times; false when the
  // wait or the program ended first, or the program did not start.
  bool WaitForOutput(std::string_view text, std::chrono::milliseconds timeout, int occurrences = 1);
  // Bytes typed on the terminal.
  bool SendToTerminal(std::string_view bytes);
  void Signal(int signal_number);
  // True when the program ended within `timeout`.
  bool WaitForExit(std::chrono::milliseconds timeout);
  // Waits for the end (or the time limit) and returns everything; call once.
  RunResult Finish();

 private:
  void Start();
  void Collect();

  RunOptions options_;
  std::unique_ptr<PseudoTerminal> terminal_;
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::chrono::steady_clock::time_point start_time_;

  std::mutex mutex_;
  std::condition_variable changed_;
  RunResult result_;
  bool done_ = false;
  std::thread collector_;
};

// Starts the program and waits for its end.
RunResult RunProgram(RunOptions options);

// How many times `text` occurs in `bytes`.
int Count(std::string_view bytes, std::string_view text);
// The bytes with CR and LF written as \r and \n, and every other byte that is not printable
// ASCII (or is a backslash) as \xHH: for failure messages and exact comparisons.
std::string Printable(std::string_view bytes);
