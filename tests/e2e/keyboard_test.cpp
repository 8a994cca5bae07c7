// End-to-end: keys typed on the program's terminal, and its terminal settings on every way out.
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>

#include <chrono>

#include "e2e_helpers.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr char kPause[] = "Pausing for 10 seconds. Press the Escape key to abort.";

class Keyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    if (UnderRunner()) GTEST_SKIP() << "Wine gives a Windows program no POSIX terminal";
    ASSERT_TRUE(server_.Listening());
    target_ = "127.0.0.1:" + std::to_string(server_.Port());
  }

  // A run with a loop time of 10 whose keyboard is the terminal; standard output stays a pipe
  // so that it can be compared byte for byte.
  RunOptions Options(InputFrom in = InputFrom::kTerminal) {
    RunOptions options = KnockboxOptions({target_, "10"}, std::chrono::seconds(15));
    options.controlling_terminal = true;
    options.in = in;
    options.err = OutputTo::kTerminal;
    return options;
  }

  // Waits for the first pause line; the run's output so far is checked when it ends.
  static void AwaitPause(ProgramRun& run) {
    ASSERT_TRUE(run.WaitForOutput(kPause, milliseconds(5000))) << run.Finish().Describe();
  }

  // After Escape: exit code 1, nothing written after the pause line, the terminal as before.
  void ExpectEscaped(const RunResult& r) {
    EXPECT_TRUE(ExitedWith(r, 1));
    EXPECT_EQ(MaskClock(r.out),
              ProbeOutput("127.0.0.1", server_.Port(), SuccessLines() + Lines({kPause})))
        << r.Describe();
    ExpectSettingsRestored(r);
  }

  // Checks, while the program pauses, that its terminal reads key by key without echo.
  static void ExpectKeyByKey(ProgramRun& run, bool interrupt_key_off) {
    termios now;
    ASSERT_TRUE(run.Terminal()->Settings(&now));
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO), 0u) << DescribeSettings(now);
    EXPECT_EQ(now.c_cc[VINTR] == _POSIX_VDISABLE, interrupt_key_off) << DescribeSettings(now);
  }

  static void ExpectSettingsRestored(const RunResult& r) {
    ASSERT_TRUE(r.has_terminal);
    EXPECT_TRUE(SameSettings(r.terminal_before, r.terminal_after))
        << "before: " << DescribeSettings(r.terminal_before)
        << "\nafter:  " << DescribeSettings(r.terminal_after);
  }

  Recorder recorder_;
  LoopbackServer server_{recorder_.Handler()};
  std::string target_;
};

TEST_F(Keyboard, EscapeDuringThePauseEndsTheRunWithinASecond) {
  ProgramRun run(Options());
  ASSERT_NO_FATAL_FAILURE(AwaitPause(run));
  ExpectKeyByKey(run, true);
  ASSERT_TRUE(run.SendToTerminal("\x1b"));
  const Clock::time_point sent = Clock::now();
  const bool ended = run.WaitForExit(milliseconds(3000));
  const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - sent).count();
  const RunResult r = run.Finish();
  ASSERT_TRUE(ended) << r.Describe();
  EXPECT_LE(took, 1300) << "Escape is read at the end of the current one-second sleep";
  ExpectEscaped(r);
  // Standard output is a pipe and standard error the terminal: the echo shows there.
  EXPECT_EQ(Count(r.terminal, "Opening connection to 127.0.0.1"), 1) << r.Describe();
}

// Each poll takes one key: the arrow key (one escape sequence), the letter and Ctrl+C are read
// in the first three seconds and ignored; the Escape typed after them ends the run.
TEST_F(Keyboard, ArrowKeyLetterAndCtrlCDoNotEndThePause) {
  ProgramRun run(Options());
  ASSERT_NO_FATAL_FAILURE(AwaitPause(run));
  ASSERT_TRUE(run.SendToTerminal("\x1b[Ax\x03"));
  ASSERT_FALSE(run.WaitForExit(milliseconds(3400))) << run.Finish().Describe();
  ASSERT_TRUE(run.SendToTerminal("\x1b"));
  const bool ended = run.WaitForExit(milliseconds(3000));
  const RunResult r = run.Finish();
  ASSERT_TRUE(ended) << r.Describe();
  ExpectEscaped(r);
}

TEST_F(Keyboard, TerminalSettingsAreRestoredOnEveryWayOut) {
  {
    SCOPED_TRACE("single probe, everything on the terminal");
    RunOptions options = KnockboxOptions({target_});
    options.controlling_terminal = true;
    options.in = InputFrom::kTerminal;
    options.out = OutputTo::kTerminal;
    options.err = OutputTo::kTerminal;
    const RunResult r = RunProgram(options);
    EXPECT_TRUE(ExitedWith(r, 0));
    EXPECT_EQ(Count(r.terminal, "Opening connection to 127.0.0.1"), 1) << r.Describe();
    ExpectSettingsRestored(r);
  }
  // With standard input redirected, the program leaves the interrupt key on, so Ctrl+C keeps
  // its usual effect.
  struct Case {
    const char* what;
    InputFrom in;
    int signal_number;
    const char* typed;  // null: the signal is sent
  };
  for (const Case& c : {Case{"SIGTERM during the pause", InputFrom::kTerminal, SIGTERM, nullptr},
                        Case{"SIGHUP during the pause", InputFrom::kTerminal, SIGHUP, nullptr},
                        Case{"Ctrl+C typed while standard input is redirected", InputFrom::kNull,
                             SIGINT, "\x03"}}) {
    SCOPED_TRACE(c.what);
    ProgramRun run(Options(c.in));
    ASSERT_NO_FATAL_FAILURE(AwaitPause(run));
    ExpectKeyByKey(run, c.in == InputFrom::kTerminal);
    if (c.typed != nullptr) {
      ASSERT_TRUE(run.SendToTerminal(c.typed));
    } else {
      run.Signal(c.signal_number);
    }
    const RunResult r = run.Finish();
    EXPECT_TRUE(!r.timed_out && !r.exited && r.signal == c.signal_number)
        << "the signal still ends the process\n"
        << r.Describe();
    ExpectSettingsRestored(r);
  }
}

}  // namespace
