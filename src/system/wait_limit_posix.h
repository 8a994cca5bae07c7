// Wait limits in the form the POSIX waits take them (nanosleep, ppoll).
#pragma once

#include <time.h>

#include <chrono>

// `limit` (not negative) as whole seconds and the nanoseconds of its microseconds beyond them.
inline timespec ToTimespec(std::chrono::microseconds limit) {
  timespec span;
  span.tv_sec = static_cast<time_t>(limit.count() / 1000000);
  span.tv_nsec = static_cast<long>(limit.count() % 1000000) * 1000;
  return span;
}
