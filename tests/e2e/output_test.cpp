// End-to-end: standard output in a file, a closed pipe or a terminal; the echo on stderr.
#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e_helpers.h"
#include "support/os_pipe.h"

namespace {

class Redirection : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Listening());
    target_ = "127.0.0.1:" + std::to_string(server_.Port());
    expected_ = ProbeOutput("127.0.0.1", server_.Port(), SuccessLines());
  }
  void TearDown() override { unlink(file_.c_str()); }
  // One probe with standard output and error where asked; a terminal is raw, so that it shows
  // exactly the program's bytes.
  RunOptions Options(OutputTo out, OutputTo err = OutputTo::kPipe) {
    RunOptions options = KnockboxOptions({target_});
    options.out = out;
    options.err = err;
    options.out_file = file_;
    options.raw_terminal = true;
    return options;
  }

  Recorder recorder_;
  LoopbackServer server_{recorder_.Handler()};
  std::string target_;
  std::string expected_;
  const std::string file_ = ::testing::TempDir() + "knockbox_e2e_out_" + std::to_string(getpid());
};

TEST_F(Redirection, FileHoldsTheSameBytesAsAPipeWithTheAnnouncementOnce) {
  const RunResult r = RunProgram(Options(OutputTo::kFile));
  EXPECT_TRUE(ExitedWith(r, 0));
  const std::string file = ReadOsFile(file_);
  EXPECT_EQ(MaskClock(file), expected_) << "file: " << Printable(file);
  if (!UnderRunner()) {
    EXPECT_EQ(r.err, "") << "standard error is no terminal, so nothing is echoed there";
  }
}

// A write that fails must neither change the probe's outcome nor leave the connection without
// its closing line.
TEST_F(Redirection, ClosedStandardOutputStillGivesTheExitCodeOfTheOutcome) {
  EXPECT_TRUE(ExitedWith(RunProgram(Options(OutputTo::kClosedPipe)), 0));
  ASSERT_TRUE(server_.WaitForServed(1, 5000));
  EXPECT_EQ(recorder_.Received(), std::vector<std::string>{kByeLine});

  RunOptions refused = KnockboxOptions({"127.0.0.1:" + std::to_string(RefusedLoopbackPort())});
  refused.out = OutputTo::kClosedPipe;
  EXPECT_TRUE(ExitedWith(RunProgram(refused), 10));
}

TEST_F(Redirection, AnnouncementIsEchoedOnStandardErrorWhenOnlyThatIsATerminal) {
  if (UnderRunner()) GTEST_SKIP() << "Wine gives a Windows program no POSIX terminal on stderr";
  const RunResult r = RunProgram(Options(OutputTo::kFile, OutputTo::kTerminal));
  EXPECT_TRUE(ExitedWith(r, 0));
  EXPECT_EQ(MaskClock(ReadOsFile(file_)), expected_);
  EXPECT_EQ(MaskClock(r.terminal), Announcement("127.0.0.1", server_.Port())) << r.Describe();
}

TEST_F(Redirection, TerminalOnStandardOutputShowsTheAnnouncementOnce) {
  if (UnderRunner()) GTEST_SKIP() << "Wine gives a Windows program no POSIX terminal";
  const RunResult r = RunProgram(Options(OutputTo::kTerminal, OutputTo::kTerminal));
  EXPECT_TRUE(ExitedWith(r, 0));
  EXPECT_EQ(MaskClock(r.terminal), expected_) << r.Describe();
}

}  // namespace
