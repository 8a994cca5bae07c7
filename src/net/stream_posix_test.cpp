// Tests of the stream connections' contract beyond what the program's runs show: wrong numbers
// and kinds, failed opens that leave nothing behind, resets, long sends, waits and deadlines, and
// waits, opens and sleeps that signals interrupt. The peer is a plain POSIX socket on 127.0.0.1.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <thread>

#include "console/sleep.h"
#include "net/socket.h"
#include "net/stream.h"

namespace loopback {

// A socket bound to 127.0.0.1 on a port the system chose, listening when `listen` is set. Waits
// on it, and on the connections it accepts, end after five seconds.
int Bind(bool listen, std::uint16_t* port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t length = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  const timeval limit{5, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  if (listen) ::listen(s, 16);
  *port = ntohs(address.sin_port);
  return s;
}

// Everything until the client closes its side.
std::string ReceiveAll(int socket) {
  std::string all;
  char chunk[65536];
  for (ssize_t n; (n = recv(socket, chunk, sizeof chunk, 0)) > 0;) all.append(chunk, n);
  return all;
}

}  // namespace loopback

namespace {

using Clock = std::chrono::steady_clock;

// A listener on 127.0.0.1 and the program's connection to it, with the accepted end as `peer`.
struct Connected {
  explicit Connected(std::uint32_t timeout_1024us = 3000, const Text& host = "127.0.0.1") {
    listener = loopback::Bind(true, &port);
    OpenStream(number, port, host, Text(), timeout_1024us);
    peer = accept(listener, nullptr, nullptr);
  }
  ~Connected() {
    CloseConnection(number, 0);
    close(peer);
    close(listener);
  }
  std::uint16_t port = 0;
  int listener = -1;
  std::int16_t number = NextFreeNumber();
  int peer = -1;
};

// SIGALRM every 2 ms while it lives. The handler does nothing and is installed without
// SA_RESTART, so that blocking calls are cut short.
struct SignalStorm {
  SignalStorm() {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigaction(SIGALRM, &action, &previous);
    const itimerval every{{0, 2000}, {0, 2000}};
    setitimer(ITIMER_REAL, &every, nullptr);
  }
  ~SignalStorm() {
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
  }
  struct sigaction previous {};
};

template <typename Call>
ErrorNumber ErrorOf(Call call) {
  ErrorScope scope;
  call();
  return LastError();
}

}  // namespace

TEST(Stream, WrongNumbersAndKindsAreRefusedAndTheOpenConnectionKeepsWorking) {
  const std::int16_t unused = NextFreeNumber();
  EXPECT_EQ(ErrorOf([&] { SendText(unused, "x"); }), kErrNotOpen);
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(ReceiveLine(unused), ""); }), kErrNotOpen);
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(AtEndOfData(unused), 0); }), kErrNotOpenAtEnd);
  EXPECT_EQ(ErrorOf([&] { CloseConnection(unused, kStreamMode); }), 0);

  Connected c(100);
  ASSERT_NE(FindConnection(c.number), nullptr);
  EXPECT_EQ(FindConnection(c.number)->timeout_1024us, 100u);
  const auto open_on = [&](std::int16_t n) {
    return ErrorOf([&] { OpenStream(n, c.port, "127.0.0.1", Text(), 0); });
  };
  EXPECT_EQ(open_on(-1), kErrNotOpen);
  EXPECT_EQ(open_on(c.number), kErrAlreadyOpen);
  send(c.peer, "one\r\ntwo", 8, 0);
  EXPECT_EQ(ReceiveLine(c.number), "one");
  EXPECT_EQ(AtEndOfData(c.number), 0);
  // A sent text clears the end of data that the prompt set.
  EXPECT_EQ(ReceiveLine(c.number), "two");
  EXPECT_EQ(AtEndOfData(c.number), -1);
  SendText(c.number, "ok");
  EXPECT_EQ(AtEndOfData(c.number), 0);

  FindConnection(c.number)->mode = kDatagramMode;
  EXPECT_EQ(ErrorOf([&] { SendText(c.number, "x"); }), kErrWrongKind);
  EXPECT_EQ(ErrorOf([&] { ReceiveLine(c.number); }), kErrWrongKind);
  EXPECT_EQ(ErrorOf([&] { CloseConnection(c.number, kStreamMode); }), kErrWrongKind);
  // A mask of 0 closes a connection of any kind; the peer sees the close.
  CloseConnection(c.number, 0);
  EXPECT_EQ(FindConnection(c.number), nullptr);
  const Clock::time_point closed = Clock::now();
  EXPECT_EQ(loopback::ReceiveAll(c.peer), "ok");
  EXPECT_LT(Clock::now() - closed, std::chrono::seconds(4)) << "the close reached the peer";

  Connected unlimited(0);
  EXPECT_EQ(FindConnection(unlimited.number)->timeout_1024us, kNoTimeout);
}

// The program cannot pass some of these (a NUL in a host, a negative port); none may connect,
// keep a socket or keep its number.
TEST(Stream, FailedOpensLeaveNothingBehindAndASelfConnectIsRefused) {
  std::uint16_t port = 0;
  const int listener = loopback::Bind(true, &port);
  // The lowest free descriptor stays the same: no socket is left open.
  const int free_descriptor = dup(0);
  close(free_descriptor);
  for (const auto& [host, port_argument, service] :
       {std::tuple<Text, std::int32_t, Text>{Text("127.0.0.1\0.x", 11), port, ""},
        {"127.0.0.1", -1, ""},
        {"127.0.0.1", -1, "no-such-service"},
        {"127.0.0.1", 0, ""},
        {"127.0.0.1", port + 65536, ""}}) {
    const std::int16_t number = NextFreeNumber();
    EXPECT_EQ(ErrorOf([&] { OpenStream(number, port_argument, host, service, 5); }), kErrSocket);
    EXPECT_EQ(FindConnection(number), nullptr);
  }
  EXPECT_EQ(dup(0), free_descriptor);
  close(free_descriptor);
  close(listener);

  // Connecting a bound socket to its own port is the simultaneous open that a loopback connect
  // to a closed port in the ephemeral range can stumble into.
  const int socket = loopback::Bind(false, &port);
  EXPECT_EQ(
      ConnectAsClient(socket, 0x0100007F, static_cast<std::uint16_t>((port >> 8) | (port << 8))),
      kErrSocket);
  close(socket);
  std::uint16_t telnet = 0;
  ASSERT_EQ(LookUpService("telnet", &telnet), 0) << "the system's services file lacks telnet";
  EXPECT_EQ(telnet, 23 << 8);  // network byte order
}

// Without MSG_NOSIGNAL a send after the reset would end this process with SIGPIPE.
TEST(Stream, AResetGives57OnReceiveAndSend) {
  Connected c;
  const linger abortive{1, 0};
  setsockopt(c.peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  close(c.peer);
  c.peer = -1;
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(ReceiveLine(c.number), ""); }), kErrSocket);
  ErrorNumber error = 0;
  for (int attempt = 0; attempt < 50 && error == 0; ++attempt) {
    error = ErrorOf([&] { SendText(c.number, "data"); });
  }
  EXPECT_EQ(error, kErrSocket);
}

TEST(Stream, ALongTextGoesOutWholeThroughPartialSends) {
  Connected c;
  Text bulk(1 << 23, '\0');
  for (std::size_t i = 0; i < bulk.size(); ++i) bulk[i] = static_cast<char>(i % 251);
  std::string received;
  std::thread reader([&] { received = loopback::ReceiveAll(c.peer); });
  EXPECT_EQ(ErrorOf([&] { SendText(c.number, bulk); }), 0);
  CloseConnection(c.number, kStreamMode);
  reader.join();
  EXPECT_EQ(received, bulk);
}

// 1023 means 1,047,552 microseconds: more than a second in the microsecond part alone.
TEST(Stream, WaitsLastTheirLimitOrEndAtTheDeadline) {
  EXPECT_EQ(WaitLimit(5), std::chrono::microseconds(5120));
  EXPECT_EQ(WaitLimit(1023), std::chrono::microseconds(1047552));
  EXPECT_EQ(WaitLimit(1024), std::chrono::seconds(1));
  Connected c(1023, "localhost");
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { ReceiveLine(c.number, start + std::chrono::milliseconds(100)); }),
            kErrTimeout);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(700));
}

TEST(Stream, OpensWaitsAndSleepsGoOnWhenSignalsInterruptThem) {
  SignalStorm storm;
  for (int attempt = 0; attempt < 5; ++attempt) {
    Connected c(300);
    ASSERT_NE(c.peer, -1);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { ReceiveLine(c.number); }), kErrTimeout);
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(300 * 1024));
  }
  const Clock::time_point start = Clock::now();
  SleepMs(150);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
}
