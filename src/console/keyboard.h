// The keyboard poll.
#pragma once

#include "text/text.h"

// One key without waiting: empty (no key), one byte (its character; Escape is 27), or two
// bytes (0 and a PC scan code) for keys without a character and Alt with a letter.
Text PollKey();
