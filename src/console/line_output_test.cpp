// Tests of what the program's runs cannot show on every platform (the end-to-end allocation
// failures need glibc): the error number of an unusable handle, and a line without memory.
#include "console/line_output.h"

#include <gtest/gtest.h>

#include "failing_allocation.h"
#include "system/process_state.h"

TEST(LineOutput, AnUnusableHandleGives51) {
  Process().std_output = kNoHandle;
  ErrorScope scope;
  PrintLine("x");
  EXPECT_EQ(LastError(), kErrBadHandle);
}

// Line output must never throw, not even when memory runs out (a line that threw would fail the
// test as it escapes). (Text operations without memory: the end-to-end allocation sweep.)
TEST(LineOutput, ALineNeedsNoMemory) {
  Process().std_output = kNoHandle;
  const Text line(100, 'x');
  g_fail_allocations = true;
  PrintLine(line);
  g_fail_allocations = false;
}
