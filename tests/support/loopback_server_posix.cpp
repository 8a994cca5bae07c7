// The loopback test server's socket calls and the socket count on POSIX systems.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "support/loopback_server.h"
#include "support/loopback_server_sockets.h"

namespace loopback_sockets {

std::intptr_t Bind(std::uint16_t port, bool listen, std::uint16_t* bound) {
  const int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (descriptor < 0) return kNone;
  const int on = 1;
  if (listen) setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      (listen && ::listen(descriptor, 16) != 0)) {
    close(descriptor);
    return kNone;
  }
  *bound = ntohs(address.sin_port);
  return descriptor;
}

int Wait(std::intptr_t socket, bool for_reading, int timeout_ms) {
  pollfd descriptor{static_cast<int>(socket), static_cast<short>(for_reading ? POLLIN : POLLOUT),
                    0};
  const int result = poll(&descriptor, 1, timeout_ms);
  if (result > 0) return 1;
  if (result == 0 || errno == EINTR) return 0;
  return -1;
}

std::intptr_t Accept(std::intptr_t listener) {
  const int accepted = accept(static_cast<int>(listener), nullptr, nullptr);
  return accepted < 0 ? kNone : accepted;
}

long Send(std::intptr_t socket, const char* bytes, std::size_t count) {
  ssize_t sent;
  do {
    sent = send(static_cast<int>(socket), bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  return static_cast<long>(sent);
}

long Receive(std::intptr_t socket, char* buffer, std::size_t capacity) {
  ssize_t got;
  do {
    got = recv(static_cast<int>(socket), buffer, capacity, 0);
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

void Close(std::intptr_t socket, bool reset) {
  const linger abortive{1, 0};
  if (reset)
    setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  close(static_cast<int>(socket));
}

}  // namespace loopback_sockets

bool RunningUnderWine() { return false; }

int OpenSocketCount() {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator entries("/proc/self/fd", error);
  if (error) return -1;
  int count = 0;
  for (const fs::directory_entry& entry : entries) {
    if (fs::read_symlink(entry.path(), error).string().rfind("socket:", 0) == 0) ++count;
  }
  return count;
}
