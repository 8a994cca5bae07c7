// Line output on POSIX systems: write(2) on standard output, no buffering.
#include <errno.h>

#include "console/line_output.h"
#include "console/process_state.h"
#include "console/terminal_filter.h"
#include "console/write_all_posix.h"

namespace {

// errno to the program's error numbers, by meaning.
ErrorNumber OutputErrorNumber(int error) {
  switch (error) {
    case EBADF:
      return kErrBadHandle;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrShortWrite;
    case ENOMEM:
      return kErrNoMemory;
    case EACCES:
    case EPERM:
      return kErrAccess;
    default:
      return kErrIo;
  }
}

void WriteToStdout(const Text& bytes) {
  if (const int error = WriteAll(static_cast<int>(Process().std_output), bytes); error != 0) {
    RaiseError(OutputErrorNumber(error));
  }
}

}  // namespace

void PrintLine(const Text& text) {
  if (!text.empty()) WriteToStdout(StdoutIsConsole() != 0 ? FilterForTerminal(text) : text);
  WriteToStdout(LineEnd());
}

std::int32_t StdoutIsConsole() { return Process().console_flag; }
