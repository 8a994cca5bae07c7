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

// A reading's time, 24-hour, 8 bytes, and its date, month first, 10 bytes. A line that shows both
// takes them from one reading, so that it never pairs a time with another moment's date. Neither
// touches the error number: without storage they return empty text.
Text TimeText(const ClockReading& reading);
Text DateText(const ClockReading& reading);
