// End-to-end: the probe cycle with a loop time, ended by a failed probe.
#include <gtest/gtest.h>

#include <chrono>

#include "e2e_helpers.h"

namespace {

using std::chrono::milliseconds;

TEST(ProbeCycle, RepeatsEverySecondUntilTheListenerStops) {
  Recorder recorder;
  LoopbackServer server(recorder.Handler());
  ASSERT_TRUE(server.Listening());
  const std::string pause = "Pausing for 1 seconds. Press the Escape key to abort.";
  ProgramRun run(KnockboxOptions({"127.0.0.1:" + std::to_string(server.Port()), "1"},
                                 std::chrono::seconds(10)));
  // The third probe starts a second after the second pause line: time enough to stop.
  const bool two_pauses = run.WaitForOutput(pause, TimeLimit(milliseconds(5000)), 2);
  server.StopListening();
  const RunResult r = run.Finish();
  ASSERT_TRUE(two_pauses) << r.Describe();
  EXPECT_TRUE(ExitedWith(r, 10));
  const std::string announcement = Announcement("127.0.0.1", server.Port());
  const std::string success = SuccessLines() + Lines({pause}) + announcement;
  EXPECT_EQ(MaskClock(r.out), ProbeOutput("127.0.0.1", server.Port(),
                                          success + success + FailureLines("127.0.0.1", 57)))
      << r.Describe();

  ASSERT_TRUE(server.WaitForServed(2, 5000));
  ASSERT_EQ(recorder.Received(), std::vector<std::string>(2, kByeLine));
  const std::vector<std::chrono::steady_clock::time_point> starts = recorder.StartTimes();
  const auto gap = std::chrono::duration_cast<milliseconds>(starts[1] - starts[0]).count();
  EXPECT_GE(gap, 950) << "the pause lasts one second";
  EXPECT_LE(gap, UnderRunner() ? 4000 : 2000);
}

}  // namespace
