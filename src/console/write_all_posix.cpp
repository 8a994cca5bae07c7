// Writing a whole byte string to a POSIX descriptor.
#include "console/write_all_posix.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include "system/retry_posix.h"
#include "text/error_table.h"

ErrorNumber WriteAll(int fd, const Text& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count =
        RetryAfterSignal(-1, [&] { return write(fd, bytes.data() + done, bytes.size() - done); });
    if (count > 0) {
      done += static_cast<std::size_t>(count);
    } else if (count == 0) {
      return kErrIo;  // no progress and no error: give up rather than spin
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A parent may hand over a non-blocking descriptor: wait as a blocking write would.
      pollfd writable{fd, POLLOUT, 0};
      if (RetryAfterSignal(-1, [&] { return poll(&writable, 1, -1); }) < 0) {
        return OutputErrorNumber(errno);
      }
    } else {
      return OutputErrorNumber(errno);
    }
  }
  return 0;
}
