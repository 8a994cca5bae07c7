// Tests of the terminal filter: controls are shown, never acted on; everything else passes.
#include "console/terminal_filter.h"

#include <gtest/gtest.h>

TEST(TerminalFilter, ControlsAreShownAndEverythingElsePasses) {
  const struct {
    Text in;
    Text shown;
  } cases[] = {{"\x1b[2J", "^[[2J"},
               {"\x1b\x1b", "^[^["},
               // A peer's backspaces must not rub out the " + " in front of its line.
               {"\b\b\bError connecting", "^H^H^HError connecting"},
               {Text("\0\a\r\n\x1f\x7f", 6), "^@^G^M^J^_^?"},
               {"a\tb", "a\tb"},
               // C1 controls: as UTF-8, and as raw bytes outside any valid sequence.
               {"a\xc2\x9b"
                "31mb",
                "a^[[31mb"},
               {"\xc2\x80\xc2\x9f", "^[@^[_"},
               {"\x9b\x80\x9f", "^[[^[@^[_"},
               {"\xe2\x9b", "\xe2^[["},          // a cut-off sequence: its bytes one by one
               {"\xe0\x80\x9b", "\xe0^[@^[["},   // an overlong form is no valid sequence
               {"\xed\xa0\x80", "\xed\xa0^[@"},  // nor is a surrogate
               // Valid UTF-8 passes whole, continuation bytes 80 to 9F included.
               {"\xe2\x80\xa6 \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0",
                "\xe2\x80\xa6 \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0"},
               {"\xff\xc2", "\xff\xc2"},
               {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(FilterForTerminal(c.in), c.shown) << c.in;
}
