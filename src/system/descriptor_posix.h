// Keeping the descriptors the program opens off standard input, output and error (POSIX).
#pragma once

// `descriptor` itself when it is above standard error; when it took the place of a standard
// descriptor that was closed, a duplicate of it above standard error (close-on-exec), and the
// original is closed. -1 when `descriptor` is -1 or no duplicate can be had, with errno telling
// why.
int AboveStandardDescriptors(int descriptor);
