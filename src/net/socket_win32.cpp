// The socket seam on Windows: the Winsock calls of the stream connections, as they are.
#include <winsock2.h>

#include <climits>
#include <cstring>

#include "net/socket.h"
#include "net/socket_error.h"

namespace {

SOCKET Native(std::intptr_t socket) { return static_cast<SOCKET>(socket); }

int ChunkSize(std::size_t count) { return count > INT_MAX ? INT_MAX : static_cast<int>(count); }

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

ErrorNumber LookUpService(const Text& service, std::uint16_t* port) {
  const servent* entry = getservbyname(service.c_str(), "tcp");
  if (entry == nullptr) return LastSocketError();
  *port = static_cast<std::uint16_t>(entry->s_port);
  return 0;
}

ErrorNumber ResolveHost(const Text& host, std::uint32_t* address) {
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr) return LastSocketError();
  if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list == nullptr ||
      entry->h_addr_list[0] == nullptr) {
    return kErrSocket;
  }
  std::memcpy(address, entry->h_addr_list[0], 4);
  return 0;
}

ErrorNumber CreateStreamSocket(std::intptr_t* socket_out) {
  const SOCKET created = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
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

ErrorNumber ConnectSocket(std::intptr_t socket, std::uint32_t address, std::uint16_t port) {
  return StartConnect(socket, address, port) ? ErrorNumber{0} : LastSocketError();
}

ErrorNumber WaitForSocket(std::intptr_t socket, SocketWait what, std::chrono::microseconds limit,
                          bool* ready) {
  fd_set sockets;
  FD_ZERO(&sockets);
  FD_SET(Native(socket), &sockets);
  // select rejects a microsecond part of a million or more: carry whole seconds over.
  timeval span;
  span.tv_sec = static_cast<long>(limit.count() / 1000000);
  span.tv_usec = static_cast<long>(limit.count() % 1000000);
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
