// The local clock on POSIX systems.
#include <time.h>

#include "system/clock.h"

ClockReading ReadLocalClock() {
  const time_t now = time(nullptr);
  struct tm local {};
  if (localtime_r(&now, &local) == nullptr) return ClockReading{1970, 1, 1, 0, 0, 0};
  return ClockReading{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                      local.tm_hour,        local.tm_min,     local.tm_sec};
}
