// Writing a whole byte string to a POSIX descriptor.
#pragma once

#include "text/text.h"

// Writes every byte, going on after short writes and EINTR, and waiting while a non-blocking
// descriptor is full; 0, or the errno of the write that failed.
int WriteAll(int fd, const Text& bytes);
