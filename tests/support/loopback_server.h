// A scripted TCP server on 127.0.0.1 for tests, with helpers for refused ports and interrupted
// waits.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One accepted connection as the server's handler sees it. Every call has a time limit, and all
// of them end early once the server is being destroyed.
class ServerPeer {
 public:
  ServerPeer(std::intptr_t socket, const std::atomic<bool>* stopping);
  ~ServerPeer();
  ServerPeer(const ServerPeer&) = delete;
  ServerPeer& operator=(const ServerPeer&) = delete;

  // Sends every byte (within 5 seconds); false when the connection failed or is closed.
  bool Send(const std::string& bytes);
  // Reads until `count` bytes have come, the client closes, or `timeout_ms` has passed.
  std::string ReceiveAtLeast(std::size_t count, int timeout_ms);
  // Everything until the client closes its side (or `timeout_ms` passes).
  std::string ReceiveUntilClosed(int timeout_ms) { return ReceiveAtLeast(SIZE_MAX, timeout_ms); }
  // True once the client has closed its side (within `timeout_ms`); data on the way is dropped.
  bool WaitForClientClose(int timeout_ms);
  // Abortive close: the client sees a reset (RST).
  void Reset() { Close(true); }
  // Orderly close: the client sees the end of data.
  void Close(bool reset = false);

 private:
  // 1 ready, 0 time passed, -1 failure or stopping; waits in short slices to notice stopping.
  int WaitSliced(bool for_reading, std::chrono::steady_clock::time_point end);
  // Appends to `bytes` until it holds `count` bytes or `timeout_ms` passes; true when the client
  // closed first.
  bool ReadInto(std::string& bytes, std::size_t count, int timeout_ms);

  std::intptr_t socket_;
  const std::atomic<bool>* stopping_;
};

// Listens on 127.0.0.1 and, on a thread of its own, runs `handler` once per accepted connection,
// one connection after another; the connection is closed when the handler returns (unless the
// handler closed or reset it). The destructor stops everything within a fraction of a second.
class LoopbackServer {
 public:
  using Handler = std::function<void(ServerPeer&)>;
  // Port 0 lets the system choose; a fixed port (23, say) is bound with SO_REUSEADDR on POSIX.
  explicit LoopbackServer(Handler handler, std::uint16_t port = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool Listening() const { return listening_; }
  std::uint16_t Port() const { return port_; }
  // Connections accepted so far.
  int Accepted() const { return accepted_; }
  // True once `count` handlers have returned; false when `timeout_ms` passes first.
  bool WaitForServed(int count, int timeout_ms);
  // Closes the listening socket once the running handler (if any) has returned, so that later
  // connects are refused.
  void StopListening();

 private:
  void Serve();

  Handler handler_;
  std::uint16_t port_ = 0;
  std::intptr_t listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> stop_listening_{false};
  std::atomic<bool> listening_{false};
  std::atomic<int> accepted_{0};
  int served_ = 0;  // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

// A port on 127.0.0.1 that was bound, noted and closed: connects to it are refused.
std::uint16_t RefusedLoopbackPort();

// A socket bound to 127.0.0.1 on a port the system chose, neither listening nor connected; the
// caller owns it and closes it. Connecting it to its own port connects it to itself.
std::intptr_t BoundLoopbackSocket(std::uint16_t* port);

// True when the tests run as a Windows program under Wine, whose sockets differ from Windows' in
// a few corners (a recv after a reset reports the end of data instead of WSAECONNRESET).
bool RunningUnderWine();

// How many sockets the process holds open, or -1 where that cannot be counted (Windows).
int OpenSocketCount();
