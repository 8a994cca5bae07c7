// End-to-end: standard output in a file, a closed pipe or a terminal; the echo on stderr.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "e2e_helpers.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class Redirection : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Listening());
    target_ = "127.0.0.1:" + std::to_string(server_.Port());
    expected_ = Lines({kBanner}) + Announcement("127.0.0.1", server_.Port()) + SuccessLines();
  }
  void TearDown() override {
    if (!file_.empty()) unlink(file_.c_str());
  }
  std::string TemporaryFile() {
    file_ = ::testing::TempDir() + "knockbox_e2e_out_" + std::to_string(getpid());
    return file_;
  }

  Recorder recorder_;
  LoopbackServer server_{recorder_.Handler()};
  std::string target_;
  std::string expected_;
  std::string file_;
};

TEST_F(Redirection, FileHoldsTheSameBytesAsAPipeWithTheAnnouncementOnce) {
  RunOptions options = KnockboxOptions({target_});
  options.out = OutputTo::kFile;
  options.out_file = TemporaryFile();
  const RunResult r = RunProgram(options);
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  const std::string file = ReadFile(options.out_file);
  EXPECT_EQ(MaskClock(file), expected_) << "file: " << Printable(file);
  if (!UnderRunner()) {
    EXPECT_EQ(r.err, "") << "standard error is no terminal, so nothing is echoed there";
  }
}

// A write that fails must neither change the probe's outcome nor leave the connection without
// its closing line.
TEST_F(Redirection, ClosedStandardOutputStillGivesTheExitCodeOfTheOutcome) {
  RunOptions open_port = KnockboxOptions({target_});
  open_port.out = OutputTo::kClosedPipe;
  RunResult r = RunProgram(open_port);
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  ASSERT_TRUE(server_.WaitForServed(1, 5000));
  ASSERT_EQ(recorder_.Received().size(), 1u);
  EXPECT_EQ(recorder_.Received()[0], kByeLine);

  RunOptions refused = KnockboxOptions({"127.0.0.1:" + std::to_string(RefusedLoopbackPort())});
  refused.out = OutputTo::kClosedPipe;
  r = RunProgram(refused);
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 10) << r.Describe();
}

TEST_F(Redirection, AnnouncementIsEchoedOnStandardErrorWhenOnlyThatIsATerminal) {
  if (UnderRunner()) GTEST_SKIP() << "Wine gives a Windows program no POSIX terminal on stderr";
  RunOptions options = KnockboxOptions({target_});
  options.out = OutputTo::kFile;
  options.out_file = TemporaryFile();
  options.err = OutputTo::kTerminal;
  options.raw_terminal = true;
  const RunResult r = RunProgram(options);
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  EXPECT_EQ(MaskClock(ReadFile(options.out_file)), expected_);
  EXPECT_EQ(MaskClock(r.terminal), Announcement("127.0.0.1", server_.Port())) << r.Describe();
}

TEST_F(Redirection, TerminalOnStandardOutputShowsTheAnnouncementOnce) {
  if (UnderRunner()) GTEST_SKIP() << "Wine gives a Windows program no POSIX terminal";
  RunOptions options = KnockboxOptions({target_});
  options.out = OutputTo::kTerminal;
  options.err = OutputTo::kTerminal;
  options.raw_terminal = true;
  const RunResult r = RunProgram(options);
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  EXPECT_EQ(MaskClock(r.terminal), expected_) << r.Describe();
}

}  // namespace
