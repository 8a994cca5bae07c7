// Tests of the target split and the announcement line's time and date.
#include "probe/probe.h"

#include <gtest/gtest.h>

#include "text/number.h"

TEST(ProbeTarget, HostAndPortSplitAtTheFirstColon) {
  SetNumberEnvironment();
  // clang-format off
  const struct {
    const char *target, *host;
    std::int32_t port;
  } cases[] = {
      {"server", "server", 23}, {"server:80", "server", 80}, {"server:23", "server", 23},
      {"server:", "server", 0}, {"server:abc", "server", 0}, {":80", "", 80}, {"a:b:80", "a", 0},
      {"server:8080x", "server", 8080}, {"server:&H50", "server", 80}, {"server:79.6", "server", 80},
      {"server:70000", "server", 70000}, {"server:-1", "server", -1}, {"\tserver", "\tserver", 23},
      {"server:4294967319", "server", 23},  // the low 32 bits
      {"server:1e30", "server", 0}};        // out of 64-bit range: the most negative, low bits 0
  // clang-format on
  for (const auto& c : cases) {
    const ProbeTarget target = SplitTarget(c.target);
    EXPECT_EQ(target.host, c.host) << c.target;
    EXPECT_EQ(target.port, c.port) << c.target;
  }
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
