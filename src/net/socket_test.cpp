// Tests of what the program's runs cannot show deterministically: the receive wait's length, the
// end of a closed connection, a failed open's socket, a socket that the system connects to itself.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <future>
#include <thread>

#include "net/socket.h"
#include "net/stream.h"

using namespace std::chrono_literals;

namespace {

// The system's own socket type (SOCKET on Windows).
using NativeSocket = decltype(::socket(0, 0, 0));
NativeSocket Native(std::intptr_t socket) { return static_cast<NativeSocket>(socket); }

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
  EXPECT_EQ(bind(Native(socket), address, length), 0);
  getsockname(Native(socket), address, &length);
  endpoint->port = ipv6 ? address6.sin6_port : address4.sin_port;
  return socket;
}

// A connection that `OpenStream` opened to a listener on 127.0.0.1, which has not accepted it.
class LoopbackConnection : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StartSocketLibrary(), 0);
    SocketEndpoint bound;
    listener_ = BoundToLoopback(IpFamily::kIPv4, &bound);
    ASSERT_EQ(listen(Native(listener_), 1), 0);
    OpenStream(number_, ntohs(bound.port), "127.0.0.1", Text(), 976);
    ASSERT_EQ(LastError(), 0);
  }
  void TearDown() override {
    CloseConnection(number_, kStreamMode);
    CloseSocket(listener_);
    EndSocketLibrary();
  }

  ErrorScope scope_;
  const std::int16_t number_ = NextFreeNumber();
  std::intptr_t listener_ = kNoSocket;
};

}  // namespace

// A receive from a silent peer waits its whole limit, microseconds included: 976 units of 1,024
// microseconds are 999,424, just short of a second. A receive that waited on regardless is cut
// off: the peer closes after 10 s.
TEST_F(LoopbackConnection, AReceiveWaitsItsWholeLimit) {
  std::promise<void> received;
  std::thread peer([&, done = received.get_future()] {
    const auto accepted = accept(Native(listener_), nullptr, nullptr);
    done.wait_for(10s);
    CloseSocket(static_cast<std::intptr_t>(accepted));
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReceiveLine(number_), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(990));
  EXPECT_EQ(LastError(), kErrTimeout);
  received.set_value();
  peer.join();
}

// A close ends the connection at once: its other end has the end of data.
TEST_F(LoopbackConnection, ACloseEndsItAtOnce) {
  CloseConnection(number_, kStreamMode);
  const auto accepted = accept(Native(listener_), nullptr, nullptr);
  bool ended = false;
  WaitForSocket(static_cast<std::intptr_t>(accepted), SocketWait::kReadable,
                std::chrono::milliseconds(100), &ended);
  char byte;
  EXPECT_TRUE(ended && recv(accepted, &byte, 1, 0) == 0);
  CloseSocket(static_cast<std::intptr_t>(accepted));
}

// An open that no server took fails: to a port closed since, leaving no socket behind; and on a
// socket connected to its own port (the simultaneous open that a loopback connect to a closed
// port in the ephemeral range can stumble into), over IPv4 and IPv6 alike.
TEST(Socket, AnOpenThatNoServerTookFails) {
  ASSERT_EQ(StartSocketLibrary(), 0);
  ErrorScope scope;
  SocketEndpoint bound;
  std::intptr_t socket = BoundToLoopback(IpFamily::kIPv4, &bound);
  CloseSocket(socket);
#ifndef _WIN32
  // A socket left open would hold the lowest free descriptor.
  const auto lowest_free = [] {
    const int fd = open("/dev/null", O_RDONLY);
    return close(fd), fd;
  };
  const int free_before = lowest_free();
#endif
  OpenStream(NextFreeNumber(), ntohs(bound.port), "127.0.0.1", Text(), 5);
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
