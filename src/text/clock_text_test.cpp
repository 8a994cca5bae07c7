// Tests of the clock text formats against fixed readings.
#include "text/clock_text.h"

#include <gtest/gtest.h>

TEST(ClockText, FixedWidthTimeAndMonthFirstDate) {
  EXPECT_EQ(TimeText({2026, 1, 5, 9, 5, 7}), "09:05:07");
  EXPECT_EQ(TimeText({2026, 1, 5, 0, 0, 0}), "00:00:00");
  EXPECT_EQ(TimeText({2026, 1, 5, 12, 0, 0}), "12:00:00");
  EXPECT_EQ(TimeText({2026, 1, 5, 23, 59, 59}), "23:59:59");
  EXPECT_EQ(DateText({1999, 12, 31, 0, 0, 0}), "12-31-1999");
  EXPECT_EQ(DateText({2026, 1, 5, 0, 0, 0}), "01-05-2026");
  EXPECT_EQ(DateText({2000, 1, 1, 0, 0, 0}), "01-01-2000");
  EXPECT_EQ(DateText({2009, 1, 1, 0, 0, 0}), "01-01-2009");
}

TEST(ClockText, LiveReadingsHaveFullWidthAndLeaveTheErrorNumber) {
  ErrorScope scope;
  RaiseError(57);
  const ClockReading now = ReadLocalClock();
  const Text time = TimeText(now);
  const Text date = DateText(now);
  ASSERT_EQ(time.size(), 8u);
  ASSERT_EQ(date.size(), 10u);
  EXPECT_EQ(time[2], ':');
  EXPECT_EQ(date[2], '-');
  EXPECT_EQ(date[5], '-');
  EXPECT_EQ(LastError(), 57);
}
