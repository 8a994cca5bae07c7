// Tests of the clock text: a reading's time on the 24-hour clock, its date month first.
#include "text/clock_text.h"

#include <gtest/gtest.h>

#include <tuple>

// Every field has its full width with a leading zero; the year is its century and the year within
// it, two digits each.
TEST(ClockText, TheTimeIs24HourAndTheDateMonthFirst) {
  const std::tuple<ClockReading, const char*, const char*> cases[] = {
      {{2009, 1, 1, 0, 0, 0}, "00:00:00", "01-01-2009"},
      {{2026, 6, 15, 12, 0, 0}, "12:00:00", "06-15-2026"},
      {{1999, 12, 31, 23, 59, 59}, "23:59:59", "12-31-1999"},
      {{2000, 1, 5, 9, 5, 7}, "09:05:07", "01-05-2000"}};
  for (const auto& [reading, time, date] : cases) {
    EXPECT_EQ(TimeText(reading), time);
    EXPECT_EQ(DateText(reading), date);
  }
}
