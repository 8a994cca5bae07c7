// Tests of stream connections against scripted servers on 127.0.0.1.
#include "net/stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <iterator>
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

std::int16_t Open(std::uint16_t port, std::uint32_t timeout_1024us = kPatientMs,
                  const Text& host = kLoopback) {
  const std::int16_t number = NextFreeNumber();
  OpenStream(number, port, host, Text(), timeout_1024us);
  return number;
}

// The error number `call` leaves in a scope of its own.
template <typename Call>
ErrorNumber ErrorOf(Call call) {
  ErrorScope scope;
  call();
  return LastError();
}

// The number whose bytes stand in memory as given, most significant first: network byte order.
template <typename Integer>
Integer InNetworkOrder(std::initializer_list<std::uint8_t> bytes) {
  Integer value;
  std::memcpy(&value, std::data(bytes), sizeof value);
  return value;
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// True once a server thread has set `flag`; false after a generous limit.
bool WaitUntil(const std::atomic<bool>& flag) {
  const Clock::time_point end = Clock::now() + milliseconds(kServerMs);
  while (!flag && Clock::now() < end) std::this_thread::sleep_for(milliseconds(1));
  return flag;
}

void WaitForClose(ServerPeer& peer) { peer.WaitForClientClose(kServerMs); }

}  // namespace

TEST(StreamOpen, ConnectsToAHostByNameAndLooksUpServices) {
  LoopbackServer server(WaitForClose);
  ErrorScope scope;
  const std::int16_t client = Open(server.Port(), kPatientMs, "localhost");
  EXPECT_EQ(LastError(), 0);
  CloseConnection(client, kStreamMode);

  std::uint16_t telnet = 0;
  ASSERT_EQ(LookUpService("telnet", &telnet), 0) << "the system's services file lacks telnet";
  EXPECT_EQ(telnet, InNetworkOrder<std::uint16_t>({0, 23}));
}

// None of these may reach the listening server, and none may leave a socket or number behind.
TEST(StreamOpen, BadPortHostOrServiceFailsWith57WithoutConnecting) {
  LoopbackServer server(WaitForClose);
  ASSERT_TRUE(server.Listening());
  const std::int32_t port = server.Port();
  const struct {
    std::int32_t port;
    Text host;
    Text service;
  } cases[] = {
      // Ports above 65,535 that have the server's port in their low 16 bits.
      {port + 65536, kLoopback, ""},
      {port + 0x7FFF0000, kLoopback, ""},
      // Cut at its zero byte this would be the server's own address.
      {port, Text("127.0.0.1\0.invalid", 18), ""},
      {port, Text(248, 'a') + ".invalid.invalid", ""},
      {port, "", ""},
      {RefusedLoopbackPort(), kLoopback, ""},
      {80, "nothing.invalid", ""},
      {0, kLoopback, ""},
      {-1, kLoopback, ""},
      {-1, kLoopback, "no-such-service"},
  };
  const int sockets_before = OpenSocketCount();
  for (const auto& c : cases) {
    const std::int16_t number = NextFreeNumber();
    EXPECT_EQ(ErrorOf([&] { OpenStream(number, c.port, c.host, c.service, kPatientMs); }),
              kErrSocket)
        << "case " << (&c - cases);
    EXPECT_EQ(FindConnection(number), nullptr);
  }
  if (sockets_before >= 0) {
    EXPECT_EQ(OpenSocketCount(), sockets_before);
  }

  // One good connection, and the server must have accepted nothing before it.
  const std::int16_t number = Open(server.Port());
  CloseConnection(number, kStreamMode);
  ASSERT_TRUE(server.WaitForServed(1, kServerMs));
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(server.Accepted(), 1);
}

TEST(StreamOpen, SocketConnectedToItselfFailsWith57) {
  std::uint16_t port = 0;
  const std::intptr_t socket = BoundLoopbackSocket(&port);
  ASSERT_NE(socket, kNoSocket);
  // Connecting a bound socket to its own port is the simultaneous open a loopback connect to a
  // closed ephemeral port can stumble into.
  const std::uint16_t network_port = InNetworkOrder<std::uint16_t>(
      {static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port & 0xFF)});
  EXPECT_EQ(ConnectAsClient(socket, InNetworkOrder<std::uint32_t>({127, 0, 0, 1}), network_port),
            kErrSocket);
  EXPECT_TRUE(ConnectedToItself(socket));
  CloseSocket(socket);
}

TEST(StreamReceive, LinesSplitAndEndOfDataFollowsTheLastBufferedLineOrAPrompt) {
  LoopbackServer server([](ServerPeer& peer) {
    peer.Send("abc\r\ndef\r\n");
    peer.ReceiveAtLeast(4, kServerMs);
    peer.Send(std::string("x\ry\r\r\n\xff\xfb\x01\0z\xff\r\nlogin: ", 21));
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
  EXPECT_EQ(ReceiveLine(number), std::string("\xff\xfb\x01\0z\xff", 6));
  EXPECT_EQ(AtEndOfData(number), 0);
  // A prompt without a line feed comes back once one wait has run out after it.
  FindConnection(number)->timeout_1024us = 100;
  EXPECT_EQ(ReceiveLine(number), "login: ");
  EXPECT_EQ(AtEndOfData(number), -1);
  EXPECT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, SilentPeerGives24EachTimeWithinTheWaitLimitOrDeadline) {
  LoopbackServer server(WaitForClose);
  ErrorScope scope;
  const std::int16_t number = Open(server.Port(), 5);
  ASSERT_EQ(LastError(), 0);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(ReceiveLine(number), ""); }), kErrTimeout);
    EXPECT_GE(MillisecondsSince(start), 5.0);
    EXPECT_EQ(AtEndOfData(number), 0);
  }
  // 1023 means 1,047,552 microseconds: more than a second in the microsecond part alone.
  FindConnection(number)->timeout_1024us = 1023;
  Clock::time_point start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { ReceiveLine(number); }), kErrTimeout);
  EXPECT_GE(MillisecondsSince(start), 1047.0);
  // A deadline before the wait limit cuts the wait short.
  start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { ReceiveLine(number, start + milliseconds(100)); }), kErrTimeout);
  EXPECT_GE(MillisecondsSince(start), 100.0);
  EXPECT_LT(MillisecondsSince(start), 700.0);
  EXPECT_EQ(WaitLimit(5), std::chrono::microseconds(5120));
  EXPECT_EQ(WaitLimit(1024), std::chrono::seconds(1));
  CloseConnection(number, kStreamMode);
}

TEST(StreamReceive, LongLinesComeInPiecesOf65536BytesAndAClosedPeerLeavesTheRest) {
  LoopbackServer server([](ServerPeer& peer) {
    peer.Send(std::string(70000, 'x') + "\n" + std::string(100, '\r') + std::string(69900, 'y') +
              "\r\nlast");
    peer.Close();
  });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  EXPECT_EQ(ReceiveLine(number), std::string(65536, 'x'));
  EXPECT_EQ(ReceiveLine(number), std::string(4464, 'x'));
  // Dropped carriage returns still count towards the 65,536 bytes of one piece.
  EXPECT_EQ(ReceiveLine(number), std::string(65436, 'y'));
  EXPECT_EQ(ReceiveLine(number), std::string(4464, 'y'));
  EXPECT_EQ(ReceiveLine(number), "last");
  EXPECT_EQ(AtEndOfData(number), -1);
  EXPECT_EQ(ReceiveLine(number), "");
  EXPECT_EQ(AtEndOfData(number), -1);
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
  EXPECT_GE(MillisecondsSince(start), 150.0);
  EXPECT_LT(MillisecondsSince(start), 1500.0);
  EXPECT_FALSE(line.empty());
  EXPECT_EQ(line.find_first_not_of('z'), Text::npos);
  EXPECT_EQ(AtEndOfData(number), -1);
  EXPECT_EQ(LastError(), 0);
  // Once the deadline has passed, not even the bytes that have come meanwhile are taken.
  const Clock::time_point again = Clock::now();
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(ReceiveLine(number, again - milliseconds(1)), ""); }),
            kErrTimeout);
  EXPECT_LT(MillisecondsSince(again), 100.0);
  CloseConnection(number, kStreamMode);
}

TEST(StreamSend, PutsExactlyTheTextsBytesOnTheWire) {
  std::string received;
  LoopbackServer server(
      [&received](ServerPeer& peer) { received = peer.ReceiveUntilClosed(kServerMs); });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  // More than the system takes in one send, the rest going after fresh waits; every byte value.
  Text bulk(1 << 23, '\0');
  for (std::size_t i = 0; i < bulk.size(); ++i) bulk[i] = static_cast<char>(i % 251);
  SendText(number, Text());
  SendText(number, bulk);
  EXPECT_EQ(LastError(), 0);
  CloseConnection(number, kStreamMode);
  ASSERT_TRUE(server.WaitForServed(1, kServerMs));
  EXPECT_EQ(received, bulk);
}

TEST(StreamReset, ResetPeerGives57OnReceiveAndSendAndTheProcessSurvives) {
  LoopbackServer server([](ServerPeer& peer) { peer.Reset(); });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  ASSERT_TRUE(server.WaitForServed(1, kServerMs));
  // Wine's recv reports a reset as the end of data.
  if (!RunningUnderWine()) {
    EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(ReceiveLine(number), ""); }), kErrSocket);
    EXPECT_EQ(AtEndOfData(number), 0);
  }
  // Without MSG_NOSIGNAL a send after the reset would end this process with SIGPIPE.
  int failed = 0;
  for (int attempt = 0; attempt < 50 && failed < 3; ++attempt) {
    const ErrorNumber error = ErrorOf([&] { SendText(number, "data"); });
    if (error != 0) {
      EXPECT_EQ(error, kErrSocket);
      ++failed;
    } else {
      std::this_thread::sleep_for(milliseconds(20));
    }
  }
  EXPECT_EQ(failed, 3);
  EXPECT_NE(FindConnection(number), nullptr);
  CloseConnection(number, kStreamMode);
}

TEST(StreamCalls, WrongNumbersAndKindsAreRefusedWithoutHarmToTheOpenConnection) {
  const std::int16_t unused = NextFreeNumber();
  EXPECT_EQ(ErrorOf([&] { SendText(unused, "x"); }), kErrNotOpen);
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(ReceiveLine(unused), ""); }), kErrNotOpen);
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(AtEndOfData(unused), 0); }), kErrNotOpenAtEnd);
  EXPECT_EQ(ErrorOf([&] { CloseConnection(unused, kStreamMode); }), 0);

  bool client_closed = false;
  LoopbackServer server([&client_closed](ServerPeer& peer) {
    peer.Send(peer.ReceiveAtLeast(5, kServerMs));
    client_closed = peer.WaitForClientClose(kServerMs);
  });
  ErrorScope scope;
  const std::int16_t number = Open(server.Port());
  ASSERT_EQ(LastError(), 0);
  const auto open_again = [&](std::int16_t n) {
    return ErrorOf([&] { OpenStream(n, server.Port(), kLoopback, Text(), kPatientMs); });
  };
  EXPECT_EQ(open_again(-1), kErrNotOpen);
  EXPECT_EQ(open_again(number), kErrAlreadyOpen);
  SendText(number, "ping\n");
  EXPECT_EQ(ReceiveLine(number), "ping");

  ConnectionRecord* record = FindConnection(number);
  record->mode = kDatagramMode;
  EXPECT_EQ(ErrorOf([&] { SendText(number, "x"); }), kErrWrongKind);
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(ReceiveLine(number), ""); }), kErrWrongKind);
  EXPECT_EQ(ErrorOf([&] { CloseConnection(number, kStreamMode); }), kErrWrongKind);
  EXPECT_EQ(FindConnection(number), record);
  // A mask of 0 closes a connection of any kind.
  CloseConnection(number, 0);
  EXPECT_EQ(FindConnection(number), nullptr);
  EXPECT_EQ(LastError(), 0);
  ASSERT_TRUE(server.WaitForServed(1, kServerMs));
  EXPECT_TRUE(client_closed);
}
