// End-to-end: one probe against an open port, a refused port and names that do not resolve.
#include <gtest/gtest.h>
#include <time.h>

#include <cstdio>

#include "e2e_helpers.h"

namespace {

TEST(SingleProbe, OpenPortSucceedsAndTheServerGetsOnlyBye) {
  Recorder recorder;
  LoopbackServer server(recorder.Handler());
  ASSERT_TRUE(server.Listening());
  const long long before = static_cast<long long>(time(nullptr));
  const RunResult r = ExpectRun({"127.0.0.1:" + std::to_string(server.Port())}, 0,
                                ProbeOutput("127.0.0.1", server.Port(), SuccessLines()));
  const long long after = static_cast<long long>(time(nullptr));

  // The announced time is the local time of the probe (not UTC, not month and day swapped).
  const std::vector<long long> times = AnnouncedTimes(r.out);
  ASSERT_EQ(times.size(), 1u) << r.Describe();
  EXPECT_GE(times[0], before - 1) << r.Describe();
  EXPECT_LE(times[0], after + 1) << r.Describe();

  ASSERT_TRUE(server.WaitForServed(1, 5000));
  const std::vector<std::string> received = recorder.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], kByeLine) << "received \"" << Printable(received[0]) << "\"";
}

TEST(SingleProbe, RefusedPortFailsWith57) {
  const std::uint16_t port = RefusedLoopbackPort();
  ExpectRun({"127.0.0.1:" + std::to_string(port)}, 10,
            ProbeOutput("127.0.0.1", port, FailureLines("127.0.0.1", 57)));
}

TEST(SingleProbe, UnresolvableNameFailsWith57) {
  struct Case {
    std::string target;
    std::string host;
    int port;
  };
  for (const Case& c : {Case{"knockbox-e2e.invalid:80", "knockbox-e2e.invalid", 80},
                        Case{"knockbox-e2e.invalid", "knockbox-e2e.invalid", 23}}) {
    SCOPED_TRACE(c.target);
    ExpectRun({c.target}, 10, ProbeOutput(c.host, c.port, FailureLines(c.host, 57)));
  }
}

// The port is read as a number (hexadecimal too). A port above 65535 is announced as typed and
// fails without a connect, rather than reaching its low 16 bits; text that is no number is
// port 0, which fails too.
TEST(SingleProbe, PortTextIsReadAsANumber) {
  Recorder recorder;
  LoopbackServer server(recorder.Handler());
  ASSERT_TRUE(server.Listening());
  const long long port = server.Port();
  char hex[16];
  // The "&" suffix makes the hexadecimal form 32 bits wide: "&H8000" alone would be -32768.
  snprintf(hex, sizeof hex, "&H%llX&", port);
  ExpectRun({"127.0.0.1:" + std::string(hex)}, 0, ProbeOutput("127.0.0.1", port, SuccessLines()));
  struct Case {
    std::string port_text;
    long long announced;
  };
  for (const Case& c : {Case{std::to_string(port + 65536), port + 65536}, Case{"abc", 0}}) {
    SCOPED_TRACE("port text " + c.port_text);
    ExpectRun({"127.0.0.1:" + c.port_text}, 10,
              ProbeOutput("127.0.0.1", c.announced, FailureLines("127.0.0.1", 57)));
  }
  EXPECT_TRUE(server.WaitForServed(1, 5000));
  EXPECT_EQ(server.Accepted(), 1) << "only the hexadecimal port may reach the server";
  for (const std::string& bytes : recorder.Received()) EXPECT_EQ(bytes, kByeLine);
}

}  // namespace
