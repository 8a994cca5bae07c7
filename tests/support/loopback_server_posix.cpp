// The loopback test server's socket calls, the socket count and the signal storm on POSIX systems.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
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

// The storm's signal; its handler does nothing, and it is installed without SA_RESTART so that
// blocking calls see EINTR.
constexpr int kStormSignal = SIGUSR2;

struct SignalStorm::State {
  pthread_t target;
  struct sigaction previous;
  std::atomic<bool> stop{false};
  std::atomic<int> sent{0};
  std::thread sender;
};

SignalStorm::SignalStorm(std::chrono::milliseconds period) : state_(std::make_unique<State>()) {
  state_->target = pthread_self();
  struct sigaction action {};
  action.sa_handler = [](int) {};
  sigaction(kStormSignal, &action, &state_->previous);
  State* state = state_.get();
  state_->sender = std::thread([state, period] {
    while (!state->stop) {
      std::this_thread::sleep_for(period);
      if (state->stop) break;
      pthread_kill(state->target, kStormSignal);
      ++state->sent;
    }
  });
}

SignalStorm::~SignalStorm() {
  state_->stop = true;
  state_->sender.join();
  // Every signal sent was delivered to this thread while it waited in join, so the previous
  // disposition can come back without one arriving under it.
  sigaction(kStormSignal, &state_->previous, nullptr);
}

bool SignalStorm::Supported() { return true; }

int SignalStorm::Sent() const { return state_->sent; }
