// Search, substrings, fields and replacement in Text; positions count from 1, 0 means none.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/text.h"

// Position of the first occurrence of `pattern` at or after `start`, or 0.
std::int32_t FindText(std::int32_t start, std::string_view text, std::string_view pattern);
// At most `length` bytes of `text` from position `start`.
Text MidText(std::string_view text, std::int32_t start, std::int32_t length);
// Field `field` (from 1) of `text` split at every occurrence of `delimiter`.
Text FieldText(std::string_view text, std::string_view delimiter, std::int32_t field);
// Every occurrence of `pattern` replaced by `replacement` in one left-to-right pass; occurrences
// the replacement makes are not replaced again. A result over 2,147,483,647 bytes: error 5.
Text ReplaceText(std::string_view text, std::string_view pattern, std::string_view replacement);
