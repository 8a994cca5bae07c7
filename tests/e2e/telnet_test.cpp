// End-to-end: the Telnet port 23: option request, the server's lines, the end of the loop.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "e2e_helpers.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// The suite runs in a network namespace of its own (tools/private-network), where port 23 is
// free; elsewhere a taken port must fail these tests, never skip them.
constexpr char kNoPort23[] =
    "cannot bind 127.0.0.1:23 (taken, or not allowed): run the tests in a private network "
    "namespace, as make test does";

// Every test here binds 127.0.0.1:23 itself; the tests run one after another.
class TelnetPort : public ::testing::Test {
 protected:
  // Starts the server on port 23; false when that port cannot be had.
  bool Listen(Recorder::Script script) {
    server_ = std::make_unique<LoopbackServer>(recorder_.Handler(std::move(script)), 23);
    return server_->Listening();
  }

  // Runs one probe of port 23 that must succeed, and returns what follows the
  // "Negotiating connection" line, with the bare " + " lines that stand right after it taken
  // out and counted in `bare` (a receive that found nothing yet prints one).
  std::string Probe(const std::string& target, int* bare,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const RunResult r = RunKnockbox({target}, limit);
    EXPECT_TRUE(ExitedWith(r, 0));
    const std::string out = MaskClock(r.out);
    const std::string head = ProbeOutput("127.0.0.1", 23, Lines({kNegotiating}));
    *bare = 0;
    if (out.compare(0, head.size(), head) != 0) return "(unexpected start) " + r.Describe();
    std::size_t at = head.size();
    for (const std::string_view plus = " + \r\n"; out.compare(at, plus.size(), plus) == 0;
         at += plus.size()) {
      ++*bare;
    }
    return out.substr(at);
  }

  // The received bytes of the one connection the probe made.
  std::string Received() {
    EXPECT_TRUE(server_->WaitForServed(1, 10000));
    const std::vector<std::string> received = recorder_.Received();
    EXPECT_EQ(received.size(), 1u);
    return received.empty() ? std::string() : Printable(received[0]);
  }

  Recorder recorder_;
  // Written by a server script; kept here so that it outlives the server's thread.
  Clock::time_point request_seen_;
  std::unique_ptr<LoopbackServer> server_;
};

const std::string kRequestAndBye = Printable(std::string(kOptionRequest) + kByeLine);

TEST_F(TelnetPort, OptionRequestComesFirstAndByeLast) {
  if (!Listen([](ServerPeer& peer, std::string& received) {
        received = peer.ReceiveAtLeast(6, 5000);
        peer.Send("Welcome\r\n");
      })) {
    FAIL() << kNoPort23;
  }
  int bare = 0;
  EXPECT_EQ(Probe("127.0.0.1", &bare), Lines({" + Welcome"}) + SuccessLines());
  EXPECT_LE(bare, 3) << "the server answers the request at once";
  EXPECT_EQ(Received(), kRequestAndBye);
}

// A greeting with Telnet commands, an empty line and a prompt without a line end: every line
// is shown with the command bytes as they came, the prompt last.
TEST_F(TelnetPort, GreetingLinesAndPromptAreShownAsTheyCame) {
  if (!Listen([](ServerPeer& peer, std::string&) {
        peer.Send("\xFF\xFB\x01\xFF\xFB\x03Welcome to e2e\r\n\r\nlogin: ");
      })) {
    FAIL() << kNoPort23;
  }
  int bare = 0;
  EXPECT_EQ(
      Probe("127.0.0.1:23", &bare),
      Lines({" + \xFF\xFB\x01\xFF\xFB\x03Welcome to e2e", " + ", " + login: "}) + SuccessLines());
  EXPECT_LE(bare, 3) << "the greeting was sent at once";
  EXPECT_EQ(Received(), kRequestAndBye);
}

TEST_F(TelnetPort, DelayedAnswerComesAfterBarePlusLines) {
  if (!Listen([](ServerPeer& peer, std::string& received) {
        received = peer.ReceiveAtLeast(6, 5000);
        std::this_thread::sleep_for(milliseconds(600));
        peer.Send("Hello\r\n");
      })) {
    FAIL() << kNoPort23;
  }
  int bare = 0;
  EXPECT_EQ(Probe("127.0.0.1", &bare), Lines({" + Hello"}) + SuccessLines());
  // About one receive every 105 ms while the server waits 600 ms.
  EXPECT_GE(bare, 3);
  EXPECT_LE(bare, 7);
  EXPECT_EQ(Received(), kRequestAndBye);
}

// A server that says nothing and keeps the connection open: the probe gives up after 30 empty
// receives (about 3 seconds) and the port still counts as open.
TEST_F(TelnetPort, SilentServerEndsTheLoopAfterAboutThreeSeconds) {
  if (!Listen([this](ServerPeer& peer, std::string& received) {
        received = peer.ReceiveAtLeast(6, 5000);
        request_seen_ = Clock::now();
      })) {
    FAIL() << kNoPort23;
  }
  int bare = 0;
  EXPECT_EQ(Probe("127.0.0.1", &bare, std::chrono::seconds(15)), SuccessLines());
  EXPECT_EQ(bare, 30);
  EXPECT_EQ(Received(), kRequestAndBye);
  // Received() waited for the handler, which ends when the client closes after its "BYE".
  const auto silence =
      std::chrono::duration_cast<milliseconds>(Clock::now() - request_seen_).count();
  EXPECT_GE(silence, 2900);
  EXPECT_LE(silence, 6000);
}

TEST_F(TelnetPort, ResetConnectionEndsTheLoopAtOnce) {
  if (!Listen([](ServerPeer& peer, std::string& received) {
        received = peer.ReceiveAtLeast(6, 5000);
        peer.Reset();
      })) {
    FAIL() << kNoPort23;
  }
  int bare = 0;
  EXPECT_EQ(Probe("127.0.0.1", &bare), SuccessLines());
  // The failed receive prints one; a receive or two may have timed out before the reset came.
  EXPECT_GE(bare, 1);
  EXPECT_LE(bare, 4);
  EXPECT_EQ(Received(), Printable(kOptionRequest));
}

}  // namespace
