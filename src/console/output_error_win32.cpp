// The program's error numbers for the errors of a write to standard output on Windows (the
// thread's last-error codes).
#include <windows.h>

#include "console/output_error.h"
#include "text/error_table.h"

namespace {

// Codes not listed (ERROR_INVALID_FUNCTION, ERROR_CURRENT_DIRECTORY, 35, 37 and every code from 40
// on but ERROR_DISK_FULL, among them) give kErrIo.
constexpr ErrorRow kOutputErrors[] = {
    {{ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY}, kErrNoMemory},
    {{ERROR_INVALID_HANDLE, ERROR_BAD_FORMAT, ERROR_INVALID_ACCESS, ERROR_INVALID_DATA,
      ERROR_BAD_COMMAND, ERROR_BAD_LENGTH},
     kErrBadHandle},
    {{ERROR_FILE_NOT_FOUND, ERROR_NO_MORE_FILES}, kErrFileNotFound},
    {{ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL}, kErrShortWrite},
    {{ERROR_HANDLE_EOF}, kErrPastEnd},
    {{ERROR_TOO_MANY_OPEN_FILES}, kErrTooManyFiles},
    {{ERROR_INVALID_DRIVE, ERROR_BAD_UNIT}, kErrNoDevice},
    {{ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION,
      ERROR_SHARING_BUFFER_EXCEEDED},
     kErrAccess},
    {{ERROR_NOT_READY}, kErrNotReady},
    {{ERROR_CRC, ERROR_SEEK, ERROR_NOT_DOS_DISK, ERROR_SECTOR_NOT_FOUND, ERROR_OUT_OF_PAPER,
      ERROR_WRITE_FAULT, ERROR_READ_FAULT, ERROR_GEN_FAILURE, ERROR_WRONG_DISK},
     kErrMedia},
    {{ERROR_NOT_SAME_DEVICE}, kErrOtherDevice},
    {{ERROR_PATH_NOT_FOUND}, kErrPathNotFound},
    {{ERROR_ARENA_TRASHED, ERROR_INVALID_BLOCK, ERROR_BAD_ENVIRONMENT}, kErrSystemMemory},
};

}  // namespace

ErrorNumber OutputErrorNumber(std::uint32_t system_error) {
  return LookUpSystemError(kOutputErrors, system_error, kErrIo);
}
