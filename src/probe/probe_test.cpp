// Tests of the target split.
#include "probe/probe.h"

#include <gtest/gtest.h>

#include "text/number.h"

// The port is the number after the first colon (in "[ADDR]:PORT" the one after the brackets),
// rounded half to even to a 64-bit integer (the most negative one when out of range), cut to its
// low 32 bits; 23 without a colon. (The fuzz
// target checks the host, and the rounding of the loop time to 32 bits.)
TEST(ProbeTarget, ThePortIsTheLow32BitsOfTheNumberAfterTheFirstColon) {
  SetNumberEnvironment();
  // clang-format off
  const std::pair<const char*, std::int32_t> cases[] = {
      {"server", 23}, {"server:", 0}, {"a:b:80", 0}, {"server:8080x", 8080}, {"server:&H50", 80},
      {"server:79.6", 80}, {"server:2.5", 2}, {"server:-2.5", -2}, {"server:70000", 70000},
      {"server:-1", -1}, {"server:4294967319", 23}, {"server:9223372036854775808", -8},
      {"server:&H8000000000000000", 0}, {"server:9.3e18", 0}, {"server:1e30", 0},
      {"[::1]:8080", 8080}, {"[::1]", 23}, {"[::1]x80", 0}};
  // clang-format on
  for (const auto& [target, port] : cases) EXPECT_EQ(SplitTarget(target).port, port) << target;
}
