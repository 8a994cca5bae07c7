// The program's error numbers for the errors of socket calls on Windows (Winsock codes).
#include <winsock2.h>

#include "net/socket_error.h"
#include "text/error_table.h"

namespace {
constexpr ErrorRow kSocketErrors[] = {{{WSAEINPROGRESS}, kErrInProgress}};
}  // namespace

ErrorNumber SocketErrorNumber(std::uint32_t system_error) {
  return LookUpSystemError(kSocketErrors, system_error, kErrSocket);
}

ErrorNumber LastSocketError() {
  return SocketErrorNumber(static_cast<std::uint32_t>(WSAGetLastError()));
}
