// Pipes and files for tests, with POSIX descriptors.
#include <fcntl.h>
#include <unistd.h>

#include "support/os_pipe.h"

OsPipe OpenOsPipe() {
  int fds[2] = {-1, -1};
  if (pipe(fds) != 0) return OsPipe{};
  return OsPipe{fds[0], fds[1]};
}

std::string ReadToEnd(std::intptr_t read_end) {
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(static_cast<int>(read_end), buffer, sizeof buffer);
    if (n <= 0) return out;
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

void CloseOsHandle(std::intptr_t handle) { close(static_cast<int>(handle)); }

std::intptr_t CreateOsFile(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
}
