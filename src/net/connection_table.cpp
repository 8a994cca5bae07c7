// The connection table: a process-wide list of open connections, newest first, and its number
// counter.
#include "net/connection_table.h"

#include <atomic>
#include <bitset>

#include "system/busy_lock.h"
#include "text/error.h"

namespace {

// What the locks guarantee: each call below sees and leaves the list's links whole, and numbers
// are handed out one at a time. They do not guard a record after FindConnection has returned it: a
// caller that shares connections between threads must see to it that no thread closes a record
// another one is using. Taken in this order only: counter first, then table.
std::atomic<std::uint32_t> counter_lock{0};
std::atomic<std::uint32_t> table_lock{0};

ConnectionRecord* table_head = nullptr;
std::int16_t number_counter = 0;

ConnectionRecord* FindLocked(std::int16_t number) {
  for (ConnectionRecord* record = table_head; record != nullptr; record = record->next) {
    if (record->number == number) return record;
  }
  return nullptr;
}

}  // namespace

std::int16_t NextFreeNumber() {
  BusyLock counter_guard(counter_lock);
  // One walk of the table instead of one per candidate: with every number open a search per
  // candidate would cost a billion steps.
  std::bitset<kHighestConnectionNumber + 1> open;
  {
    BusyLock table_guard(table_lock);
    for (ConnectionRecord* record = table_head; record != nullptr; record = record->next) {
      if (record->number > 0) open.set(static_cast<std::size_t>(record->number));
    }
  }
  // The program holds one connection at a time and closes it before it asks again, so no number
  // it is handed is open and the table is never full: the skip and the error are for other callers.
  for (int step = 0; step < kHighestConnectionNumber; ++step) {
    number_counter = number_counter >= kHighestConnectionNumber
                         ? std::int16_t{1}
                         : static_cast<std::int16_t>(number_counter + 1);
    if (!open.test(static_cast<std::size_t>(number_counter))) return number_counter;
  }
  // A full turn of the counter found every number open.
  RaiseError(kErrNoMemory);
  return 0;
}

ConnectionRecord* FindConnection(std::int16_t number) {
  BusyLock guard(table_lock);
  return FindLocked(number);
}

bool RegisterConnection(ConnectionRecord* record) {
  if (record == nullptr) return false;
  BusyLock guard(table_lock);
  record->next = table_head;
  table_head = record;
  return true;
}

bool UnregisterConnection(ConnectionRecord* record) {
  if (record == nullptr) return false;
  BusyLock guard(table_lock);
  for (ConnectionRecord** link = &table_head; *link != nullptr; link = &(*link)->next) {
    if (*link == record) {
      *link = record->next;
      record->next = nullptr;
      return true;
    }
  }
  return false;
}
