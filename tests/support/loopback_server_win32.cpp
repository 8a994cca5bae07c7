// The loopback test server's socket calls on Windows (Winsock); signals do not exist there.
#include <winsock2.h>

#include <climits>

#include "support/loopback_server.h"
#include "support/loopback_server_sockets.h"

namespace loopback_sockets {
namespace {

// Winsock stays started for the whole test run: a socket that a test holds must outlive any
// WSACleanup that the program under test makes.
void StartWinsockOnce() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

SOCKET Native(std::intptr_t socket) { return static_cast<SOCKET>(socket); }

int ChunkSize(std::size_t count) { return count > INT_MAX ? INT_MAX : static_cast<int>(count); }

}  // namespace

std::intptr_t Bind(std::uint16_t port, bool listen, std::uint16_t* bound) {
  StartWinsockOnce();
  // No SO_REUSEADDR: on Windows it would let two listeners share the port.
  const SOCKET created = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (created == INVALID_SOCKET) return kNone;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(created, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(created, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      (listen && ::listen(created, 16) != 0)) {
    closesocket(created);
    return kNone;
  }
  *bound = ntohs(address.sin_port);
  return static_cast<std::intptr_t>(created);
}

int Wait(std::intptr_t socket, bool for_reading, int timeout_ms) {
  fd_set sockets;
  FD_ZERO(&sockets);
  FD_SET(Native(socket), &sockets);
  timeval span;
  span.tv_sec = timeout_ms / 1000;
  span.tv_usec = (timeout_ms % 1000) * 1000;
  const int result =
      select(0, for_reading ? &sockets : nullptr, for_reading ? nullptr : &sockets, nullptr, &span);
  if (result == SOCKET_ERROR) return -1;
  return result > 0 ? 1 : 0;
}

std::intptr_t Accept(std::intptr_t listener) {
  const SOCKET accepted = accept(Native(listener), nullptr, nullptr);
  if (accepted == INVALID_SOCKET) return kNone;
  // Non-blocking, so that a send to a client that stops reading cannot hang the server.
  u_long on = 1;
  ioctlsocket(accepted, FIONBIO, &on);
  return static_cast<std::intptr_t>(accepted);
}

long Send(std::intptr_t socket, const char* bytes, std::size_t count) {
  const int sent = send(Native(socket), bytes, ChunkSize(count), 0);
  if (sent != SOCKET_ERROR) return sent;
  return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long Receive(std::intptr_t socket, char* buffer, std::size_t capacity) {
  const int got = recv(Native(socket), buffer, ChunkSize(capacity), 0);
  return got == SOCKET_ERROR ? -1 : got;
}

void Close(std::intptr_t socket, bool reset) {
  const linger abortive{1, 0};
  if (reset) {
    setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
               sizeof abortive);
  }
  closesocket(Native(socket));
}

}  // namespace loopback_sockets

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int OpenSocketCount() { return -1; }
