// Tests of the target split and the announcement line's time and date.
#include "probe/probe.h"

#include <gtest/gtest.h>

#include "text/number.h"

// The port is the number after the first colon, rounded half to even to a 64-bit integer (the
// most negative one when out of range), cut to its low 32 bits; 23 without a colon. (The fuzz
// target checks the host, and the rounding of the loop time to 32 bits.)
TEST(ProbeTarget, ThePortIsTheLow32BitsOfTheNumberAfterTheFirstColon) {
  SetNumberEnvironment();
  // clang-format off
  const std::pair<const char*, std::int32_t> cases[] = {
      {"server", 23}, {"server:", 0}, {"a:b:80", 0}, {"server:8080x", 8080}, {"server:&H50", 80},
      {"server:79.6", 80}, {"server:2.5", 2}, {"server:-2.5", -2}, {"server:70000", 70000},
      {"server:-1", -1}, {"server:4294967319", 23}, {"server:9223372036854775808", -8},
      {"server:&H8000000000000000", 0}, {"server:9.3e18", 0}, {"server:1e30", 0}};
  // clang-format on
  for (const auto& [target, port] : cases) EXPECT_EQ(SplitTarget(target).port, port) << target;
}

// A clock that steps one second per reading, from one second before midnight on New Year's Eve.
int g_readings = 0;
ClockReading SteppingClock() {
  return ++g_readings == 1 ? ClockReading{2026, 12, 31, 23, 59, 59}
                           : ClockReading{2027, 1, 1, 0, 0, 0};
}

// The time has two digits a field on the 24-hour clock, the date is month first with a
// four-digit year, and both come from one reading.
TEST(ProbeTarget, TimeAndDateOfOneLineComeFromOneReading) {
  SetNumberEnvironment();
  EXPECT_EQ(AnnouncementLine(ProbeTarget{"h", 80}, SteppingClock),
            "Opening connection to h (port 80) at 23:59:59 on 12-31-2026");
  EXPECT_EQ(g_readings, 1);
  EXPECT_EQ(TimeText({2009, 1, 5, 9, 5, 7}) + DateText({2009, 1, 5, 9, 5, 7}),
            "09:05:0701-05-2009");
}
