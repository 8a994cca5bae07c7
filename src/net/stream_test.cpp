// Tests of stream connections against scripted servers on 127.0.0.1.
#include "net/stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "net/socket.h"
#include "support/loopback_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const Text kLoopback = "127.0.0.1";
// Waits in tests that are not about timing: long enough for a sanitized or emulated run.
constexpr std::uint32_t kPatientMs = 3000;
constexpr int kServerMs = 3000;

std::int16_t Open(std::uint16_t port, std::uint32_t timeout_ms = kPatientMs,
                  const Text& host = kLoopback) {
  const std::int16_t number = NextFreeNumber();
  OpenStream(number, port, host, Text(), 0, timeout_ms);
  return number;
}

std::int16_t After(std::int16_t number) {
  return number == kHighestConnectionNumber ? 1 : static_cast<std::int16_t>(number + 1);
}

std::uint16_t InNetworkOrder(std::uint16_t port) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(port >> 8),
                                 static_cast<std::uint8_t>(port & 0xFF)};
  std::uint16_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

std::uint32_t LoopbackInNetworkOrder() {
  const std::uint8_t bytes[4] = {127, 0, 0, 1};
  std::uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Makes one good connection and checks that the server has accepted nothing else, so that the
// failed opens before it cannot have connected.
void ExpectOnlyOneAccepted(LoopbackServer& server) {
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  ASSERT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
  ASSERT_TRUE(server.WaitForServed(1, kServerMs));
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(server.Accepted(), 1);
}

// True once a server thread has set `flag`; false after a generous limit.
bool WaitUntil(const std::atomic<bool>& flag) {
  const Clock::time_point end = Clock::now() + milliseconds(kServerMs);
  while (!flag && Clock::now() < end) std::this_thread::sleep_for(milliseconds(1));
  return flag;
}

void WaitForClose(ServerPeer& peer) { peer.WaitForClientClose(kServerMs); }

}  // namespace

TEST(StreamOpen, ConnectsByAddressOrNameAndFillsTheRecord) {
  LoopbackServer server(WaitForClose);
  ASSERT_TRUE(server.Listening());
  ErrorScope scope;
  const std::int16_t number = Open(server.Port(), 0);
  ASSERT_EQ(LastError(), 0);
  const ConnectionRecord* record = FindConnection(number);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->device_class, kNetworkDeviceClass);
  EXPECT_EQ(record->mode, kStreamMode);
  EXPECT_EQ(record->timeout_ms, kNoTimeout);
  EXPECT_EQ(record->port, InNetworkOrder(server.Port()));
  EXPECT_EQ(record->address, LoopbackInNetworkOrder());
  EXPECT_FALSE(record->local_host_name.empty());
  EXPECT_EQ(record->pending_count, 0u);
  EXPECT_EQ(record->flags, 0);
  EXPECT_EQ(AtEndOfData(number), 0);
  CloseConnection(number, kStreamMode);
  EXPECT_EQ(FindConnection(number), nullptr);

  const std::int16_t by_name = Open(server.Port(), kPatientMs, "localhost");
  EXPECT_EQ(LastError(), 0);
  EXPECT_EQ(by_name, After(number));
  CloseConnection(by_name, kStreamMode);
  EXPECT_TRUE(server.WaitForServed(2, kServerMs));
  EXPECT_EQ(LastError(), 0);
}

TEST(StreamOpen, RefusedUnresolvedAndPortZeroFailWith57AndLeaveNothingOpen) {
  struct Case {
    std::int32_t port;
    Text host;
    Text service;
  };
  const Case cases[] = {
      {RefusedLoopbackPort(), kLoopback, ""},
      {80, "nothing.invalid", ""},
      {0, kLoopback, ""},
      {-1, kLoopback, ""},
      {-1, kLoopback, "no-such-service"},
  };
  const int sockets_before = OpenSocketCount();
  for (const Case& c : cases) {
    ErrorScope scope;
    const std::int16_t number = NextFreeNumber();
    OpenStream(number, c.port, c.host, c.service, 0, kPatientMs);
    EXPECT_EQ(LastError(), kErrSocket) << c.host << ":" << c.port << " " << c.service;
    EXPECT_EQ(FindConnection(number), nullptr);
    EXPECT_EQ(NextFreeNumber(), After(number));
  }
  if (sockets_before >= 0) {
    EXPECT_EQ(OpenSocketCount(), sockets_before);
  }

  std::uint16_t port = 0;
  ASSERT_EQ(LookUpService("telnet", &port), 0);
  EXPECT_EQ(port, InNetworkOrder(23));
}

TEST(StreamOpen, NegativeOrTakenNumberIsRefusedAndTheOpenOneIsUntouched) {
  LoopbackServer server([](ServerPeer& peer) {
    peer.Send(peer.ReceiveAtLeast(5, kServerMs));
    WaitForClose(peer);
  });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  ASSERT_EQ(LastError(), 0);
  {
    ErrorScope inner;
    OpenStream(-1, server.Port(), kLoopback, Text(), 0, kPatientMs);
    EXPECT_EQ(LastError(), kErrNotOpen);
    EXPECT_EQ(FindConnection(-1), nullptr);
  }
  {
    ErrorScope inner;
    OpenStream(number, server.Port(), kLoopback, Text(), 0, kPatientMs);
    EXPECT_EQ(LastError(), kErrAlreadyOpen);
  }
  SendText(number, "ping\n");
  EXPECT_EQ(ReceiveLine(number), "ping");
  EXPECT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
  EXPECT_EQ(FindConnection(number), nullptr);
}

TEST(StreamOpen, PortAbove65535FailsWith57WithoutConnecting) {
  LoopbackServer server(WaitForClose);
  ASSERT_TRUE(server.Listening());
  // Each of these has the server's port in its low 16 bits.
  for (const std::int32_t port : {server.Port() + 65536, server.Port() + 0x7FFF0000}) {
    ErrorScope scope;
    const std::int16_t number = NextFreeNumber();
    OpenStream(number, port, kLoopback, Text(), 0, kPatientMs);
    EXPECT_EQ(LastError(), kErrSocket) << port;
    EXPECT_EQ(FindConnection(number), nullptr);
  }
  ExpectOnlyOneAccepted(server);
}

TEST(StreamOpen, HostWithZeroByteOverlongOrEmptyFailsWith57WithoutLookup) {
  LoopbackServer server(WaitForClose);
  ASSERT_TRUE(server.Listening());
  const Text hosts[] = {
      // Cut at its zero byte this would be the server's own address.
      Text("127.0.0.1\0.invalid", 18),
      Text(248, 'a') + ".invalid" + ".invalid",
      Text(),
  };
  for (const Text& host : hosts) {
    ErrorScope scope;
    const std::int16_t number = NextFreeNumber();
    OpenStream(number, server.Port(), host, Text(), 0, kPatientMs);
    EXPECT_EQ(LastError(), kErrSocket) << host.size() << " bytes";
    EXPECT_EQ(FindConnection(number), nullptr);
  }
  ExpectOnlyOneAccepted(server);
}

TEST(StreamOpen, SocketConnectedToItselfFailsWith57) {
  std::uint16_t port = 0;
  const std::intptr_t socket = BoundLoopbackSocket(&port);
  ASSERT_NE(socket, kNoSocket);
  // Connecting a bound socket to its own port is the simultaneous open a loopback connect to a
  // closed ephemeral port can stumble into.
  EXPECT_EQ(ConnectAsClient(socket, LoopbackInNetworkOrder(), InNetworkOrder(port)), kErrSocket);
  EXPECT_TRUE(ConnectedToItself(socket));
  CloseSocket(socket);
}

TEST(StreamOpen, ListeningFormTakesAConnection) {
  const std::uint16_t port = RefusedLoopbackPort();
  ErrorScope scope;
  const std::int16_t listening = NextFreeNumber();
  OpenStream(listening, port, kLoopback, Text(), 0xFFFFFFFFu, kPatientMs);
  ASSERT_EQ(LastError(), 0);
  const std::int16_t client = Open(port);
  EXPECT_EQ(LastError(), 0);
  CloseConnection(client, kStreamMode);
  CloseConnection(listening, kStreamMode);
  EXPECT_EQ(FindConnection(listening), nullptr);
}

TEST(StreamReceive, LinesSplitAndEndOfDataFollowsTheLastBufferedLine) {
  LoopbackServer server([](ServerPeer& peer) {
    peer.Send("abc\r\ndef\r\n");
    peer.ReceiveAtLeast(4, kServerMs);
    peer.Send(std::string("x\ry\r\r\n\xff\xfb\x01\0z\xff\r\n", 14));
    WaitForClose(peer);
  });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  EXPECT_EQ(ReceiveLine(number), "abc");
  EXPECT_EQ(AtEndOfData(number), 0);
  // A buffered line needs no wait, so even a passed deadline gets it.
  EXPECT_EQ(ReceiveLine(number, Clock::now() - milliseconds(1)), "def");
  EXPECT_EQ(AtEndOfData(number), -1);
  SendText(number, "next");
  EXPECT_EQ(AtEndOfData(number), 0);
  EXPECT_EQ(ReceiveLine(number), "xy");
  EXPECT_EQ(AtEndOfData(number), 0);
  EXPECT_EQ(ReceiveLine(number), std::string("\xff\xfb\x01\0z\xff", 6));
  EXPECT_EQ(AtEndOfData(number), -1);
  EXPECT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, PromptWithoutLineFeedComesBackAfterOneWaitWithEndOfData) {
  std::atomic<bool> sent{false};
  LoopbackServer server([&sent](ServerPeer& peer) {
    sent = peer.Send("login: ");
    WaitForClose(peer);
  });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port(), 100);
  // The prompt must be on its way before the first wait starts, however slow the server thread.
  ASSERT_TRUE(WaitUntil(sent));
  EXPECT_EQ(ReceiveLine(number), "login: ");
  EXPECT_EQ(AtEndOfData(number), -1);
  EXPECT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, SilentPeerGives24EachTimeAndNeverEndOfData) {
  LoopbackServer server(WaitForClose);
  ErrorScope scope;
  const std::int16_t number = Open(server.Port(), 5);
  ASSERT_EQ(LastError(), 0);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ErrorScope inner;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(ReceiveLine(number), "");
    EXPECT_GE(MillisecondsSince(start), 5.0);
    EXPECT_EQ(LastError(), kErrTimeout);
    EXPECT_EQ(AtEndOfData(number), 0);
  }
  // 1023 means 1,047,552 microseconds: more than a second in the microsecond part alone.
  FindConnection(number)->timeout_ms = 1023;
  {
    ErrorScope inner;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(ReceiveLine(number), "");
    EXPECT_GE(MillisecondsSince(start), 1047.0);
    EXPECT_EQ(LastError(), kErrTimeout);
  }
  {
    // A deadline before the wait limit cuts the wait short.
    ErrorScope inner;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(ReceiveLine(number, start + milliseconds(100)), "");
    EXPECT_GE(MillisecondsSince(start), 100.0);
    EXPECT_LT(MillisecondsSince(start), 700.0);
    EXPECT_EQ(LastError(), kErrTimeout);
  }
  EXPECT_EQ(WaitLimit(5), std::chrono::microseconds(5120));
  EXPECT_EQ(WaitLimit(1024), std::chrono::seconds(1));
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, ClosedPeerGivesTheRestThenEmptyLinesWithoutError) {
  LoopbackServer server([](ServerPeer& peer) {
    peer.Send("last");
    peer.Close();
  });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  EXPECT_EQ(ReceiveLine(number), "last");
  EXPECT_EQ(AtEndOfData(number), -1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(ReceiveLine(number), "");
    EXPECT_EQ(AtEndOfData(number), -1);
  }
  EXPECT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, LongLinesComeInPiecesOf65536Bytes) {
  LoopbackServer server([](ServerPeer& peer) {
    peer.Send(std::string(70000, 'x') + "\n" + std::string(100, '\r') + std::string(69900, 'y') +
              "\r\n");
    WaitForClose(peer);
  });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  EXPECT_EQ(ReceiveLine(number), std::string(65536, 'x'));
  EXPECT_EQ(ReceiveLine(number), std::string(4464, 'x'));
  // Dropped carriage returns still count towards the 65,536 bytes of one piece.
  EXPECT_EQ(ReceiveLine(number), std::string(65436, 'y'));
  EXPECT_EQ(ReceiveLine(number), std::string(4464, 'y'));
  EXPECT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, DeadlineEndsALineThatDripsWithoutEnd) {
  std::atomic<bool> sent{false};
  LoopbackServer server([&sent](ServerPeer& peer) {
    const Clock::time_point end = Clock::now() + milliseconds(kServerMs);
    while (Clock::now() < end && peer.Send("z")) {
      sent = true;
      std::this_thread::sleep_for(milliseconds(10));
    }
  });
  ErrorScope scope;
  // Every byte comes well within the wait limit, so only the deadline can end the line.
  const std::int16_t number = Open(server.Port(), 200);
  ASSERT_TRUE(WaitUntil(sent));
  const Clock::time_point start = Clock::now();
  const Text line = ReceiveLine(number, start + milliseconds(150));
  const double elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 150.0);
  EXPECT_LT(elapsed, 1500.0);
  EXPECT_FALSE(line.empty());
  EXPECT_EQ(line.find_first_not_of('z'), Text::npos);
  EXPECT_EQ(AtEndOfData(number), -1);
  EXPECT_EQ(LastError(), 0);
  {
    ErrorScope inner;
    const Clock::time_point again = Clock::now();
    EXPECT_EQ(ReceiveLine(number, again - milliseconds(1)), "");
    EXPECT_LT(MillisecondsSince(again), 100.0);
    EXPECT_EQ(LastError(), kErrTimeout);
  }
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, WaitsAndOpensSurviveSignals) {
  if (!SignalStorm::Supported()) GTEST_SKIP() << "Windows has no signals that cut a wait short";
  LoopbackServer server(WaitForClose);
  ErrorScope scope;
  SignalStorm storm(milliseconds(2));
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::int16_t number = Open(server.Port());
    ASSERT_EQ(LastError(), 0);
    CloseConnection(number, kStreamMode);
  }
  const std::int16_t number = Open(server.Port(), 300);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ReceiveLine(number), "");
  EXPECT_GE(MillisecondsSince(start), 307.0);
  EXPECT_EQ(LastError(), kErrTimeout);
  EXPECT_GT(storm.Sent(), 0);
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, ResetPeerGives57) {
  if (RunningUnderWine()) GTEST_SKIP() << "Wine's recv reports a reset as the end of data";
  LoopbackServer server([](ServerPeer& peer) { peer.Reset(); });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  EXPECT_EQ(ReceiveLine(number), "");
  EXPECT_EQ(LastError(), kErrSocket);
  EXPECT_EQ(AtEndOfData(number), 0);
  EXPECT_NE(FindConnection(number), nullptr);
  CloseConnection(number, kStreamMode);
}

TEST(StreamSend, PutsExactlyTheTextsBytesOnTheWire) {
  std::string received;
  LoopbackServer server(
      [&received](ServerPeer& peer) { received = peer.ReceiveUntilClosed(kServerMs); });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  const Text telnet_request = TextFromCodes({0xFF, 0xFE, 0x01, 0xFF, 0xFE, 0x03});
  const Text closing_line = ConcatText("BYE", TextFromCodes({13}), LineEnd());
  // More than the system takes in one send: the rest goes after fresh waits.
  const Text bulk(1 << 20, '\0');
  SendText(number, telnet_request);
  SendText(number, Text());
  SendText(number, bulk);
  SendText(number, closing_line);
  EXPECT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
  ASSERT_TRUE(server.WaitForServed(1, kServerMs));
  EXPECT_EQ(received, telnet_request + bulk + closing_line);
}

TEST(StreamSend, ResetPeerGives57AndTheProcessSurvives) {
  LoopbackServer server([](ServerPeer& peer) { peer.Reset(); });
  ErrorScope scope;
  const std::int16_t sending = Open(server.Port());
  ASSERT_TRUE(server.WaitForServed(1, kServerMs));
  // Without MSG_NOSIGNAL the send after the reset would end this process with SIGPIPE.
  int failed = 0;
  for (int attempt = 0; attempt < 50 && failed < 3; ++attempt) {
    ErrorScope inner;
    SendText(sending, "data");
    if (LastError() != 0) {
      EXPECT_EQ(LastError(), kErrSocket);
      ++failed;
    } else {
      std::this_thread::sleep_for(milliseconds(20));
    }
  }
  EXPECT_EQ(failed, 3);
  EXPECT_NE(FindConnection(sending), nullptr);
  CloseConnection(sending, kStreamMode);
}

TEST(StreamClose, WrongNumbersAndKindsAreRefusedAndClosedNumbersAreNotReused) {
  const std::int16_t unused = NextFreeNumber();
  {
    ErrorScope scope;
    SendText(unused, "x");
    EXPECT_EQ(LastError(), kErrNotOpen);
  }
  {
    ErrorScope scope;
    EXPECT_EQ(ReceiveLine(unused), "");
    EXPECT_EQ(LastError(), kErrNotOpen);
  }
  {
    ErrorScope scope;
    EXPECT_EQ(AtEndOfData(unused), 0);
    EXPECT_EQ(LastError(), kErrNotOpenAtEnd);
  }
  {
    ErrorScope scope;
    RaiseError(kErrTimeout);
    CloseConnection(unused, kStreamMode);
    EXPECT_EQ(LastError(), kErrTimeout);
  }

  bool client_closed = false;
  LoopbackServer server(
      [&client_closed](ServerPeer& peer) { client_closed = peer.WaitForClientClose(kServerMs); });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  ASSERT_EQ(LastError(), 0);
  ConnectionRecord* record = FindConnection(number);
  record->mode = kDatagramMode;
  {
    ErrorScope inner;
    SendText(number, "x");
    EXPECT_EQ(LastError(), kErrWrongKind);
  }
  {
    ErrorScope inner;
    EXPECT_EQ(ReceiveLine(number), "");
    EXPECT_EQ(LastError(), kErrWrongKind);
  }
  {
    ErrorScope inner;
    CloseConnection(number, kStreamMode);
    EXPECT_EQ(LastError(), kErrWrongKind);
    EXPECT_EQ(FindConnection(number), record);
  }
  // A mask of 0 closes a connection of any kind.
  CloseConnection(number, 0);
  EXPECT_EQ(FindConnection(number), nullptr);
  EXPECT_EQ(LastError(), 0);
  EXPECT_EQ(NextFreeNumber(), After(number));
  ASSERT_TRUE(server.WaitForServed(1, kServerMs));
  EXPECT_TRUE(client_closed);
}
