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
    ExpectRun(args, 0, UsageOutput());
  }
}

TEST(Usage, TabOrQuestionMarkWithMoreTextIsProbedAsAHost) {
  for (const std::string arg : {"\t", "?x"}) {
    SCOPED_TRACE("argument \"" + Printable(arg) + "\"");
    const std::string host = AsReceived(arg);
    ExpectRun({arg}, 10, ProbeOutput(host, 23, FailureLines(host, 57)));
  }
}

}  // namespace
