// UTF-8: how long the sequence is that a byte starts.
#pragma once

#include <cstddef>
#include <string_view>

// 2, 3 or 4 for a byte that leads a sequence of that length (C2 to F4), else 0 (ASCII, a
// continuation byte, C0, C1, F5 to FF).
std::size_t Utf8LeadLength(unsigned char lead);

// The length of the valid UTF-8 sequence that starts at `at`, or 0 when none does (a stray
// continuation byte, an overlong form, a surrogate, a cut-off sequence).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);
