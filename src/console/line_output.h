// Line output: every message of the program, as whole lines on standard output.
#pragma once

#include <cstdint>

#include "text/text.h"

// Writes the text, then 13 10, to standard output, unbuffered. A failed write raises its error
// number in the calling routine and the line goes on.
void PrintLine(const Text& text);
// -1 when standard output was a console/terminal at start-up, else 0.
std::int32_t StdoutIsConsole();
