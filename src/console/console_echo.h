// The console echo: a line written straight onto the user's screen.
#pragma once

#include "text/text.h"

// Shows the line at the console cursor when standard output is redirected; reports nothing.
void ConsolePrintLine(const Text& text);
