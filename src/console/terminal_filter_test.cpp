// Tests of the terminal filter: controls are shown, never acted on; everything else passes.
#include "console/terminal_filter.h"

#include <gtest/gtest.h>

#include <string>

// A peer's backspaces must not rub out the " + " in front of its line. C1 controls are shown as
// UTF-8 and as raw bytes outside any valid sequence (a cut-off one, an overlong form, a
// surrogate: their bytes one by one); valid UTF-8 passes whole, continuation bytes 80 to 9F
// included. (Through a buffer that holds only the longest character: the fuzz target.)
TEST(TerminalFilter, ControlsAreShownAndEverythingElsePasses) {
  const std::string utf8 = "\xe2\x80\xa6 \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0";
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"\x1b[2J", "^[[2J"}, {"\x1b\x1b", "^[^["}, {"\b\b\bError", "^H^H^HError"},
      {std::string("\0\a\r\n\x1f\x7f", 6), "^@^G^M^J^_^?"}, {"a\tb", "a\tb"},
      {"a\xc2\x9b" "31m", "a^[[31m"},
      {"\xc2\x80\xc2\x9f", "^[@^[_"}, {"\x9b\x80\x9f", "^[[^[@^[_"}, {"\xe2\x9b", "\xe2^[["},
      {"\xe0\x80\x9b", "\xe0^[@^[["}, {"\xed\xa0\x80", "\xed\xa0^[@"}, {"\xff\xc2", "\xff\xc2"},
      {utf8, utf8}, {"", ""}};
  // clang-format on
  for (const auto& [in, shown] : cases) {
    char out[64];
    std::size_t count = 0;
    EXPECT_EQ(FilterForTerminal(in, out, sizeof out, &count), in.size());
    EXPECT_EQ(std::string(out, count), shown) << in;
  }
}
