// Clock text: the local time as HH:MM:SS and the local date as MM-DD-YYYY.
#pragma once

#include "text/text.h"

// One reading of the local wall clock.
struct ClockReading {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Reads the local clock afresh (GetLocalTime on Windows, localtime_r on POSIX).
ClockReading ReadLocalClock();

// 24-hour time, 8 bytes.
Text FormatTime(const ClockReading& reading);
// Month first, 10 bytes.
Text FormatDate(const ClockReading& reading);

// The current local time and date; each call reads the clock again. Neither touches the error
// number: without storage they return empty text.
Text TimeText();
Text DateText();
