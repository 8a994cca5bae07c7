// The program's error numbers for the errors of a write to standard output on POSIX systems.
#include <errno.h>

#include "console/output_error.h"
#include "text/error_table.h"

namespace {

constexpr ErrorRow kOutputErrors[] = {
    {{EBADF}, kErrBadHandle},
    {{ENOSPC, EDQUOT, EFBIG}, kErrShortWrite},
    {{ENOMEM}, kErrNoMemory},
    {{EACCES, EPERM}, kErrAccess},
};

}  // namespace

ErrorNumber OutputErrorNumber(std::uint32_t system_error) {
  return LookUpSystemError(kOutputErrors, system_error, kErrIo);
}
