// Tests that waits, opens and sleeps go on when signals interrupt them (POSIX).
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "console/sleep.h"
#include "net/stream.h"
#include "support/loopback_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Interrupts the constructing thread with SIGUSR2 every `period` until destroyed. The handler
// does nothing and is installed without SA_RESTART, so that blocking calls are cut short.
class SignalStorm {
 public:
  explicit SignalStorm(milliseconds period) : target_(pthread_self()) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigaction(SIGUSR2, &action, &previous_);
    sender_ = std::thread([this, period] {
      while (!stop_) {
        std::this_thread::sleep_for(period);
        if (stop_) break;
        pthread_kill(target_, SIGUSR2);
        ++sent_;
      }
    });
  }
  ~SignalStorm() {
    stop_ = true;
    sender_.join();
    // Every signal sent was delivered while this thread waited in join, so the previous
    // disposition can come back without one arriving under it.
    sigaction(SIGUSR2, &previous_, nullptr);
  }
  int Sent() const { return sent_; }

 private:
  pthread_t target_;
  struct sigaction previous_ {};
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::thread sender_;
};

}  // namespace

TEST(Signals, SocketWaitsAndOpensGoOn) {
  LoopbackServer server([](ServerPeer& peer) { peer.WaitForClientClose(3000); });
  ErrorScope scope;
  SignalStorm storm(milliseconds(2));
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::int16_t number = NextFreeNumber();
    OpenStream(number, server.Port(), "127.0.0.1", Text(), 3000);
    ASSERT_EQ(LastError(), 0);
    CloseConnection(number, kStreamMode);
  }
  const std::int16_t number = NextFreeNumber();
  OpenStream(number, server.Port(), "127.0.0.1", Text(), 300);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ReceiveLine(number), "");
  EXPECT_GE(Clock::now() - start, std::chrono::microseconds(300 * 1024));
  EXPECT_EQ(LastError(), kErrTimeout);
  EXPECT_GT(storm.Sent(), 0);
  CloseConnection(number, kStreamMode);
}

TEST(Signals, SleepsAreNotShortened) {
  SignalStorm storm(milliseconds(20));
  const auto start = std::chrono::steady_clock::now();
  SleepMs(150);
  const auto slept = std::chrono::steady_clock::now() - start;
  EXPECT_GT(storm.Sent(), 0);
  EXPECT_GE(slept, milliseconds(150));
  EXPECT_LT(slept, milliseconds(1000));
}
