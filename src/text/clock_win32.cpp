// The local clock on Windows.
#include <windows.h>

#include "system/system_call_win32.h"
#include "text/clock_text.h"

ClockReading ReadLocalClock() {
  SYSTEMTIME now{};
  CallSystem([&] { GetLocalTime(&now); });
  return ClockReading{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}
