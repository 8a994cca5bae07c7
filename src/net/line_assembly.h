// Received bytes into lines, without the OS: what one receive takes from a connection's buffer.
#pragma once

#include <cstdint>

#include "text/text.h"

enum class LineState {
  kComplete,  // a line feed ended the line
  kFull,      // `limit` bytes were taken in this receive without a line feed among them
  kNeedsMore  // the buffered bytes ran out first
};

// Moves bytes from the front of the `pending` bytes at `buffer` to the end of `line`: a carriage
// return is dropped wherever it stands, and a line feed ends the line without being stored. Every
// byte taken counts in `taken`, which one receive keeps for all its passes and which never grows
// past `limit`, the dropped bytes included. The bytes not taken move to the front of `buffer`,
// and `pending` counts them.
LineState AssembleLine(std::uint8_t* buffer, std::uint32_t& pending, std::uint32_t& taken,
                       std::uint32_t limit, Text& line);
