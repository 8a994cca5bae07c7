// Start-up and shutdown on POSIX systems.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "console/terminal_posix.h"
#include "driver/driver.h"
#include "entry/startup.h"
#include "system/process_state.h"
#include "system/retry_posix.h"
#include "text/command_tail.h"
#include "text/number.h"

namespace {

// A standard descriptor the parent left closed would go to the next descriptor the program opens
// (the socket, say), and lines meant for the user would travel into the connection. Each one
// closed is opened on /dev/null instead, before anything else opens a descriptor; output to it is
// lost, as it was. Where /dev/null cannot be opened, the socket layer keeps its sockets above 2.
// So no output of the program tells the two apart; /dev/null also covers what a library keeps open.
void OpenClosedStandardDescriptors() {
  // One call tells which are closed: poll marks them POLLNVAL.
  pollfd standard[] = {{STDIN_FILENO, 0, 0}, {STDOUT_FILENO, 0, 0}, {STDERR_FILENO, 0, 0}};
  if (RetryAfterSignal(-1, [&] { return poll(standard, 3, 0); }) < 0) return;
  for (const pollfd& descriptor : standard) {
    // The lowest free descriptor is this one, since those below it are open by now.
    if ((descriptor.revents & POLLNVAL) != 0) {
      RetryAfterSignal(-1, [] { return open("/dev/null", O_RDWR); });
    }
  }
}

}  // namespace

int ProcessMain(int argc, char** argv) {
  OpenClosedStandardDescriptors();
  // A reader that went away must give a failed write (EPIPE), not end the run.
  signal(SIGPIPE, SIG_IGN);

  ProcessState& process = Process();
  process.std_output = STDOUT_FILENO;
  if (isatty(STDOUT_FILENO)) {
    process.console_flag = -1;
    process.console_output = STDOUT_FILENO;
  } else if (isatty(STDERR_FILENO)) {
    process.console_output = STDERR_FILENO;
  }

  // The shell has split the command line; put it back together as one text.
  // Without memory for it the command line would read as empty, a request for the usage text
  // that a script would take for an open port: the process cannot be prepared.
  ErrorScope startup;
  static const Text command_line = JoinArguments(argc, argv);
  if (LastError() != 0) return kExitNotPrepared;
  SetCommandTail(command_line);
  SetNumberEnvironment();

  const int exit_code = RunDriver();
  RestoreTerminal();
  return exit_code;
}
