// The socket seam on POSIX systems: BSD sockets standing in for the Winsock calls.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "net/socket.h"
#include "net/socket_bsd.h"
#include "net/socket_error.h"
#include "system/descriptor_posix.h"
#include "system/retry_posix.h"
#include "system/wait_limit_posix.h"

namespace {

int Descriptor(std::intptr_t socket) { return static_cast<int>(socket); }

// The longest single wait for a connect.
constexpr std::chrono::milliseconds kConnectStep{20};

// macOS and the BSDs have no MSG_NOSIGNAL; SO_NOSIGPIPE on the socket does the same there. Start-up
// ignores SIGPIPE too; this keeps a send safe without that.
#ifdef MSG_NOSIGNAL
constexpr int kNoSignal = MSG_NOSIGNAL;
#else
constexpr int kNoSignal = 0;
#endif

// One poll of `descriptor` lasting at most `limit`; the result and errno as poll leaves them.
int PollOnce(pollfd* descriptor, std::chrono::microseconds limit) {
#if defined(__linux__) || defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__)
  // ppoll keeps the microseconds of the wait limit.
  const timespec span = ToTimespec(limit);
  return ppoll(descriptor, 1, &span, nullptr);
#else
  // poll counts whole milliseconds; round up so that the wait is never shorter than asked.
  const long long milliseconds = (limit.count() + 999) / 1000;
  return poll(descriptor, 1, milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds));
#endif
}

// Waits for a connect the system goes on with until it has made or refused the connection, or
// fails with 57 when it has done neither by `deadline`. The waits are short: one that a stop
// (Ctrl+Z, SIGSTOP) cuts off is resumed by the system with the time it had left before the stop
// (Linux writes ppoll's remaining time back; qemu-user issues the call again as it was), so a wait
// may run past the deadline by at most one step. After every wait the socket is asked first, so a
// connection made while the process was stopped counts, however late it continues.
ErrorNumber AwaitConnect(int descriptor, std::chrono::steady_clock::time_point deadline) {
  pollfd watched{descriptor, POLLOUT, 0};
  for (;;) {
    const auto left = std::max(
        std::chrono::microseconds{0},
        std::chrono::ceil<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now()));
    watched.revents = 0;
    const int result = PollOnce(&watched, std::min<std::chrono::microseconds>(left, kConnectStep));
    if (result > 0) return ConnectOutcome(descriptor);
    if (result < 0 && !InterruptedBySignal()) return LastSocketError();
    // Only a look that began at the deadline or after it ends the wait.
    if (result == 0 && left.count() == 0) return kErrSocket;
  }
}

}  // namespace

ErrorNumber StartSocketLibrary() { return 0; }

void EndSocketLibrary() {}

ErrorNumber ResolveHost(const Text& host, IpAddress* address, bool* name_answered) {
  *address = IpAddress{};
  *name_answered = false;
  // Dotted IPv4 text needs no lookup; other forms of it ("127.1") getaddrinfo reads, as names.
  if (inet_pton(AF_INET, host.c_str(), address->bytes.data()) == 1) return 0;
  const int result = LookUpAddress(host, IpFamily::kIPv4, 0, address);
  *name_answered = result == 0 || AnswerHeldNoAddress(result);
  if (result == 0) return 0;
  return result == EAI_SYSTEM ? LastSocketError() : kErrSocket;
}

ErrorNumber CreateStreamSocket(IpFamily family, std::intptr_t* socket_out) {
  int type = SOCK_STREAM;
#ifdef SOCK_CLOEXEC
  // Programs the tests start must not inherit the connection.
  type |= SOCK_CLOEXEC;
#endif
  const int descriptor = AboveStandardDescriptors(socket(NativeFamily(family), type, IPPROTO_TCP));
  if (descriptor < 0) return LastSocketError();
#ifdef SO_NOSIGPIPE
  // macOS and the BSDs: a send to a vanished peer must not raise SIGPIPE.
  const int on = 1;
  if (setsockopt(descriptor, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on) != 0) {
    const ErrorNumber error = LastSocketError();
    close(descriptor);
    return error;
  }
#endif
  *socket_out = descriptor;
  return 0;
}

ErrorNumber TurnLingerOff(std::intptr_t socket) {
  // POSIX has no SO_DONTLINGER; a linger record with lingering off means the same.
  linger off;
  off.l_onoff = 0;
  off.l_linger = 0;
  if (setsockopt(Descriptor(socket), SOL_SOCKET, SO_LINGER, &off, sizeof off) != 0) {
    return LastSocketError();
  }
  return 0;
}

ErrorNumber ConnectSocket(std::intptr_t socket, const SocketEndpoint& target,
                          std::chrono::steady_clock::time_point deadline) {
  const int descriptor = Descriptor(socket);
  // The program sets its own limit: a port whose packets are dropped would hold a blocking
  // connect for more than two minutes on Linux, and the send time-out that can shorten it runs on
  // a coarse kernel timer and starts afresh after every interruption.
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags < 0 || fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) != 0) return LastSocketError();
  ErrorNumber outcome = 0;
  if (!StartConnect(socket, target)) {
    // Interrupted by a signal, the attempt goes on in the background all the same.
    outcome = errno == EINPROGRESS || InterruptedBySignal() ? AwaitConnect(descriptor, deadline)
                                                            : LastSocketError();
  }
  // Everything after the connect reads and waits on a blocking socket: a receive follows only a
  // wait that found data. (On Linux a socket left non-blocking would behave the same here, as
  // every send is non-blocking anyway; the seam promises a blocking one.)
  if (outcome == 0 && fcntl(descriptor, F_SETFL, flags) != 0) return LastSocketError();
  return outcome;
}

ErrorNumber WaitForSocket(std::intptr_t socket, SocketWait what, std::chrono::microseconds limit,
                          bool* ready) {
  // poll, unlike select with an fd_set, works for any descriptor value.
  pollfd descriptor{Descriptor(socket),
                    static_cast<short>(what == SocketWait::kReadable ? POLLIN : POLLOUT), 0};
  const int result = WaitAfterSignal(limit, 0, [&](std::chrono::microseconds left) {
    descriptor.revents = 0;
    return PollOnce(&descriptor, left);
  });
  if (result < 0) return LastSocketError();
  if (result > 0 && (descriptor.revents & POLLNVAL) != 0) return kErrSocket;
  // An error or hang-up counts as ready: the send or recv that follows reports it.
  *ready = result > 0;
  return 0;
}

ErrorNumber SendSome(std::intptr_t socket, const char* bytes, std::size_t count,
                     std::size_t* sent) {
  // MSG_DONTWAIT: take what fits now, so that a peer that stops reading meets the next bounded
  // wait instead of blocking this call for good.
  const ssize_t result = RetryAfterSignal(
      -1, [&] { return send(Descriptor(socket), bytes, count, kNoSignal | MSG_DONTWAIT); });
  if (result >= 0) {
    *sent = static_cast<std::size_t>(result);
    return 0;
  }
  if (errno != EAGAIN && errno != EWOULDBLOCK) return LastSocketError();
  *sent = 0;
  return 0;
}

ErrorNumber ReceiveSome(std::intptr_t socket, std::uint8_t* buffer, std::size_t capacity,
                        std::size_t* count) {
  const ssize_t result =
      RetryAfterSignal(-1, [&] { return recv(Descriptor(socket), buffer, capacity, 0); });
  if (result < 0) return LastSocketError();
  *count = static_cast<std::size_t>(result);
  return 0;
}

void CloseSocket(std::intptr_t socket) { close(Descriptor(socket)); }
