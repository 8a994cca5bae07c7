// The demo behind `make run`: a listener on 127.0.0.1 for about three seconds, probed every
// second by the real program until the listener goes away.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/loopback_server.h"

namespace {

constexpr auto kListenTime = std::chrono::milliseconds(3200);
constexpr auto kRunLimit = std::chrono::seconds(20);

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PATH-TO-KNOCKBOX\n", argv[0]);
    return 2;
  }
  LoopbackServer server([](ServerPeer& peer) { peer.ReceiveUntilClosed(2000); });
  if (!server.Listening()) {
    std::fprintf(stderr, "demo: cannot listen on 127.0.0.1\n");
    return 2;
  }
  const std::string target = "127.0.0.1:" + std::to_string(server.Port());
  std::printf("$ knockbox %s 1   (a listener accepts on that port for about 3 seconds)\n",
              target.c_str());
  std::fflush(stdout);

  const pid_t child = fork();
  if (child == 0) {
    execl(argv[1], argv[1], target.c_str(), "1", static_cast<char*>(nullptr));
    std::perror("demo: cannot run knockbox");
    _exit(127);
  }
  if (child < 0) return 2;

  const auto start = std::chrono::steady_clock::now();
  bool listening = true;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (listening && elapsed >= kListenTime) {
      server.StopListening();
      listening = false;
    }
    if (elapsed >= kRunLimit) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status)) {
    std::printf("$ echo $?\n%d\n", WEXITSTATUS(status));
    return 0;
  }
  std::printf("demo: knockbox did not end normally\n");
  return 1;
}
