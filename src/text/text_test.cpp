// Tests of error-number scopes and of what a failed allocation does to a text operation.
#include "text/text.h"

#include <gtest/gtest.h>

TEST(ErrorScope, TheInnermostScopeOwnsTheNumberAndSuccessNeverResetsIt) {
  ErrorScope outer;
  RaiseError(57);
  {
    ErrorScope inner;
    EXPECT_EQ(LastError(), 0);
    RaiseError(24);
    RaiseError(75);
    EXPECT_EQ(LastError(), 75);
  }
  EXPECT_EQ(ConcatText(Text("a"), Text("b")), "ab");
  EXPECT_EQ(LastError(), 57);
  EXPECT_EQ(GuardedText([]() -> Text { throw std::bad_alloc(); }), "");
  EXPECT_EQ(LastError(), kErrNoMemory);
}
