// The console echo: a line written straight onto the user's screen.
#pragma once

#include <string_view>

// Shows the line at the console cursor when standard output is redirected; reports nothing.
void ConsolePrintLine(std::string_view text);
