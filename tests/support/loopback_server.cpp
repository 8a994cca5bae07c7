// The loopback test server: its accept thread, its serving thread and the peer's bounded calls.
#include "support/loopback_server.h"

#include <algorithm>

#include "support/loopback_server_sockets.h"

namespace {

using Clock = std::chrono::steady_clock;

// Short enough that stopping is prompt, long enough not to spin.
constexpr int kSliceMs = 20;
constexpr int kSendLimitMs = 5000;
constexpr int kStopListeningLimitMs = 5000;
constexpr std::size_t kReadChunk = 65536;

Clock::time_point After(int timeout_ms) {
  return Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
}

}  // namespace

ServerPeer::ServerPeer(std::intptr_t socket, const std::atomic<bool>* stopping)
    : socket_(socket), stopping_(stopping) {}

ServerPeer::~ServerPeer() { Close(); }

int ServerPeer::WaitSliced(bool for_reading, Clock::time_point end) {
  for (;;) {
    if (socket_ == loopback_sockets::kNone || *stopping_) return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    const int slice = static_cast<int>(std::clamp<long long>(left, 0, kSliceMs));
    const int result = loopback_sockets::Wait(socket_, for_reading, slice);
    if (result != 0) return result;
    if (Clock::now() >= end) return 0;
  }
}

bool ServerPeer::Send(const std::string& bytes) {
  const Clock::time_point end = After(kSendLimitMs);
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (WaitSliced(false, end) != 1) return false;
    const long sent = loopback_sockets::Send(socket_, bytes.data() + done, bytes.size() - done);
    if (sent < 0) return false;
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

bool ServerPeer::ReadInto(std::string& bytes, std::size_t count, int timeout_ms) {
  const Clock::time_point end = After(timeout_ms);
  std::string chunk(kReadChunk, '\0');
  while (bytes.size() < count && WaitSliced(true, end) == 1) {
    const long got = loopback_sockets::Receive(socket_, chunk.data(), chunk.size());
    if (got <= 0) return true;
    bytes.append(chunk.data(), static_cast<std::size_t>(got));
  }
  return false;
}

std::string ServerPeer::ReceiveAtLeast(std::size_t count, int timeout_ms) {
  std::string bytes;
  ReadInto(bytes, count, timeout_ms);
  return bytes;
}

bool ServerPeer::WaitForClientClose(int timeout_ms) {
  std::string dropped;
  return ReadInto(dropped, SIZE_MAX, timeout_ms);
}

void ServerPeer::Close(bool reset) {
  if (socket_ != loopback_sockets::kNone) loopback_sockets::Close(socket_, reset);
  socket_ = loopback_sockets::kNone;
}

LoopbackServer::LoopbackServer(Handler handler, std::uint16_t port) : handler_(std::move(handler)) {
  listener_ = loopback_sockets::Bind(port, true, &port_);
  listening_ = listener_ != loopback_sockets::kNone;
  if (listening_) thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

void LoopbackServer::Serve() {
  while (!stopping_ && !stop_listening_) {
    if (loopback_sockets::Wait(listener_, true, kSliceMs) != 1) continue;
    const std::intptr_t accepted = loopback_sockets::Accept(listener_);
    if (accepted == loopback_sockets::kNone) continue;
    ++accepted_;
    {
      ServerPeer peer(accepted, &stopping_);
      try {
        handler_(peer);
      } catch (...) {
        // A failing handler ends its connection, not the server.
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++served_;
    changed_.notify_all();
  }
  // Only this thread uses the listener, so closing it here races with nothing.
  std::lock_guard<std::mutex> lock(mutex_);
  loopback_sockets::Close(listener_);
  listening_ = false;
  changed_.notify_all();
}

bool LoopbackServer::WaitForServed(int count, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_until(lock, After(timeout_ms), [&] { return served_ >= count; });
}

void LoopbackServer::StopListening() {
  std::unique_lock<std::mutex> lock(mutex_);
  stop_listening_ = true;
  changed_.wait_until(lock, After(kStopListeningLimitMs), [this] { return !listening_; });
}

std::uint16_t RefusedLoopbackPort() {
  std::uint16_t port = 0;
  const std::intptr_t socket = BoundLoopbackSocket(&port);
  if (socket != loopback_sockets::kNone) loopback_sockets::Close(socket);
  return port;
}

std::intptr_t BoundLoopbackSocket(std::uint16_t* port) {
  *port = 0;
  return loopback_sockets::Bind(0, false, port);
}
