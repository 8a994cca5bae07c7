// Tests of search, substrings, fields and replacement with the arguments the program passes: the
// command text split at its first space, the target at its first colon.
#include "text/fields.h"

#include <gtest/gtest.h>

TEST(Fields, TheCommandTextSplitsAtSpacesAndTheTargetAtItsFirstColon) {
  EXPECT_EQ(FindText(1, "10.0.0.1:80 5", " "), 12);
  EXPECT_EQ(FindText(1, "server:80", ":"), 7);
  EXPECT_EQ(FindText(1, "a:b:80", ":"), 2);
  EXPECT_EQ(FindText(1, "server", ":"), 0);
  EXPECT_EQ(FindText(1, "", ":"), 0);
  EXPECT_EQ(FindText(1, Text("a\0:", 3), ":"), 3);
  EXPECT_EQ(MidText("server:80", 8, 2147483647), "80");
  EXPECT_EQ(MidText("server:", 8, 2147483647), "");
  EXPECT_EQ(MidText("server:80", 1, 6), "server");
  EXPECT_EQ(MidText(":80", 1, 0), "");
  EXPECT_EQ(FieldText("127.0.0.1:80 5", " ", 1), "127.0.0.1:80");
  EXPECT_EQ(FieldText("127.0.0.1:80 5", " ", 2), "5");
  EXPECT_EQ(FieldText("127.0.0.1:80 5 x", " ", 2), "5");
  EXPECT_EQ(FieldText("127.0.0.1:80  5", " ", 2), "");
  EXPECT_EQ(FieldText("a", " ", 2), "");
  EXPECT_EQ(FieldText(" a", " ", 1), "");
}

// One left-to-right pass whose replacements are not looked at again: k spaces become k/2 rounded
// up.
TEST(Fields, DoubleSpacesCollapseInOnePass) {
  EXPECT_EQ(ReplaceText("a  b", "  ", " "), "a b");
  EXPECT_EQ(ReplaceText("a   b", "  ", " "), "a  b");
  EXPECT_EQ(ReplaceText("a     b  ", "  ", " "), "a   b ");
  EXPECT_EQ(ReplaceText(" ", "  ", " "), " ");
  EXPECT_EQ(ReplaceText(Text("a\0  b", 5), "  ", " "), Text("a\0 b", 4));
}
