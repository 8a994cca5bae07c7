// The demo behind `make run`: a listener on 127.0.0.1 for about three seconds, probed every second
// by the real program until the listener goes away. Usage: knockbox-demo PATH-TO-KNOCKBOX
//
// It is C++ so that the demo needs nothing a fresh machine with a C++ compiler lacks.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kListening = std::chrono::milliseconds(3200);
constexpr auto kRunLimit = std::chrono::seconds(20);

int Fail(const char* what) {
  std::perror(what);
  return 1;
}

// Serves whatever is ready within `span`: new connections on the listener (while it is open) and
// the bytes of those already taken, until each one's peer closes.
void Serve(int& listener, std::vector<int>& connections, std::chrono::milliseconds span) {
  std::vector<pollfd> ready;
  if (listener >= 0) ready.push_back({listener, POLLIN, 0});
  for (int connection : connections) ready.push_back({connection, POLLIN, 0});
  if (poll(ready.data(), ready.size(), static_cast<int>(span.count())) <= 0) return;
  for (const pollfd& entry : ready) {
    if ((entry.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    if (entry.fd == listener) {
      const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection >= 0) connections.push_back(connection);
      continue;
    }
    char bytes[4096];
    if (read(entry.fd, bytes, sizeof bytes) > 0) continue;
    close(entry.fd);
    std::erase(connections, entry.fd);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PATH-TO-KNOCKBOX\n", argv[0]);
    return 2;
  }
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 16) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return Fail("demo: cannot listen on 127.0.0.1");
  }
  const std::string target = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  std::printf("$ knockbox %s 1   (a listener accepts on that port for about 3 seconds)\n",
              target.c_str());
  std::fflush(stdout);

  char* child_argv[] = {argv[1], const_cast<char*>(target.c_str()), const_cast<char*>("1"),
                        nullptr};
  pid_t child = 0;
  if (const int error = posix_spawn(&child, argv[1], nullptr, nullptr, child_argv, environ)) {
    errno = error;
    return Fail(argv[1]);
  }

  std::vector<int> connections;
  const Clock::time_point start = Clock::now();
  int status = 0;
  for (;;) {
    if (listener >= 0 && Clock::now() - start >= kListening) {
      close(listener);  // the next probe is refused and ends the run
      listener = -1;
    }
    if (waitpid(child, &status, WNOHANG) == child) break;
    if (Clock::now() - start >= kRunLimit) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      std::fprintf(stderr, "demo: knockbox did not end\n");
      return 1;
    }
    Serve(listener, connections, std::chrono::milliseconds(50));
  }
  std::printf("$ echo $?\n%d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return 0;
}
