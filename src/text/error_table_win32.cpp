// The system's error codes to the program's error numbers, on Windows.
#include <winsock2.h>

#include "text/error_table.h"

namespace {

// Winsock codes for socket calls, the thread's last-error codes for output. Output codes not
// listed (1, 16, 35, 37 and every code of 40 or more but 112, among them) give kErrIo.
constexpr ErrorRow kRows[] = {
    {FailedCall::kSocket, {WSAEINPROGRESS}, kErrInProgress},
    {FailedCall::kOutput, {8, 14}, kErrNoMemory},
    {FailedCall::kOutput, {6, 11, 12, 13, 22, 24}, kErrBadHandle},
    {FailedCall::kOutput, {2, 18}, kErrFileNotFound},
    {FailedCall::kOutput, {39, 112}, kErrShortWrite},
    {FailedCall::kOutput, {38}, kErrPastEnd},
    {FailedCall::kOutput, {4}, kErrTooManyFiles},
    {FailedCall::kOutput, {15, 20}, kErrNoDevice},
    {FailedCall::kOutput, {5, 19, 32, 33, 36}, kErrAccess},
    {FailedCall::kOutput, {21}, kErrNotReady},
    {FailedCall::kOutput, {23, 25, 26, 27, 28, 29, 30, 31, 34}, kErrMedia},
    {FailedCall::kOutput, {17}, kErrOtherDevice},
    {FailedCall::kOutput, {3}, kErrPathNotFound},
    {FailedCall::kOutput, {7, 9, 10}, kErrSystemMemory},
};

}  // namespace

const std::span<const ErrorRow> kSystemErrors(kRows);

ErrorNumber LastSocketError() {
  return SocketErrorNumber(static_cast<std::uint32_t>(WSAGetLastError()));
}
