// Makes received bytes safe to show on a POSIX terminal without changing what they say.
#pragma once

#include <string_view>

#include "text/text.h"

// Every C0 control but TAB, and DEL, is shown in caret notation ("^H", "^@", "^[", "^?"), and a
// C1 control, as UTF-8 (C2 80 to C2 9F) or as a raw byte 80 to 9F that no valid UTF-8 sequence
// holds, as "^[" and its 7-bit form. So a peer can neither drive the terminal nor rub out what
// the program wrote. Valid UTF-8 characters and every other byte pass unchanged.
Text FilterForTerminal(std::string_view text);
