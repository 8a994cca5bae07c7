// Tests of what the program's runs cannot show deterministically: the receive wait's length, a
// failed open's socket, a socket that the system connects to itself, and (POSIX) waits and writes
// that signals interrupt.
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

#include <string>
#include <thread>

#include "console/line_output.h"
#include "net/socket.h"
#include "net/stream.h"
#include "system/process_state.h"

using namespace std::chrono_literals;

namespace {

// A socket bound to the loopback address of `family` on a port the system picks, which
// `endpoint` holds with the address.
std::intptr_t BoundToLoopback(IpFamily family, SocketEndpoint* endpoint) {
  const bool ipv6 = family == IpFamily::kIPv6;
  std::intptr_t socket = kNoSocket;
  EXPECT_EQ(CreateStreamSocket(family, &socket), 0);
  bool name_answered = false;
  EXPECT_EQ(ipv6 ? ReadIPv6Address("::1", &endpoint->address)
                 : ResolveHost("127.0.0.1", &endpoint->address, &name_answered),
            0);
  sockaddr_in6 address6{};
  address6.sin6_family = AF_INET6;
  address6.sin6_addr = in6addr_loopback;
  sockaddr_in address4{};
  address4.sin_family = AF_INET;
  address4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto* address =
      ipv6 ? reinterpret_cast<sockaddr*>(&address6) : reinterpret_cast<sockaddr*>(&address4);
  socklen_t length = ipv6 ? sizeof address6 : sizeof address4;
  const auto native = static_cast<decltype(::socket(0, 0, 0))>(socket);
  EXPECT_EQ(bind(native, address, length), 0);
  getsockname(native, address, &length);
  endpoint->port = ipv6 ? address6.sin6_port : address4.sin_port;
  return socket;
}

}  // namespace

// A receive from a silent peer waits its whole limit, microseconds included: 976 units of 1,024
// microseconds are 999,424, just short of a second; closing the connection ends it at once. Once
// the port is closed an open fails and leaves no socket behind. A socket connected to its own port
// (the simultaneous open that a loopback connect to a closed port in the ephemeral range can
// stumble into) took no server either: it is refused, over IPv4 and IPv6 alike.
TEST(Socket, AReceiveWaitsItsLimitAndAnOpenNoServerTookFailsLeavingNoSocket) {
  ASSERT_EQ(StartSocketLibrary(), 0);
  SocketEndpoint bound;
  std::intptr_t socket = BoundToLoopback(IpFamily::kIPv4, &bound);
  ASSERT_EQ(listen(static_cast<decltype(::socket(0, 0, 0))>(socket), 1), 0);
  const std::int32_t port = ntohs(bound.port);
  ErrorScope scope;
  const std::int16_t number = NextFreeNumber();
  OpenStream(number, port, "127.0.0.1", Text(), 976);
  ASSERT_EQ(LastError(), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReceiveLine(number), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(990));
  EXPECT_EQ(LastError(), kErrTimeout);
  CloseConnection(number, kStreamMode);
  // The connection ends at once: its other end has the end of data.
  const auto accepted = accept(static_cast<decltype(::socket(0, 0, 0))>(socket), nullptr, nullptr);
  bool ended = false;
  WaitForSocket(static_cast<std::intptr_t>(accepted), SocketWait::kReadable,
                std::chrono::milliseconds(100), &ended);
  char byte;
  EXPECT_TRUE(ended && recv(accepted, &byte, 1, 0) == 0);
  CloseSocket(static_cast<std::intptr_t>(accepted));
  CloseSocket(socket);

#ifndef _WIN32
  // A socket left open would hold the lowest free descriptor.
  const auto lowest_free = [] {
    const int fd = open("/dev/null", O_RDONLY);
    return close(fd), fd;
  };
  const int free_before = lowest_free();
#endif
  OpenStream(NextFreeNumber(), port, "127.0.0.1", Text(), 5);
  EXPECT_EQ(LastError(), kErrSocket);
#ifndef _WIN32
  EXPECT_EQ(lowest_free(), free_before);
#endif
  for (const IpFamily family : {IpFamily::kIPv4, IpFamily::kIPv6}) {
    socket = BoundToLoopback(family, &bound);
    EXPECT_EQ(ConnectAsClient(socket, bound, std::chrono::steady_clock::now() + 21s), kErrSocket);
    CloseSocket(socket);
  }
  EndSocketLibrary();
}

#ifndef _WIN32
// SIGALRM every 2 ms, from a handler installed without SA_RESTART, cuts blocking calls short: a
// wait must resume with the time left, and a line written to a full pipe that a parent handed over
// non-blocking must wait for room until the pipe is drained.
TEST(Socket, WaitsAndWritesGoOnWhenSignalsInterruptThem) {
  struct sigaction action = {}, previous = {};
  action.sa_handler = [](int) {};
  sigaction(SIGALRM, &action, &previous);
  const itimerval every{{0, 2000}, {0, 2000}};
  setitimer(ITIMER_REAL, &every, nullptr);

  int pipe_ends[2];
  ASSERT_EQ(pipe2(pipe_ends, O_NONBLOCK), 0);
  const auto start = std::chrono::steady_clock::now();
  bool ready = true;
  EXPECT_EQ(
      WaitForSocket(pipe_ends[0], SocketWait::kReadable, std::chrono::milliseconds(300), &ready),
      0);
  EXPECT_FALSE(ready);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

  const auto filled = write(pipe_ends[1], std::string(1 << 20, 'f').data(), 1 << 20);
  ASSERT_GT(filled, 0);  // as much as fits
  // The reader takes what the writer owes and no more, so a writer that repeats itself fails.
  const std::string owed = std::string(filled, 'f') + "after the signals\r\n";
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string got(owed.size(), '\0');
    for (std::size_t at = 0; at < got.size();) {
      const ssize_t count = read(pipe_ends[0], &got[at], got.size() - at);  // not blocking
      if (count == 0) break;                                                // the writer gave up
      if (count > 0) at += static_cast<std::size_t>(count);
    }
    EXPECT_EQ(got, owed);
    close(pipe_ends[0]);
  });
  Process().std_output = pipe_ends[1];
  ErrorScope scope;
  PrintLine("after the signals");
  EXPECT_EQ(LastError(), 0);
  close(pipe_ends[1]);
  reader.join();

  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
}
#endif
