// The socket seam on Windows: the Winsock calls of the stream connections, as they are.
#include <winsock2.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "net/socket.h"
#include "net/socket_bsd.h"
#include "net/socket_error.h"

namespace {

SOCKET Native(std::intptr_t socket) { return static_cast<SOCKET>(socket); }

int ChunkSize(std::size_t count) { return count > INT_MAX ? INT_MAX : static_cast<int>(count); }

timeval Span(std::chrono::microseconds limit) {
  // select rejects a microsecond part of a million or more: carry whole seconds over.
  timeval span;
  span.tv_sec = static_cast<long>(limit.count() / 1000000);
  span.tv_usec = static_cast<long>(limit.count() % 1000000);
  return span;
}

bool SetBlocking(SOCKET socket, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  return ioctlsocket(socket, FIONBIO, &non_blocking) == 0;
}

// Waits for a connect the system goes on with until it has made or refused the connection, or
// fails with 57 when it has done neither by `deadline`. A failed connect shows in the error set.
ErrorNumber AwaitConnect(SOCKET socket, std::chrono::steady_clock::time_point deadline) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);
  timeval span = Span(std::max(
      std::chrono::microseconds{0},
      std::chrono::ceil<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now())));
  const int result = select(0, nullptr, &writable, &failed, &span);
  if (result == SOCKET_ERROR) return LastSocketError();
  if (result == 0) return kErrSocket;
  const ErrorNumber outcome = ConnectOutcome(static_cast<std::intptr_t>(socket));
  // A failure that left no error code behind is still a failure.
  return outcome == 0 && FD_ISSET(socket, &failed) ? kErrSocket : outcome;
}

}  // namespace

ErrorNumber StartSocketLibrary() {
  WSADATA data;
  if (WSAStartup(0x0002, &data) != 0) return kErrNoLibrary;
  if (LOBYTE(data.wVersion) != 2) {
    WSACleanup();
    return kErrNoLibrary;
  }
  return 0;
}

void EndSocketLibrary() { WSACleanup(); }

ErrorNumber ResolveHost(const Text& host, IpAddress* address, bool* name_answered) {
  *address = IpAddress{};
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr) {
    const int error = WSAGetLastError();
    *name_answered = AnswerHeldNoAddress(error);
    return SocketErrorNumber(static_cast<std::uint32_t>(error));
  }
  *name_answered = true;
  if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == nullptr ||
      entry->h_addr_list[0] == nullptr) {
    return kErrSocket;
  }
  std::memcpy(address->bytes.data(), entry->h_addr_list[0], 4);
  return 0;
}

ErrorNumber CreateStreamSocket(IpFamily family, std::intptr_t* socket_out) {
  const SOCKET created = socket(NativeFamily(family), SOCK_STREAM, IPPROTO_TCP);
  if (created == INVALID_SOCKET) return LastSocketError();
  *socket_out = static_cast<std::intptr_t>(created);
  return 0;
}

ErrorNumber TurnLingerOff(std::intptr_t socket) {
  const BOOL on = TRUE;
  if (setsockopt(Native(socket), SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<const char*>(&on),
                 sizeof on) != 0) {
    return LastSocketError();
  }
  return 0;
}

ErrorNumber ConnectSocket(std::intptr_t socket, const SocketEndpoint& target,
                          std::chrono::steady_clock::time_point deadline) {
  // An IPv4 connect blocks until the system decides, as it always has. An IPv6 connect may follow
  // a refused IPv4 one of the same probe, so it waits only for what is left of the deadline.
  if (target.address.family == IpFamily::kIPv4) {
    return StartConnect(socket, target) ? ErrorNumber{0} : LastSocketError();
  }
  const SOCKET native = Native(socket);
  if (!SetBlocking(native, false)) return LastSocketError();
  ErrorNumber outcome = 0;
  if (!StartConnect(socket, target)) {
    outcome =
        WSAGetLastError() == WSAEWOULDBLOCK ? AwaitConnect(native, deadline) : LastSocketError();
  }
  if (outcome == 0 && !SetBlocking(native, true)) return LastSocketError();
  return outcome;
}

ErrorNumber WaitForSocket(std::intptr_t socket, SocketWait what, std::chrono::microseconds limit,
                          bool* ready) {
  fd_set sockets;
  FD_ZERO(&sockets);
  FD_SET(Native(socket), &sockets);
  timeval span = Span(limit);
  const bool reading = what == SocketWait::kReadable;
  const int result =
      select(0, reading ? &sockets : nullptr, reading ? nullptr : &sockets, nullptr, &span);
  if (result == SOCKET_ERROR) return LastSocketError();
  *ready = result > 0;
  return 0;
}

ErrorNumber SendSome(std::intptr_t socket, const char* bytes, std::size_t count,
                     std::size_t* sent) {
  const int result = send(Native(socket), bytes, ChunkSize(count), 0);
  if (result == SOCKET_ERROR) return LastSocketError();
  *sent = static_cast<std::size_t>(result);
  return 0;
}

ErrorNumber ReceiveSome(std::intptr_t socket, std::uint8_t* buffer, std::size_t capacity,
                        std::size_t* count) {
  const int result = recv(Native(socket), reinterpret_cast<char*>(buffer), ChunkSize(capacity), 0);
  if (result == SOCKET_ERROR) return LastSocketError();
  *count = static_cast<std::size_t>(result);
  return 0;
}

void CloseSocket(std::intptr_t socket) { closesocket(Native(socket)); }
