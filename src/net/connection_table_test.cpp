// Tests of the connection table's numbers as a long repeating run meets them.
#include "net/connection_table.h"

#include <gtest/gtest.h>

// After 32767 the numbers start over at 1, so a run of any length always has one.
TEST(ConnectionTable, NumbersStartOverAt1After32767) {
  while (NextFreeNumber() != kHighestConnectionNumber) {
  }
  EXPECT_EQ(NextFreeNumber(), 1);
  EXPECT_EQ(NextFreeNumber(), 2);
}

// A number that an open connection holds is not handed out; once it is closed, it is found no
// more.
TEST(ConnectionTable, ANumberThatIsOpenIsSkipped) {
  ConnectionRecord record;
  while ((record.number = NextFreeNumber()) >= kHighestConnectionNumber - 2) {
  }
  ++record.number;  // the next call's number
  ASSERT_TRUE(RegisterConnection(&record) && FindConnection(record.number) == &record);
  EXPECT_EQ(NextFreeNumber(), record.number + 1);
  ASSERT_TRUE(UnregisterConnection(&record) && FindConnection(record.number) == nullptr);
}
