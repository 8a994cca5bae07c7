// The program's error numbers for the errors of socket calls on POSIX systems.
#include <errno.h>

#include "net/socket_error.h"
#include "text/error_table.h"

namespace {
constexpr ErrorRow kSocketErrors[] = {{{EINPROGRESS}, kErrInProgress}};
}  // namespace

ErrorNumber SocketErrorNumber(std::uint32_t system_error) {
  return LookUpSystemError(kSocketErrors, system_error, kErrSocket);
}

ErrorNumber LastSocketError() { return SocketErrorNumber(static_cast<std::uint32_t>(errno)); }
