// Writing whole byte strings to a POSIX descriptor.
#include "system/write_all_posix.h"

#include <errno.h>
#include <poll.h>
#include <sys/uio.h>

#include <algorithm>

#include "system/retry_posix.h"

int WriteAll(int fd, std::string_view first, std::string_view second) {
  while (!first.empty() || !second.empty()) {
    iovec pieces[2] = {{const_cast<char*>(first.data()), first.size()},
                       {const_cast<char*>(second.data()), second.size()}};
    const ssize_t count = RetryAfterSignal(-1, [&] { return writev(fd, pieces, 2); });
    if (count > 0) {
      const std::size_t from_first = std::min(static_cast<std::size_t>(count), first.size());
      first.remove_prefix(from_first);
      second.remove_prefix(static_cast<std::size_t>(count) - from_first);
    } else if (count == 0) {
      return EIO;  // no progress and no error: give up rather than spin
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A parent may hand over a non-blocking descriptor: wait as a blocking write would.
      pollfd writable{fd, POLLOUT, 0};
      if (RetryAfterSignal(-1, [&] { return poll(&writable, 1, -1); }) < 0) return errno;
    } else {
      return errno;
    }
  }
  return 0;
}
