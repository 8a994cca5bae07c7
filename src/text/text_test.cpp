// Tests of Text's elementary operations and of error-number scopes.
#include "text/text.h"

#include <gtest/gtest.h>

TEST(Text, BytesAreCountedAndComparedExactly) {
  const Text with_nul = TextFromCodes({97, 0, 255});
  EXPECT_EQ(TextLength(with_nul), 3);
  EXPECT_TRUE(TextEquals(with_nul, Text("a\0\xff", 3)));
  EXPECT_FALSE(TextEquals(with_nul, Text("a\0\xfe", 3)));
  EXPECT_FALSE(TextEquals(Text("A"), Text("a")));
  EXPECT_TRUE(TextEquals(Text(), Text()));
  EXPECT_EQ(LineEnd(), Text("\r\n"));
  EXPECT_EQ(ConcatText(Text("port "), "80", Text(")")), "port 80)");
}

TEST(ErrorScope, InnermostScopeOwnsTheNumberAndSuccessNeverResetsIt) {
  ErrorScope outer;
  RaiseError(57);
  {
    ErrorScope inner;
    EXPECT_EQ(LastError(), 0);
    RaiseError(24);
    RaiseError(75);
    EXPECT_EQ(LastError(), 75);
  }
  EXPECT_EQ(LastError(), 57);
  EXPECT_EQ(ConcatText(Text("a"), Text("b")), "ab");
  EXPECT_EQ(LastError(), 57);
}

TEST(ErrorScope, AllocationFailureGivesEmptyTextAndError7) {
  ErrorScope scope;
  const Text result = GuardedText([]() -> Text { throw std::bad_alloc(); });
  EXPECT_TRUE(result.empty());
  EXPECT_EQ(LastError(), 7);
}
