// The local wall clock: one reading of it.
#pragma once

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
