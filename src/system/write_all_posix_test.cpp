// Tests of the POSIX calls that signals interrupt: SIGALRM every 2 ms, from a handler installed
// without SA_RESTART, cuts blocking calls short.
#include "system/write_all_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "system/retry_posix.h"

namespace {

class Interrupted : public ::testing::Test {
 protected:
  void SetUp() override {
    struct sigaction action = {};
    action.sa_handler = [](int) {};
    sigaction(SIGALRM, &action, &previous_);
    const itimerval every{{0, 2000}, {0, 2000}};
    setitimer(ITIMER_REAL, &every, nullptr);
    ASSERT_EQ(pipe2(pipe_ends_, O_NONBLOCK), 0);
  }
  void TearDown() override {
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous_, nullptr);
  }

  int pipe_ends_[2] = {-1, -1};

 private:
  struct sigaction previous_ = {};
};

}  // namespace

// A wait resumes with the time it has left: it lasts its whole limit, however often it is cut.
TEST_F(Interrupted, AWaitLastsItsWholeLimit) {
  pollfd readable{pipe_ends_[0], POLLIN, 0};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitAfterSignal(std::chrono::milliseconds(300), 0,
                            [&](std::chrono::microseconds left) {
                              const timespec span{0, static_cast<long>(left.count()) * 1000};
                              return ppoll(&readable, 1, &span, nullptr);
                            }),
            0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  close(pipe_ends_[0]);
  close(pipe_ends_[1]);
}

// A write to a full pipe that a parent handed over non-blocking waits for room until the pipe is
// drained, and writes each byte once: the reader takes what the writer owes and no more, so a
// writer that repeats itself fails.
TEST_F(Interrupted, AWriteToAFullNonBlockingPipeWaitsForRoom) {
  const auto filled = write(pipe_ends_[1], std::string(1 << 20, 'f').data(), 1 << 20);
  ASSERT_GT(filled, 0);  // as much as fits
  const std::string owed = std::string(filled, 'f') + "after the signals\r\n";
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string got(owed.size(), '\0');
    for (std::size_t at = 0; at < got.size();) {
      const ssize_t count = read(pipe_ends_[0], &got[at], got.size() - at);  // not blocking
      if (count == 0) break;                                                 // the writer gave up
      if (count > 0) at += static_cast<std::size_t>(count);
    }
    EXPECT_EQ(got, owed);
    close(pipe_ends_[0]);
  });
  EXPECT_EQ(WriteAll(pipe_ends_[1], "after the signals", "\r\n"), 0);
  close(pipe_ends_[1]);
  reader.join();
}
