// Makes received bytes safe to show on a POSIX terminal without changing what they say.
#pragma once

#include <cstddef>
#include <string_view>

// The longest shown form of one character: a valid 4-byte UTF-8 sequence passes whole.
inline constexpr std::size_t kLongestShownCharacter = 4;

// Every C0 control but TAB, and DEL, is shown in caret notation ("^H", "^@", "^[", "^?"), and a
// C1 control, as UTF-8 (C2 80 to C2 9F) or as a raw byte 80 to 9F that no valid UTF-8 sequence
// holds, as "^[" and its 7-bit form. So a peer can neither drive the terminal nor rub out what
// the program wrote. Valid UTF-8 characters and every other byte pass unchanged.
// Writes the shown form of the front of `text` into `out`, as many whole characters as fit in
// `room` bytes (at least kLongestShownCharacter), and returns how many bytes of `text` they
// stand for; `*shown` is how many bytes of `out` were written. It needs no memory, so a line
// reaches the terminal whole however short memory is.
std::size_t FilterForTerminal(std::string_view text, char* out, std::size_t room,
                              std::size_t* shown);
