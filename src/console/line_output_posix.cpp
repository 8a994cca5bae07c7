// Line output on POSIX systems: one write per line on standard output, no buffering.
#include "console/line_output.h"
#include "console/output_error.h"
#include "console/terminal_filter.h"
#include "system/process_state.h"
#include "system/write_all_posix.h"

void PrintLine(std::string_view text) {
  const bool terminal = StdoutIsConsole() != 0;
  const Text shown = terminal ? FilterForTerminal(text) : Text();
  // The text and its line end in one write; a file or a pipe gets the text without a copy.
  const int error = WriteAll(static_cast<int>(Process().std_output),
                             terminal ? std::string_view(shown) : text, kLineEnd);
  if (error != 0) RaiseError(OutputErrorNumber(static_cast<std::uint32_t>(error)));
}

std::int32_t StdoutIsConsole() { return Process().console_flag; }
