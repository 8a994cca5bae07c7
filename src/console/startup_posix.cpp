// Start-up and shutdown on POSIX systems.
#include <signal.h>
#include <unistd.h>

#include "console/process_state.h"
#include "console/startup.h"
#include "console/terminal_posix.h"
#include "driver/driver.h"
#include "text/command_tail.h"
#include "text/number.h"

int ProcessMain(int argc, char** argv) {
  // A reader that went away must give a failed write (EPIPE), not end the run.
  signal(SIGPIPE, SIG_IGN);

  ProcessState& process = Process();
  process.std_input = STDIN_FILENO;
  process.std_output = STDOUT_FILENO;
  process.std_error = STDERR_FILENO;
  if (isatty(STDOUT_FILENO)) {
    process.console_flag = -1;
    process.console_output = STDOUT_FILENO;
  } else if (isatty(STDERR_FILENO)) {
    process.console_output = STDERR_FILENO;
  }

  // The shell has split the command line; put it back together as one text.
  static const Text command_line = JoinArguments(argc, argv);
  SetTailPosition(command_line.c_str());
  SetNumberEnvironment();
  PrepareTerminal();

  const int exit_code = RunDriver();
  RestoreTerminal();
  return exit_code;
}
