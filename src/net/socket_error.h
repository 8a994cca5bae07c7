// The program's error numbers for the system's errors of socket calls: one table per platform.
#pragma once

#include <cstdint>

#include "text/error.h"

// For a failed socket call, from the system's code (errno; a Winsock code on Windows):
// kErrInProgress for an operation in progress, kErrSocket for anything else.
ErrorNumber SocketErrorNumber(std::uint32_t system_error);
// The same, for the error the last failed socket call left (errno; WSAGetLastError on Windows).
ErrorNumber LastSocketError();
