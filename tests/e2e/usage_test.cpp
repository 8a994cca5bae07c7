// End-to-end: what the command line alone decides (usage text, or a target to probe).
#include <gtest/gtest.h>

#include "e2e_helpers.h"

namespace {

TEST(Usage, NoArgumentQuestionMarkOrOnlySpacesPrintTheUsageText) {
  std::vector<std::vector<std::string>> cases = {{}, {"?"}};
  // Wine quotes an argument holding spaces, so the program would see the quotes.
  if (!UnderRunner()) {
    cases.push_back({"   "});
    cases.push_back({"", "?", " "});
  }
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::Message() << "arguments: " << args.size() << " \""
                                      << (args.empty() ? "" : Printable(args[0])) << "\"");
    const RunResult r = RunKnockbox(args);
    ASSERT_TRUE(r.exited) << r.Describe();
    EXPECT_EQ(r.exit_code, 0) << r.Describe();
    EXPECT_EQ(r.out, UsageOutput()) << r.Describe();
    if (!UnderRunner()) {
      EXPECT_EQ(r.err, "") << r.Describe();
    }
  }
}

TEST(Usage, TabOrQuestionMarkWithMoreTextIsProbedAsAHost) {
  for (const std::string arg : {"\t", "?x"}) {
    SCOPED_TRACE("argument \"" + Printable(arg) + "\"");
    const RunResult r = RunKnockbox({arg});
    ASSERT_TRUE(r.exited) << r.Describe();
    EXPECT_EQ(r.exit_code, 10) << r.Describe();
    const std::string host = AsReceived(arg);
    EXPECT_EQ(MaskClock(r.out), Lines({kBanner}) + Announcement(host, 23) + FailureLines(host, 57))
        << r.Describe();
  }
}

}  // namespace
