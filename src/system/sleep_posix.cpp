// Sleeping on POSIX systems.
#include <time.h>

#include "system/retry_posix.h"
#include "system/sleep.h"
#include "system/wait_limit_posix.h"

void SleepMs(std::uint32_t ms) {
  WaitAfterSignal(std::chrono::milliseconds(ms), 0, [](std::chrono::microseconds left) {
    const timespec span = ToTimespec(left);
    return nanosleep(&span, nullptr);
  });
}
