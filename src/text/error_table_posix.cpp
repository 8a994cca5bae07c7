// The system's error codes to the program's error numbers, on POSIX systems.
#include <errno.h>

#include "text/error_table.h"

namespace {

constexpr ErrorRow kRows[] = {
    {FailedCall::kSocket, {EINPROGRESS}, kErrInProgress},
    {FailedCall::kOutput, {EBADF}, kErrBadHandle},
    {FailedCall::kOutput, {ENOSPC, EDQUOT, EFBIG}, kErrShortWrite},
    {FailedCall::kOutput, {ENOMEM}, kErrNoMemory},
    {FailedCall::kOutput, {EACCES, EPERM}, kErrAccess},
};

}  // namespace

const std::span<const ErrorRow> kSystemErrors(kRows);

ErrorNumber LastSocketError() { return SocketErrorNumber(static_cast<std::uint32_t>(errno)); }
