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

// Numbers climb with every request, skip the open ones and start over after 32767; with every
// number open the request gives 0 and error 7.
TEST(ConnectionTable, NumbersClimbSkipOpenOnesAndStartOverAfter32767) {
  ErrorScope scope;
  const std::int16_t first = NextFreeNumber();
  EXPECT_EQ(NextFreeNumber(), first == kHighestConnectionNumber ? 1 : first + 1);
  Records records = RegisterNumbers(1, kHighestConnectionNumber);
  EXPECT_EQ(NextFreeNumber(), 0);
  EXPECT_EQ(LastError(), kErrNoMemory);
  RaiseError(0);
  // Newest first: each removal finds its record at the head; one in the middle stays free.
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if ((*it)->number > 4 || (*it)->number == 3) {
      ASSERT_TRUE(UnregisterConnection(it->get()));
    }
  }
  EXPECT_FALSE(UnregisterConnection(records[2].get())) << "a record no longer in the table";
  EXPECT_EQ(FindConnection(4), records[3].get());
  EXPECT_EQ(FindConnection(3), nullptr);
  for (int guard = 0; guard <= kHighestConnectionNumber; ++guard) {
    if (NextFreeNumber() == kHighestConnectionNumber) break;
  }
  EXPECT_EQ(NextFreeNumber(), 3);
  EXPECT_EQ(NextFreeNumber(), 5);
  EXPECT_EQ(LastError(), 0);
  // Oldest first: each record leaves from the far end of the list.
  for (const int index : {0, 1, 3}) EXPECT_TRUE(UnregisterConnection(records[index].get()));
  EXPECT_EQ(FindConnection(4), nullptr);
}
