// Tests of the connection table: number allocation and the list's bookkeeping.
#include "net/connection_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Records = std::vector<std::unique_ptr<ConnectionRecord>>;

// Records without socket or buffer (all the table itself looks at), registered in order.
Records RegisterNumbers(int first, int last) {
  Records records;
  for (int number = first; number <= last; ++number) {
    records.push_back(std::make_unique<ConnectionRecord>());
    records.back()->number = static_cast<std::int16_t>(number);
    EXPECT_TRUE(RegisterConnection(records.back().get()));
  }
  return records;
}

}  // namespace

TEST(ConnectionTable, NumbersClimbSkipOpenOnesAndStartOverAfter32767) {
  ErrorScope scope;
  const std::int16_t first = NextFreeNumber();
  EXPECT_EQ(NextFreeNumber(), first == kHighestConnectionNumber ? 1 : first + 1);

  Records open = RegisterNumbers(1, 4);
  ASSERT_TRUE(UnregisterConnection(open[2].get()));
  for (int guard = 0; guard <= kHighestConnectionNumber; ++guard) {
    if (NextFreeNumber() == kHighestConnectionNumber) break;
  }
  EXPECT_EQ(NextFreeNumber(), 3);
  EXPECT_EQ(NextFreeNumber(), 5);
  // Oldest first: each record leaves from the far end of the list.
  for (const int index : {0, 1, 3}) EXPECT_TRUE(UnregisterConnection(open[index].get()));
  EXPECT_FALSE(UnregisterConnection(open[2].get())) << "a record no longer in the table";
  EXPECT_EQ(FindConnection(4), nullptr);
  EXPECT_EQ(LastError(), 0);
}

TEST(ConnectionTable, EveryNumberOpenGivesError7AndZeroUntilOneIsFree) {
  Records records = RegisterNumbers(1, kHighestConnectionNumber);
  {
    ErrorScope scope;
    EXPECT_EQ(NextFreeNumber(), 0);
    EXPECT_EQ(LastError(), kErrNoMemory);
  }
  ErrorScope scope;
  ASSERT_TRUE(UnregisterConnection(records[76].get()));
  EXPECT_EQ(NextFreeNumber(), 77);
  EXPECT_EQ(LastError(), 0);
  // Newest first, so each removal finds its record at the head.
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if ((*it)->number != 77) {
      ASSERT_TRUE(UnregisterConnection(it->get()));
    }
  }
  EXPECT_EQ(FindConnection(1), nullptr);
}
