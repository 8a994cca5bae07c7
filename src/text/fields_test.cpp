// Tests of search, substrings, fields and replacement as the command text and the target use them.
#include "text/fields.h"

#include <gtest/gtest.h>

TEST(Fields, FindTextReturnsOneBasedPositionOrZero) {
  EXPECT_EQ(FindText(1, "server:80", ":"), 7);
  EXPECT_EQ(FindText(1, "server", ":"), 0);
  EXPECT_EQ(FindText(1, "a:b:80", ":"), 2);
  EXPECT_EQ(FindText(3, "a:b:80", ":"), 4);
  EXPECT_EQ(FindText(0, "abc", "a"), 0);
  EXPECT_EQ(FindText(4, "abc", ""), 0);    // start beyond the last byte
  EXPECT_EQ(FindText(2, "abc", ""), 2);    // empty pattern: the start itself
  EXPECT_EQ(FindText(1, "aab", "ab"), 2);  // resumes one byte after a failed candidate
  EXPECT_EQ(FindText(1, "ab", "abc"), 0);  // an occurrence must lie wholly inside the text
  EXPECT_EQ(FindText(1, Text("a\0b", 3), Text("\0", 1)), 2);
}

TEST(Fields, MidTextCutsWithinTheText) {
  EXPECT_EQ(MidText("server:80", 8, 2147483647), "80");
  EXPECT_EQ(MidText("server:", 8, 2147483647), "");
  EXPECT_EQ(MidText("server", 4, 100), "ver");
}

TEST(Fields, FieldTextSplitsAtTheWholeDelimiter) {
  EXPECT_EQ(FieldText("127.0.0.1:80 5", " ", 2), "5");
  EXPECT_EQ(FieldText("127.0.0.1:80  5", " ", 2), "");
  EXPECT_EQ(FieldText("127.0.0.1:80  5", " ", 3), "5");
  EXPECT_EQ(FieldText(" a", " ", 1), "");
  EXPECT_EQ(FieldText("a ", " ", 2), "");
  EXPECT_EQ(FieldText("a::b:c", "::", 2), "b:c");
  EXPECT_EQ(FieldText("\"a b\",c", " ", 1), "\"a");  // quotes mean nothing
}

TEST(ReplaceText, CollapsesDoubleSpacesInOnePass) {
  EXPECT_EQ(ReplaceText("a  b", "  ", " "), "a b");
  EXPECT_EQ(ReplaceText("a   b", "  ", " "), "a  b");
  EXPECT_EQ(ReplaceText("a     b", "  ", " "), "a   b");
  EXPECT_EQ(ReplaceText("a  b", "", " "), "a  b");
  EXPECT_EQ(ReplaceText(" ", "  ", " "), " ");
  EXPECT_EQ(ReplaceText("xax", "x", "yy"), "yyayy");
  EXPECT_EQ(ReplaceText(Text("a\0b", 3), Text("\0", 1), "-"), "a-b");
}
