// Tests of the connection table: number allocation and the list's bookkeeping.
#include "net/connection_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A record without socket or buffer: all the table itself looks at.
std::unique_ptr<ConnectionRecord> RecordFor(std::int16_t number) {
  auto record = std::make_unique<ConnectionRecord>();
  record->number = number;
  return record;
}

}  // namespace

TEST(ConnectionTable, NumbersClimbSkipOpenOnesAndStartOverAfter32767) {
  ErrorScope scope;
  const std::int16_t first = NextFreeNumber();
  EXPECT_EQ(NextFreeNumber(), first == kHighestConnectionNumber ? 1 : first + 1);

  auto one = RecordFor(1);
  auto two = RecordFor(2);
  auto four = RecordFor(4);
  ASSERT_TRUE(RegisterConnection(one.get()));
  ASSERT_TRUE(RegisterConnection(two.get()));
  ASSERT_TRUE(RegisterConnection(four.get()));
  for (int guard = 0; guard <= kHighestConnectionNumber; ++guard) {
    if (NextFreeNumber() == kHighestConnectionNumber) break;
  }
  EXPECT_EQ(NextFreeNumber(), 3);
  EXPECT_EQ(NextFreeNumber(), 5);
  EXPECT_TRUE(UnregisterConnection(four.get()));
  EXPECT_TRUE(UnregisterConnection(two.get()));
  EXPECT_TRUE(UnregisterConnection(one.get()));
  EXPECT_EQ(LastError(), 0);
}

TEST(ConnectionTable, EveryNumberOpenGivesError7AndZeroUntilOneIsFree) {
  std::vector<std::unique_ptr<ConnectionRecord>> records;
  for (int number = 1; number <= kHighestConnectionNumber; ++number) {
    records.push_back(RecordFor(static_cast<std::int16_t>(number)));
    ASSERT_TRUE(RegisterConnection(records.back().get()));
  }
  {
    ErrorScope scope;
    EXPECT_EQ(NextFreeNumber(), 0);
    EXPECT_EQ(LastError(), kErrNoMemory);
  }
  {
    ErrorScope scope;
    ASSERT_TRUE(UnregisterConnection(records[76].get()));
    EXPECT_EQ(NextFreeNumber(), 77);
    EXPECT_EQ(LastError(), 0);
  }
  // Newest first, so each removal finds its record at the head.
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if ((*it)->number != 77) {
      ASSERT_TRUE(UnregisterConnection(it->get()));
    }
  }
  EXPECT_EQ(FindConnection(1), nullptr);
}

TEST(ConnectionTable, NewestRecordIsFoundFirstAndRecordsLeaveFromAnywhere) {
  auto a = RecordFor(300);
  auto b = RecordFor(301);
  auto c = RecordFor(300);
  ASSERT_TRUE(RegisterConnection(a.get()));
  ASSERT_TRUE(RegisterConnection(b.get()));
  ASSERT_TRUE(RegisterConnection(c.get()));
  EXPECT_EQ(FindConnection(300), c.get());
  EXPECT_EQ(FindConnection(301), b.get());

  EXPECT_TRUE(UnregisterConnection(b.get()));
  EXPECT_EQ(b->next, nullptr);
  EXPECT_EQ(FindConnection(301), nullptr);
  EXPECT_EQ(FindConnection(300), c.get());
  // A record that is not in the table, or none at all: the table is left as it is.
  EXPECT_FALSE(UnregisterConnection(b.get()));
  EXPECT_FALSE(RegisterConnection(nullptr));
  EXPECT_FALSE(UnregisterConnection(nullptr));

  EXPECT_TRUE(UnregisterConnection(c.get()));
  EXPECT_EQ(FindConnection(300), a.get());
  EXPECT_TRUE(UnregisterConnection(a.get()));
  EXPECT_EQ(FindConnection(300), nullptr);
}
