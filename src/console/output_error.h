// The program's error numbers for the system's errors of a write to standard output: one table
// per platform.
#pragma once

#include <cstdint>

#include "text/error.h"

// From the system's code (errno; the thread's last-error code on Windows): kErrIo for any code
// the table does not list.
ErrorNumber OutputErrorNumber(std::uint32_t system_error);
