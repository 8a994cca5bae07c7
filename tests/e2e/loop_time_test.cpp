// End-to-end: the loop time after the target, rejected before any probe or accepted.
#include <gtest/gtest.h>

#include "e2e_helpers.h"

namespace {

TEST(LoopTime, OutOfRangeOrNotANumberIsRejectedWithoutAProbe) {
  Recorder recorder;
  LoopbackServer server(recorder.Handler());
  ASSERT_TRUE(server.Listening());
  const std::string target = "127.0.0.1:" + std::to_string(server.Port());
  // 0.4 and 0.5 round to 0 (ties to even); &HFFFE is a 16-bit -2; three spaces collapse to
  // two, leaving an empty second field. Under Wine that last argument arrives in quotes,
  // which changes the target but not the empty second field.
  const std::vector<std::vector<std::string>> cases = {
      {target, "0"},   {target, "65535"}, {target, "-3"},     {target, "abc"},
      {target, "0.4"}, {target, "0.5"},   {target, "&HFFFE"}, {target + "   5"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE("loop time argument \"" + Printable(args.back()) + "\"");
    ExpectRun(args, 0, Lines({kBanner, kInvalidLoopTime}));
  }
  EXPECT_EQ(server.Accepted(), 0) << "a rejected loop time must not lead to a probe";
}

// An accepted loop time starts the cycle; against a refused port the first probe ends it
// at once with the failure, which tells an accepted loop time from a rejected one.
TEST(LoopTime, InRangeValuesStartTheProbeCycle) {
  const std::string port = std::to_string(RefusedLoopbackPort());
  const std::string target = "127.0.0.1:" + port;
  const std::vector<std::vector<std::string>> cases = {
      {target, "65534"},   {target, "1.5"},        {target, "65534.5"},
      {target, "&HFFFE&"}, {target, "5", "extra"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE("loop time arguments after the target: " + std::to_string(args.size() - 1) +
                 ", first \"" + args[1] + "\"");
    ExpectRun(args, 10, ProbeOutput("127.0.0.1", std::stoll(port), FailureLines("127.0.0.1", 57)));
  }
}

}  // namespace
