// Line output on POSIX systems: write(2) on standard output, no buffering.
#include <errno.h>
#include <unistd.h>

#include "console/line_output.h"
#include "console/process_state.h"
#include "console/terminal_filter.h"

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

// Writes every byte unless a real error occurs; short writes and EINTR are normal here.
void WriteAll(const Text& bytes) {
  const int fd = static_cast<int>(Process().std_output);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseError(OutputErrorNumber(errno));
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void PrintLine(const Text& text) {
  if (!text.empty()) WriteAll(StdoutIsConsole() != 0 ? FilterForTerminal(text) : text);
  WriteAll(LineEnd());
}

std::int32_t StdoutIsConsole() { return Process().console_flag; }
