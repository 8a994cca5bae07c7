// Writing a whole byte string to a POSIX descriptor.
#include "console/write_all_posix.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

int WriteAll(int fd, const Text& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
    if (count > 0) {
      done += static_cast<std::size_t>(count);
    } else if (count == 0) {
      return EIO;  // no progress and no error: give up rather than spin
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A parent may hand over a non-blocking descriptor: wait as a blocking write would.
      pollfd writable{fd, POLLOUT, 0};
      if (poll(&writable, 1, -1) < 0 && errno != EINTR) return errno;
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}
