// Tests of the terminal filter: escapes are shown, never acted on; everything else passes.
#include "console/terminal_filter.h"

#include <gtest/gtest.h>

TEST(TerminalFilter, EscapesAndC1ControlsAreMadeVisible) {
  EXPECT_EQ(FilterForTerminal("\x1b[2J"), "^[[2J");
  EXPECT_EQ(FilterForTerminal("a\xc2\x9b"
                              "31mb"),
            "a^[[31mb");  // UTF-8 CSI
  EXPECT_EQ(FilterForTerminal("\xc2\x80\xc2\x9f"), "^[@^[_");
  EXPECT_EQ(FilterForTerminal("\x1b"), "^[");
  EXPECT_EQ(FilterForTerminal("\x1b\x1b"), "^[^[");
}

TEST(TerminalFilter, OtherBytesPassUnchanged) {
  const Text plain("ok\r\n\b\t\a\0\xff\xc2\xa0\xc2", 13);  // NUL, 255, NBSP, a lone C2 at the end
  EXPECT_EQ(FilterForTerminal(plain), plain);
  EXPECT_EQ(FilterForTerminal(""), "");
}
