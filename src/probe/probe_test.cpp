// Tests of the target split and the announcement line.
#include "probe/probe.h"

#include <gtest/gtest.h>

#include <regex>

#include "text/number.h"

namespace {

struct SplitCase {
  const char* target;
  const char* host;
  std::int32_t port;
};

}  // namespace

TEST(ProbeTarget, HostAndPortSplitAtTheFirstColon) {
  SetNumberEnvironment();
  const SplitCase cases[] = {
      {"server", "server", 23},
      {"server:80", "server", 80},
      {"server:23", "server", 23},
      {"server:", "server", 0},
      {"server:abc", "server", 0},
      {":80", "", 80},
      {"a:b:80", "a", 0},
      {"server:8080x", "server", 8080},
      {"server:&H50", "server", 80},
      {"server:79.6", "server", 80},
      {"server:70000", "server", 70000},
      {"server:4294967319", "server", 23},  // the low 32 bits
      {"server:-1", "server", -1},
      {"server:1e30", "server", 0},  // out of 64-bit range: the most negative value, low bits 0
      {"\tserver", "\tserver", 23},
  };
  for (const SplitCase& c : cases) {
    const ProbeTarget target = SplitTarget(c.target);
    EXPECT_EQ(target.host, c.host) << c.target;
    EXPECT_EQ(target.port, c.port) << c.target;
  }
}

TEST(ProbeTarget, AnnouncementNamesHostPortTimeAndDate) {
  SetNumberEnvironment();
  const Text line = AnnouncementLine(ProbeTarget{"127.0.0.1", 70000});
  EXPECT_TRUE(
      std::regex_match(line, std::regex("Opening connection to 127\\.0\\.0\\.1 \\(port 70000\\) "
                                        "at [0-2][0-9]:[0-5][0-9]:[0-5][0-9] on "
                                        "[01][0-9]-[0-3][0-9]-[0-9]{4}")))
      << line;
  EXPECT_EQ(AnnouncementLine(ProbeTarget{"", -1}).substr(0, 33),
            "Opening connection to  (port -1) ");
}

// A clock that steps one second per reading, from one second before midnight on New Year's Eve.
int g_readings = 0;
ClockReading SteppingClock() {
  return ++g_readings == 1 ? ClockReading{2026, 12, 31, 23, 59, 59}
                           : ClockReading{2027, 1, 1, 0, 0, 0};
}

TEST(ProbeTarget, TimeAndDateOfOneLineComeFromOneReading) {
  SetNumberEnvironment();
  g_readings = 0;
  EXPECT_EQ(AnnouncementLine(ProbeTarget{"h", 80}, SteppingClock),
            "Opening connection to h (port 80) at 23:59:59 on 12-31-2026");
  EXPECT_EQ(g_readings, 1);
}
