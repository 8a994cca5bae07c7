// The local clock on Windows.
#include <windows.h>

#include "system/clock.h"
#include "system/system_call_win32.h"

ClockReading ReadLocalClock() {
  SYSTEMTIME now{};
  CallSystem([&] { GetLocalTime(&now); });
  return ClockReading{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}
