// Tests of the stream connections' contract beyond what the program's runs show: wrong numbers
// and kinds, failed opens that leave nothing behind, resets, long sends, waits and deadlines, and
// (POSIX) waits and writes that signals interrupt. The peer is a plain socket on 127.0.0.1.
#include "net/stream.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <thread>

#include "console/line_output.h"
#include "console/process_state.h"
#include "net/socket.h"

namespace {

using Clock = std::chrono::steady_clock;
using Peer = decltype(socket(0, 0, 0));

// A socket bound to 127.0.0.1 on a port the system chose, listening when `listen` is set. Waits
// on it, and on the connections it accepts, end after five seconds.
Peer Bind(bool listen, std::uint16_t* port) {
  StartSocketLibrary();  // for the test's own sockets, and never ended
  const Peer s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
#ifdef _WIN32
  const DWORD limit = 5000;
#else
  const timeval limit{5, 0};
#endif
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
  if (listen) ::listen(s, 16);
  *port = ntohs(address.sin_port);
  return s;
}

// Everything until the client closes its side.
std::string ReceiveAll(Peer socket) {
  std::string all;
  static char chunk[65536];
  for (int n; (n = recv(socket, chunk, sizeof chunk, 0)) > 0;) all.append(chunk, n);
  return all;
}

// A listener on 127.0.0.1 and the program's connection to it, with the accepted end as `peer`.
struct Connected {
  explicit Connected(std::uint32_t timeout_1024us = 3000, const Text& host = "127.0.0.1") {
    listener = Bind(true, &port);
    OpenStream(number, port, host, Text(), timeout_1024us);
    peer = accept(listener, nullptr, nullptr);
  }
  ~Connected() {
    CloseConnection(number, 0);
    CloseSocket(static_cast<std::intptr_t>(peer));
    CloseSocket(static_cast<std::intptr_t>(listener));
  }
  std::uint16_t port = 0;
  Peer listener;
  std::int16_t number = NextFreeNumber();
  Peer peer;
};

#ifndef _WIN32
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
#endif

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
  EXPECT_EQ(ErrorOf([&] { OpenStream(-1, c.port, "127.0.0.1", Text(), 0); }), kErrNotOpen);
  EXPECT_EQ(ErrorOf([&] { OpenStream(c.number, c.port, "127.0.0.1", Text(), 0); }),
            kErrAlreadyOpen);
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
  EXPECT_EQ(ReceiveAll(c.peer), "ok");
  EXPECT_LT(Clock::now() - closed, std::chrono::seconds(4)) << "the close reached the peer";

  Connected unlimited(0);
  EXPECT_EQ(FindConnection(unlimited.number)->timeout_1024us, kNoTimeout);
}

// The program cannot pass some of these (a NUL in a host, a negative port); none may connect,
// keep a socket or keep its number.
TEST(Stream, FailedOpensLeaveNothingBehindAndASelfConnectIsRefused) {
  std::uint16_t port = 0;
  const Peer listener = Bind(true, &port);
#ifndef _WIN32
  // The lowest free descriptor stays the same: no socket is left open.
  const int free_descriptor = dup(0);
  close(free_descriptor);
#endif
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
#ifndef _WIN32
  EXPECT_EQ(dup(0), free_descriptor);
  close(free_descriptor);
#endif
  CloseSocket(static_cast<std::intptr_t>(listener));

  // Connecting a bound socket to its own port is the simultaneous open that a loopback connect
  // to a closed port in the ephemeral range can stumble into.
  const auto socket = static_cast<std::intptr_t>(Bind(false, &port));
  EXPECT_EQ(
      ConnectAsClient(socket, 0x0100007F, static_cast<std::uint16_t>((port >> 8) | (port << 8))),
      kErrSocket);
  CloseSocket(socket);
  std::uint16_t telnet = 0;
  ASSERT_EQ(LookUpService("telnet", &telnet), 0) << "the system's services file lacks telnet";
  EXPECT_EQ(telnet, 23 << 8);  // network byte order
}

// Without MSG_NOSIGNAL a send after the reset would end this process with SIGPIPE.
TEST(Stream, AResetGives57OnReceiveAndSend) {
  Connected c;
  const linger abortive{1, 0};
  setsockopt(c.peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
             sizeof abortive);
  CloseSocket(static_cast<std::intptr_t>(c.peer));
  const ErrorNumber received = ErrorOf([&] { EXPECT_EQ(ReceiveLine(c.number), ""); });
#ifdef _WIN32
  // Wine's recv reports a reset as the end of data, Windows' as a failure.
  EXPECT_TRUE(received == kErrSocket || (received == 0 && AtEndOfData(c.number) == -1));
#else
  EXPECT_EQ(received, kErrSocket);
#endif
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
  std::thread reader([&] { received = ReceiveAll(c.peer); });
  EXPECT_EQ(ErrorOf([&] { SendText(c.number, bulk); }), 0);
  CloseConnection(c.number, kStreamMode);
  reader.join();
  EXPECT_EQ(received, bulk);
}

// 1023 means 1,047,552 microseconds: more than a second in the microsecond part alone.
TEST(Stream, WaitsLastTheirLimitOrEndAtTheDeadline) {
  EXPECT_EQ(WaitLimit(5), std::chrono::microseconds(5120));
  EXPECT_EQ(WaitLimit(1023), std::chrono::microseconds(1047552));
  Connected c(1023, "localhost");
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { ReceiveLine(c.number, start + std::chrono::milliseconds(100)); }),
            kErrTimeout);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(700));
}

#ifndef _WIN32
// A wait resumes with the time left; a blocking write (here to a full pipe, drained later) goes on.
TEST(Stream, WaitsAndWritesGoOnWhenSignalsInterruptThem) {
  SignalStorm storm;
  Connected c(300);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { ReceiveLine(c.number); }), kErrTimeout);
  EXPECT_GE(Clock::now() - start, std::chrono::microseconds(300 * 1024));
  int pipe_ends[2];
  ASSERT_EQ(pipe2(pipe_ends, O_NONBLOCK), 0);
  ASSERT_GT(write(pipe_ends[1], std::string(1 << 20, 'f').data(), 1 << 20), 0);  // as much as fits
  fcntl(pipe_ends[1], F_SETFL, 0);
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    char chunk[4096];
    while (read(pipe_ends[0], chunk, sizeof chunk) > 0) continue;
  });
  Process().std_output = pipe_ends[1];
  EXPECT_EQ(ErrorOf([] { PrintLine("after the signals"); }), 0);
  close(pipe_ends[1]);
  reader.join();
}
#endif
