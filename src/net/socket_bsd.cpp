// The socket calls that POSIX systems and Windows Sockets share, made alike on both.
#ifdef _WIN32
#include <winsock2.h>
using NativeSocket = SOCKET;
using AddressLength = int;
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
using AddressLength = socklen_t;
#endif

#include <cstring>

#include "net/socket.h"
#include "net/socket_error.h"

namespace {

NativeSocket Native(std::intptr_t socket) { return static_cast<NativeSocket>(socket); }

}  // namespace

bool StartConnect(std::intptr_t socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in target;
  std::memset(&target, 0, sizeof target);
  target.sin_family = AF_INET;
  target.sin_port = port;
  target.sin_addr.s_addr = address;
  return connect(Native(socket), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
}

bool ReadEndpoints(std::intptr_t socket, SocketEndpoint* local, SocketEndpoint* peer) {
  sockaddr_in mine;
  sockaddr_in theirs;
  AddressLength mine_length = sizeof mine;
  AddressLength theirs_length = sizeof theirs;
  if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&mine), &mine_length) != 0 ||
      getpeername(Native(socket), reinterpret_cast<sockaddr*>(&theirs), &theirs_length) != 0 ||
      mine.sin_family != AF_INET || theirs.sin_family != AF_INET) {
    return false;
  }
  *local = SocketEndpoint{mine.sin_addr.s_addr, mine.sin_port};
  *peer = SocketEndpoint{theirs.sin_addr.s_addr, theirs.sin_port};
  return true;
}

ErrorNumber ReadLocalHostName(char (&area)[kHostNameArea]) {
  std::memset(area, 0, sizeof area);
  if (gethostname(area, static_cast<int>(sizeof area)) != 0) return LastSocketError();
  return 0;
}
