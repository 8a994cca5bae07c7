// Line output: every message of the program, as whole lines on standard output.
#pragma once

#include <cstdint>
#include <string_view>

#include "system/process_state.h"
#include "text/text.h"

// Writes the text, then 13 10, to standard output, unbuffered. A failed write raises its error
// number in the calling routine and the line goes on. The program's own fixed lines need no
// memory on the way out.
void PrintLine(std::string_view text);
// -1 when standard output was a console/terminal at start-up, else 0.
inline std::int32_t StdoutIsConsole() { return Process().console_flag; }
