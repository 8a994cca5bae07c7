// Makes received bytes safe to show on a POSIX terminal without changing what they say.
#pragma once

#include "text/text.h"

// ESC becomes the two characters "^[", and a UTF-8 C1 control (C2 80 to C2 9F) becomes "^["
// followed by its 7-bit form, so a peer cannot drive the user's terminal. Every other byte,
// CR, LF, BS, TAB and BEL included, passes unchanged.
Text FilterForTerminal(const Text& text);
