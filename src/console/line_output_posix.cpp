// Line output on POSIX systems: one write per line on standard output, no buffering.
#include "console/line_output.h"
#include "console/process_state.h"
#include "console/terminal_filter.h"
#include "console/write_all_posix.h"

void PrintLine(std::string_view text) {
  const bool terminal = StdoutIsConsole() != 0;
  const Text shown = terminal ? FilterForTerminal(text) : Text();
  // The text and its line end in one write; a file or a pipe gets the text without a copy.
  const ErrorNumber error = WriteAll(static_cast<int>(Process().std_output),
                                     terminal ? std::string_view(shown) : text, kLineEnd);
  if (error != 0) RaiseError(error);
}

std::int32_t StdoutIsConsole() { return Process().console_flag; }
