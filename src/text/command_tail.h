// The command tail: what the user typed after the program's name, trimmed of spaces.
#pragma once

#include <string_view>

#include "text/text.h"

// The tail of a Windows command line: the program's name, quoted or not, and the spaces after it
// skipped. The line ends at its first NUL, if it holds one.
std::string_view SkipProgramName(std::string_view command_line);
// The POSIX command line: the arguments after the program name joined with one space each. The
// shell has already removed the program name and the quotes.
Text JoinArguments(int argc, const char* const* argv);
// Keeps the tail for CommandTail; what it views must stay valid for the rest of the run.
void SetCommandTail(std::string_view tail);
// A fresh copy of the tail with the spaces at both ends removed (only the byte 32 is a space).
Text CommandTail();
