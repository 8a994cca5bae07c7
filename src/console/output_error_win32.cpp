// The program's error numbers for the errors of a write to standard output on Windows (the
// thread's last-error codes).
#include "console/output_error.h"
#include "text/error_table.h"

namespace {

// Codes not listed (1, 16, 35, 37 and every code of 40 or more but 112, among them) give kErrIo.
constexpr ErrorRow kOutputErrors[] = {
    {{8, 14}, kErrNoMemory},
    {{6, 11, 12, 13, 22, 24}, kErrBadHandle},
    {{2, 18}, kErrFileNotFound},
    {{39, 112}, kErrShortWrite},
    {{38}, kErrPastEnd},
    {{4}, kErrTooManyFiles},
    {{15, 20}, kErrNoDevice},
    {{5, 19, 32, 33, 36}, kErrAccess},
    {{21}, kErrNotReady},
    {{23, 25, 26, 27, 28, 29, 30, 31, 34}, kErrMedia},
    {{17}, kErrOtherDevice},
    {{3}, kErrPathNotFound},
    {{7, 9, 10}, kErrSystemMemory},
};

}  // namespace

ErrorNumber OutputErrorNumber(std::uint32_t system_error) {
  return LookUpSystemError(kOutputErrors, system_error, kErrIo);
}
