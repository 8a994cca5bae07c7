// Keeping the descriptors the program opens off standard input, output and error (POSIX).
#include "system/descriptor_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

int AboveStandardDescriptors(int descriptor) {
  // A parent may start the program with a standard descriptor closed, and where /dev/null cannot
  // be opened in its place (a container without it) the next open takes that number: lines meant
  // for standard output would then travel into a connection or onto the terminal.
  if (descriptor < 0 || descriptor > STDERR_FILENO) return descriptor;
  const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int error = errno;
  close(descriptor);
  errno = error;
  return moved;
}
