// Line output on POSIX systems: write(2) on standard output, no buffering.
#include "console/line_output.h"
#include "console/process_state.h"
#include "console/terminal_filter.h"
#include "console/write_all_posix.h"

namespace {

void WriteToStdout(const Text& bytes) {
  if (const ErrorNumber error = WriteAll(static_cast<int>(Process().std_output), bytes);
      error != 0) {
    RaiseError(error);
  }
}

}  // namespace

void PrintLine(const Text& text) {
  if (!text.empty()) WriteToStdout(StdoutIsConsole() != 0 ? FilterForTerminal(text) : text);
  WriteToStdout(LineEnd());
}

std::int32_t StdoutIsConsole() { return Process().console_flag; }
