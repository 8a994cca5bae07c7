// Text: a counted byte string (any byte, NUL included) and its elementary operations.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>

#include "text/error.h"

using Text = std::string;

// Runs `make` and returns its Text; when storage runs out the result is empty and error 7 is
// raised, so no operation lets an allocation failure escape.
template <typename Make>
Text GuardedText(Make&& make) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    RaiseError(kErrNoMemory);
    return Text();
  } catch (const std::length_error&) {
    RaiseError(kErrNoMemory);
    return Text();
  }
}

std::int32_t TextLength(const Text& text);
bool TextEquals(const Text& a, const Text& b);
// The bytes of every part (Text or C string), in order, as one new Text.
template <typename... Parts>
Text ConcatText(const Parts&... parts) {
  return GuardedText([&] {
    Text result;
    (result.append(parts), ...);
    return result;
  });
}
// One byte per code (each 0 to 255), in order.
Text TextFromCodes(std::initializer_list<int> codes);
// The two-byte line end 13, 10.
Text LineEnd();
