// End-to-end: the Telnet port 23: option request, the server's lines, the end of the loop.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "e2e_helpers.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr char kBarePlus[] = " + \r\n";
constexpr char kNoPort23[] = "cannot bind 127.0.0.1:23 (in use, or not allowed)";

// Every test here binds 127.0.0.1:23 itself; the tests run one after another.
class TelnetPort : public ::testing::Test {
 protected:
  // Starts the server on port 23; false when that port cannot be had.
  bool Listen(Recorder::Script script) {
    server_ = std::make_unique<LoopbackServer>(recorder_.Handler(std::move(script)), 23);
    return server_->Listening();
  }
  // The received bytes of the one connection the probe made.
  std::string Received() {
    EXPECT_TRUE(server_->WaitForServed(1, 10000));
    const std::vector<std::string> received = recorder_.Received();
    EXPECT_EQ(received.size(), 1u);
    return received.empty() ? std::string() : received[0];
  }

  Recorder recorder_;
  // Written by a server script; kept here so that it outlives the server's thread.
  Clock::time_point request_seen_;
  std::unique_ptr<LoopbackServer> server_;
};

// What follows "Negotiating connection" in the output, with the bare " + " lines that stand
// right after it taken out and counted (a receive that found nothing yet prints one).
std::string AfterNegotiating(const std::string& out, int* bare_lines) {
  const std::string marker = std::string(kNegotiating) + "\r\n";
  std::size_t at = out.find(marker);
  *bare_lines = 0;
  if (at == std::string::npos) return "(no \"" + std::string(kNegotiating) + "\" line)";
  at += marker.size();
  const std::string_view bare = kBarePlus;
  while (out.compare(at, bare.size(), bare) == 0) {
    ++*bare_lines;
    at += bare.size();
  }
  return out.substr(at);
}

std::string Head(long long port_announced) {
  return Lines({kBanner}) + Announcement("127.0.0.1", port_announced) + Lines({kNegotiating});
}

TEST_F(TelnetPort, OptionRequestComesFirstAndByeLast) {
  const auto server_script = [](ServerPeer& peer, std::string& received) {
    received = peer.ReceiveAtLeast(6, 5000);
    peer.Send("Welcome\r\n");
  };
  if (!Listen(server_script)) GTEST_SKIP() << kNoPort23;
  const RunResult r = RunKnockbox({"127.0.0.1"});
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  const std::string out = MaskClock(r.out);
  EXPECT_EQ(out.substr(0, Head(23).size()), Head(23)) << r.Describe();
  int bare = 0;
  EXPECT_EQ(AfterNegotiating(out, &bare), Lines({" + Welcome"}) + SuccessLines()) << r.Describe();
  EXPECT_LE(bare, 3) << "the server answers the request at once";
  const std::string received = Received();
  EXPECT_EQ(received, std::string(kOptionRequest) + kByeLine) << Printable(received);
}

// A greeting with Telnet commands, an empty line and a prompt without a line end: every line
// is shown with the command bytes as they came, the prompt last.
TEST_F(TelnetPort, GreetingLinesAndPromptAreShownAsTheyCame) {
  const auto server_script = [](ServerPeer& peer, std::string&) {
    peer.Send("\xFF\xFB\x01\xFF\xFB\x03Welcome to e2e\r\n\r\nlogin: ");
  };
  if (!Listen(server_script)) GTEST_SKIP() << kNoPort23;
  const RunResult r = RunKnockbox({"127.0.0.1:23"});
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  const std::string out = MaskClock(r.out);
  EXPECT_EQ(out.substr(0, Head(23).size()), Head(23)) << r.Describe();
  int bare = 0;
  EXPECT_EQ(
      AfterNegotiating(out, &bare),
      Lines({" + \xFF\xFB\x01\xFF\xFB\x03Welcome to e2e", " + ", " + login: "}) + SuccessLines())
      << r.Describe();
  EXPECT_LE(bare, 3) << "the greeting was sent at once";
  const std::string received = Received();
  EXPECT_EQ(received, std::string(kOptionRequest) + kByeLine) << Printable(received);
}

TEST_F(TelnetPort, DelayedAnswerComesAfterBarePlusLines) {
  const auto server_script = [](ServerPeer& peer, std::string& received) {
    received = peer.ReceiveAtLeast(6, 5000);
    std::this_thread::sleep_for(milliseconds(600));
    peer.Send("Hello\r\n");
  };
  if (!Listen(server_script)) GTEST_SKIP() << kNoPort23;
  const RunResult r = RunKnockbox({"127.0.0.1"});
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  int bare = 0;
  EXPECT_EQ(AfterNegotiating(MaskClock(r.out), &bare), Lines({" + Hello"}) + SuccessLines())
      << r.Describe();
  // About one receive every 105 ms while the server waits 600 ms.
  EXPECT_GE(bare, 3) << r.Describe();
  EXPECT_LE(bare, 7) << r.Describe();
  EXPECT_EQ(Received(), std::string(kOptionRequest) + kByeLine);
}

// A server that says nothing and keeps the connection open: the probe gives up after 30 empty
// receives (about 3 seconds) and the port still counts as open.
TEST_F(TelnetPort, SilentServerEndsTheLoopAfterAboutThreeSeconds) {
  const auto server_script = [this](ServerPeer& peer, std::string& received) {
    received = peer.ReceiveAtLeast(6, 5000);
    request_seen_ = Clock::now();
  };
  if (!Listen(server_script)) GTEST_SKIP() << kNoPort23;
  const RunResult r = RunKnockbox({"127.0.0.1"}, std::chrono::seconds(15));
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  int bare = 0;
  EXPECT_EQ(AfterNegotiating(MaskClock(r.out), &bare), SuccessLines()) << r.Describe();
  EXPECT_EQ(bare, 30) << r.Describe();
  EXPECT_EQ(Received(), std::string(kOptionRequest) + kByeLine);
  // Received() waited for the handler, which ends when the client closes after its "BYE".
  const auto silence =
      std::chrono::duration_cast<milliseconds>(Clock::now() - request_seen_).count();
  EXPECT_GE(silence, 2900);
  EXPECT_LE(silence, 6000);
}

TEST_F(TelnetPort, ResetConnectionEndsTheLoopAtOnce) {
  const auto server_script = [](ServerPeer& peer, std::string& received) {
    received = peer.ReceiveAtLeast(6, 5000);
    peer.Reset();
  };
  if (!Listen(server_script)) GTEST_SKIP() << kNoPort23;
  const RunResult r = RunKnockbox({"127.0.0.1"});
  ASSERT_TRUE(r.exited) << r.Describe();
  EXPECT_EQ(r.exit_code, 0) << r.Describe();
  int bare = 0;
  EXPECT_EQ(AfterNegotiating(MaskClock(r.out), &bare), SuccessLines()) << r.Describe();
  // The failed receive prints one; a receive or two may have timed out before the reset came.
  EXPECT_GE(bare, 1) << r.Describe();
  EXPECT_LE(bare, 4) << r.Describe();
  EXPECT_EQ(Received(), kOptionRequest);
}

}  // namespace
