// Where the system's error codes become the program's error numbers: one table per platform.
#pragma once

#include <cstdint>
#include <span>

#include "text/error.h"

// For a failed socket call, from the system's code (errno; a Winsock code on Windows):
// kErrInProgress for an operation in progress, kErrSocket for anything else.
ErrorNumber SocketErrorNumber(std::uint32_t system_error);
// The same, for the error the last failed socket call left (errno; WSAGetLastError on Windows).
ErrorNumber LastSocketError();
// For a failed write to standard output, from the system's code (errno; the thread's last-error
// code on Windows): kErrIo for any code the table does not list.
ErrorNumber OutputErrorNumber(std::uint32_t system_error);

// One row of a platform's table: the system's codes (0 pads the list) that give `number` after a
// failed call of one kind.
enum class FailedCall { kSocket, kOutput };
struct ErrorRow {
  FailedCall call;
  std::uint32_t codes[9];
  ErrorNumber number;
};
// The platform's table (error_table_posix.cpp, error_table_win32.cpp).
extern const std::span<const ErrorRow> kSystemErrors;
