// The keyboard poll.
#pragma once

#include "text/text.h"

// Readies the keyboard for the key polls of a repeating run: on POSIX the controlling terminal is
// switched to key-by-key input here, and only here, so that a run that never reads a key leaves
// the terminal as it found it. (Windows set its console modes at start-up.)
void PrepareKeyboard();

// One key without waiting: empty (no key), one byte (its character; Escape is 27), or two
// bytes (0 and a PC scan code) for keys without a character and Alt with a letter.
Text PollKey();
