// Tests of what the program's runs cannot show on every platform (the end-to-end allocation
// failures need glibc): the error number of an unusable handle, and a line without memory.
#include "console/line_output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "system/process_state.h"

// Every allocation of this test program fails while this is set.
namespace {
bool g_fail_allocations = false;
}  // namespace

void* operator new(std::size_t size) {
  void* memory = g_fail_allocations ? nullptr : std::malloc(size != 0 ? size : 1);
  return memory != nullptr ? memory : throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

// Line output must never throw, not even when memory runs out (a line that threw would fail the
// test as it escapes). (Text operations without memory: the end-to-end allocation sweep.)
TEST(LineOutput, AnUnusableHandleGives51AndALineNeedsNoMemory) {
  Process().std_output = kNoHandle;
  ErrorScope scope;
  const Text line(100, 'x');
  g_fail_allocations = true;
  PrintLine(line);
  g_fail_allocations = false;
  EXPECT_EQ(LastError(), kErrBadHandle);
}
