// Writing a line onto a POSIX terminal in the form the terminal filter shows.
#pragma once

#include <string_view>

// Writes the shown form of `text` (see FilterForTerminal), then 13 10, to `fd` without needing
// memory: in one write when it fits the buffer, as most lines do. 0, or the errno of the write
// that failed (see WriteAll).
int WriteShownLine(int fd, std::string_view text);
