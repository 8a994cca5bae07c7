// Tests of reading number text. (Rounding: the target split's test and the fuzz target; writing:
// the fuzz target's round trip and every run's port.)
#include "text/number.h"

#include <gtest/gtest.h>

#include <utility>

// Decimal text up to the first byte that cannot continue it, with eighteen digits at most and the
// exponent saturated; radix text with the width its digits and suffix give.
TEST(NumberConversion, ReadsDecimalAndRadixTextUpToTheFirstByteThatCannotContinue) {
  // The program's floating-point mode: 32-bit Windows (and Wine) would otherwise round long
  // double results to 53 bits.
  SetNumberEnvironment();
  // clang-format off
  const std::pair<Text, Number> cases[] = {
      {"23", 23}, {"   42", 42}, {"\t7", 7}, {"\n7", 7}, {"\r5", 0}, {"", 0}, {"abc", 0},
      {"8080x", 8080}, {"1 000", 1}, {"+5", 5}, {"-5", -5}, {"+-5", 0}, {"- 5", 0}, {"1.5", 1.5},
      {".5", 0.5}, {"0.05", 0.05L}, {"1.2.3", 1.2L}, {"1e3", 1000}, {"1D3", 1000}, {"e5", 0},
      {"2.5E-1", 0.25}, {"1e", 1}, {"1e+", 1}, {".", 0}, {"-0.000e7", 0}, {"007.50", 7.5},
      {"0.001d+2", 0.1L}, {"12345678901234567890", 12345678901234567800.0L},
      {"1234567890123456789.9", 1234567890123456780.0L}, {".000000000000001", 1.0L / 1e15L},
      {"0.00123456789012345678e30", 1234567890123456780000000000.0L}, {"1e5000", 0x1p127L},
      {"-1e5000", -0x1p127L}, {"1e99999999", 0x1p127L}, {"1e4932", 0x1p127L},
      {"-.1e4933", -0x1p127L}, {"1e-5000", 0}, {"0.0001e-4930", 0},
      {"&H50", 80}, {"&h50", 80}, {"&O17", 15}, {"&Q17", 15}, {"&17", 15}, {"&18", 1},
      {"&B101", 5}, {"  &HfF", 255}, {"&", 0}, {"&H", 0}, {"&HG", 0}, {"-&H10", 0}, {"&H-1", 0},
      {"&HFFFE", -2}, {"&HFFFF%", -1}, {"&H0FFFE", 65534}, {"&HFFFE&", 65534}, {"&HFFFF?", 65535},
      {"&H8000", -32768}, {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"&HFFFFFFFF&", -1},
      {"&HFFFFFFFF&&", 4294967295.0L}, {"&H0FFFFFFFF", 4294967295.0L}, {"&HFFFFFFFFFFFFFFFF", -1},
      {"&H7FFFFFFFFFFFFFFF???", 9223372036854775807.0L}, {"&H8000000000000000?", 0},
      {"&H10000000000000017", 0}, {"&H00000000000000000001", 1},
      {"&O1777777777777777777777", -1}, {"&O2000000000000000000000", 0}};
  // clang-format on
  for (const auto& [text, value] : cases)
    EXPECT_EQ(TextToNumber(text), value) << '"' << text << '"';
  // Powers beyond 10^4096 are built in steps too.
  EXPECT_GT(TextToNumber("1e4900"), 1e4899L);
}
