// The command tail: what the user typed after the program's name, trimmed of spaces.
#pragma once

#include "text/text.h"

// Where the tail begins inside a NUL-terminated Windows command line (the program's name,
// quoted or not, and the spaces after it are skipped). Never reads past the terminating NUL.
const char* SkipProgramName(const char* command_line);
// The POSIX command line: the arguments after the program name joined with one space each. The
// shell has already removed the program name and the quotes.
Text JoinArguments(int argc, const char* const* argv);
// Remembers where the tail begins; `position` must stay valid for the rest of the run.
void SetTailPosition(const char* position);
// A fresh copy of the tail with the spaces at both ends removed (only the byte 32 is a space).
Text CommandTail();
// Every occurrence of `pattern` replaced by `replacement` in one left-to-right pass.
Text ReplaceText(const Text& text, const Text& pattern, const Text& replacement);
