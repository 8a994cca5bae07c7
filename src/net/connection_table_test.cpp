// Tests of the connection table as a long repeating run meets it: one connection at a time, a new
// number for each probe, and the numbers starting over after 32767.
#include "net/connection_table.h"

#include <gtest/gtest.h>

TEST(ConnectionTable, EachProbeGetsTheNextNumberAndTheyStartOverAfter32767) {
  ConnectionRecord record;
  std::int16_t previous = NextFreeNumber();
  for (int probe = 0; probe <= kHighestConnectionNumber; ++probe) {
    record.number = NextFreeNumber();
    ASSERT_EQ(record.number, previous == kHighestConnectionNumber ? 1 : previous + 1);
    ASSERT_TRUE(RegisterConnection(&record) && FindConnection(record.number) == &record);
    ASSERT_TRUE(UnregisterConnection(&record) && FindConnection(record.number) == nullptr);
    previous = record.number;
  }
}
