// Tests of what the program's runs cannot show, or cannot show on every platform (the end-to-end
// allocation failures need glibc): the error number of an unusable handle, and what lines and
// text operations do without memory.
#include "console/line_output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <new>

#include "probe/probe.h"
#include "system/process_state.h"
#include "text/fields.h"
#include "text/number.h"

// Every allocation of this test program fails while this is set. Like the runtime's own
// operator new, a failure first calls the new handler.
namespace {
bool g_fail_allocations = false;
}  // namespace

void* operator new(std::size_t size) {
  for (;;) {
    if (!g_fail_allocations) {
      if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
    }
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

// Line output must never throw, not even when memory runs out; a text operation without memory
// gives empty text and error 7. Each routine's error number is its own.
// (A line or a text that threw would fail the test as it escapes.)
TEST(LineOutput, AnUnusableHandleGives51AndALineNeedsNoMemory) {
  Process().std_output = kNoHandle;
  ErrorScope scope;
  const Text line(100, 'x');
  g_fail_allocations = true;
  PrintLine(line);
  ErrorNumber text_error = 0;
  {
    ErrorScope inner;
    text_error = ConcatText(line, line).empty() ? LastError() : 0;
  }
  g_fail_allocations = false;
  EXPECT_EQ(text_error, kErrNoMemory);
  EXPECT_EQ(LastError(), kErrBadHandle);
}

// Without memory the fixed lines still print and the searches still find, since literals never
// become texts; each text longer than a string's inline room comes back empty, with error 7 but
// for the number text, which leaves the error number alone. Nothing throws, again and again, and
// once memory is back every text is made as before.
TEST(LineOutput, WithoutMemoryTextsComeBackEmptyAndNothingThrows) {
  SetNumberEnvironment();
  Process().std_output = kNoHandle;
  const Text host = "a-host-name-beyond-the-inline-room";
  const Text target = host + ":0000000080";
  for (int round = 0; round < 3; ++round) {
    ErrorScope scope;
    g_fail_allocations = true;
    PrintLine("Connection established without errors.");
    const bool found = FindText(1, target, ":") == 35 && TextEquals(host, host.c_str());
    const ProbeTarget split = SplitTarget(target);
    const ProbeTarget whole = SplitTarget(host);
    const ErrorNumber text_error = LastError();
    ErrorNumber number_error = 0;
    Text number;
    {
      ErrorScope inner;
      number = NumberToText(std::numeric_limits<Number>::infinity());
      number_error = LastError();
    }
    const Text pieces = ConcatText(FieldText(target, ":", 1), MidText(target, 1, 40));
    g_fail_allocations = false;
    EXPECT_TRUE(found);
    EXPECT_EQ(split.host, "");
    EXPECT_EQ(split.port, 80);  // the port's text fits the inline room
    EXPECT_EQ(whole.host, "");
    EXPECT_EQ(text_error, kErrNoMemory);
    EXPECT_EQ(number, "");
    EXPECT_EQ(number_error, 0);
    EXPECT_EQ(pieces, "");
    EXPECT_EQ(SplitTarget(target).host, host);
    EXPECT_EQ(NumberToText(std::numeric_limits<Number>::infinity()), "9.99999999999999E+998");
  }
}
