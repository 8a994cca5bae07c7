// Sleeping on POSIX systems.
#include <time.h>

#include "system/retry_posix.h"
#include "system/sleep.h"

void SleepMs(std::uint32_t ms) {
  WaitAfterSignal(std::chrono::milliseconds(ms), 0, [](std::chrono::microseconds left) {
    const timespec span{static_cast<time_t>(left.count() / 1000000),
                        static_cast<long>(left.count() % 1000000) * 1000L};
    return nanosleep(&span, nullptr);
  });
}
