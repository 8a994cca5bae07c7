// Writing a line onto a POSIX terminal in the form the terminal filter shows.
#include "console/shown_line_posix.h"

#include "console/terminal_filter.h"
#include "system/write_all_posix.h"
#include "text/text.h"

namespace {

// One thread, and no signal handler writes a line: one buffer serves every line. It is not on the
// stack, which stays as shallow as it was.
char g_shown[4096];

}  // namespace

int WriteShownLine(int fd, std::string_view text) {
  for (;;) {
    std::size_t shown = 0;
    text.remove_prefix(FilterForTerminal(text, g_shown, sizeof g_shown, &shown));
    const std::string_view piece(g_shown, shown);
    if (text.empty()) return WriteAll(fd, piece, kLineEnd);
    if (const int error = WriteAll(fd, piece); error != 0) return error;
  }
}
