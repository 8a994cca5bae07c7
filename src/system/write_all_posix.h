// Writing whole byte strings to a POSIX descriptor.
#pragma once

#include <string_view>

// Writes every byte of `first`, then of `second`, in one system call when the descriptor takes
// them at once; goes on after short writes and signals, and waits while a non-blocking
// descriptor is full. 0, or the errno of the write that failed (EIO for one that made no
// progress and reported nothing).
int WriteAll(int fd, std::string_view first, std::string_view second = {});
