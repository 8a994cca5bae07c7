// The console echo on POSIX systems: the line on standard error when only that is a terminal.
#include <termios.h>

#include "console/console_echo.h"
#include "console/shown_line_posix.h"
#include "console/terminal_posix.h"
#include "system/process_state.h"
#include "text/error.h"

namespace {

// A background job writing to a terminal set to "tostop" would be stopped by SIGTTOU; that
// user has asked background jobs to keep quiet, so the echo does.
bool BackgroundMustKeepQuiet(int fd) {
  if (JobOnTerminal(fd) != TerminalJob::kBackground) return false;
  termios settings;
  return tcgetattr(fd, &settings) != 0 || (settings.c_lflag & TOSTOP) != 0;
}

}  // namespace

void ConsolePrintLine(std::string_view text) {
  if (Process().console_output == kNoHandle) return;
  const int fd = static_cast<int>(Process().console_output);
  // The echo reports nothing: a failure here must not reach the caller's error number.
  ErrorScope own_errors;
  if (BackgroundMustKeepQuiet(fd)) return;
  WriteShownLine(fd, text);
}
