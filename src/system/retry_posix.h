// Going on after a signal interrupted a POSIX call: the one place that knows about EINTR.
#pragma once

#include <errno.h>

#include <chrono>

// True when the call that just failed was cut short by a signal.
inline bool InterruptedBySignal() { return errno == EINTR; }

// For calls that simply restart: calls `call` again for as long as it returns `failure` because a
// signal interrupted it; returns the last result.
template <typename Failure, typename Call>
auto RetryAfterSignal(const Failure& failure, const Call& call) -> decltype(call()) {
  decltype(call()) result;
  do {
    errno = 0;
    result = call();
  } while (result == failure && errno == EINTR);
  return result;
}

// For waits bounded by `limit`: calls `wait(left)` with the time left, which is all of `limit` at
// first and what remains of it after a signal interrupted the wait (a result of -1 with EINTR).
// Returns the last result, or `timed_out` when a signal came with no time left.
template <typename Wait>
auto WaitAfterSignal(std::chrono::microseconds limit, int timed_out, const Wait& wait)
    -> decltype(wait(limit)) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + limit;
  for (std::chrono::microseconds left = limit;;) {
    errno = 0;
    const auto result = wait(left);
    if (result != -1 || errno != EINTR) return result;
    left = std::chrono::ceil<std::chrono::microseconds>(end - Clock::now());
    if (left.count() <= 0) return timed_out;
  }
}
