// Writing a whole byte string to a POSIX descriptor.
#pragma once

#include "text/error.h"
#include "text/text.h"

// Writes every byte, going on after short writes and signals, and waiting while a non-blocking
// descriptor is full; 0, or the error number of the write that failed.
ErrorNumber WriteAll(int fd, const Text& bytes);
