// Line output on POSIX systems: one write per line on standard output, no buffering.
#include "console/line_output.h"
#include "console/output_error.h"
#include "console/shown_line_posix.h"
#include "system/process_state.h"
#include "system/write_all_posix.h"

void PrintLine(std::string_view text) {
  const int fd = static_cast<int>(Process().std_output);
  // The text and its line end in one write; a file or a pipe gets the bytes as they are.
  const int error =
      StdoutIsConsole() != 0 ? WriteShownLine(fd, text) : WriteAll(fd, text, kLineEnd);
  if (error != 0) RaiseError(OutputErrorNumber(static_cast<std::uint32_t>(error)));
}
