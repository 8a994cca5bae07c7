// The busy-wait lock of the process-wide tables: a word taken by swapping in all ones.
#pragma once

#include <atomic>
#include <cstdint>

// Spins until the word's old value was 0, leaving all ones in it. The program runs on one thread,
// so the spin never turns in practice; the lock keeps a table's links whole for a caller that
// shares it between threads.
inline void TakeBusyLock(std::atomic<std::uint32_t>& word) {
  while (word.exchange(0xFFFFFFFFu, std::memory_order_acquire) != 0) {
  }
}

inline void ReleaseBusyLock(std::atomic<std::uint32_t>& word) {
  word.store(0, std::memory_order_release);
}

// Holds the lock for its own lifetime.
class BusyLock {
 public:
  explicit BusyLock(std::atomic<std::uint32_t>& word) : word_(word) { TakeBusyLock(word_); }
  ~BusyLock() { ReleaseBusyLock(word_); }
  BusyLock(const BusyLock&) = delete;
  BusyLock& operator=(const BusyLock&) = delete;

 private:
  std::atomic<std::uint32_t>& word_;
};
