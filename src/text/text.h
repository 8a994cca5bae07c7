// Text: a counted byte string (any byte, NUL included), its elementary operations, and the one
// guarded path through which every Text is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "text/error.h"

using Text = std::string;

// True when storage for reporting a shortage is set aside (see GuardAllocation); sets it aside
// first when it is not. False means memory has run out.
bool MemoryReserveReady();

// Runs `work`, which may allocate, and tells whether it got all the storage it asked for. An
// allocation failure never escapes: `work` is cut short and the result is false. Without memory
// to report a failure with (see text.cpp), `work` is not even started.
template <typename Work>
bool GuardAllocation(Work&& work) {
  if (!MemoryReserveReady()) return false;
  try {
    work();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

// Runs `make` and returns its Text; when storage runs out the result is empty and error 7 is
// raised. Every Text the program makes comes from here or from an operation built on it.
template <typename Make>
Text GuardedText(Make&& make) {
  Text result;
  if (!GuardAllocation([&] { result = make(); })) RaiseError(kErrNoMemory);
  return result;
}
// The same for the texts that report no error (the clock and number texts): empty without
// storage, the error number left as it is.
template <typename Make>
Text TextOrEmpty(Make&& make) {
  Text result;
  GuardAllocation([&] { result = make(); });
  return result;
}

// The operations read their arguments as views, so a literal or a part of a text passed to them
// never becomes a Text of its own outside the guard.
std::int32_t TextLength(std::string_view text);
bool TextEquals(std::string_view a, std::string_view b);
// A new Text holding the same bytes.
Text CopyText(std::string_view text);
// The bytes of every part (Text, view or C string), in order, as one new Text.
template <typename... Parts>
Text ConcatText(const Parts&... parts) {
  const std::string_view views[] = {std::string_view(parts)...};
  return GuardedText([&] {
    std::size_t length = 0;
    for (std::string_view view : views) length += view.size();
    Text result;
    result.reserve(length);
    for (std::string_view view : views) result.append(view);
    return result;
  });
}
// One byte per code (each 0 to 255), in order.
// No caller (the program's fixed bytes are literals): kept as one of Text's elementary operations.
Text TextFromCodes(std::initializer_list<int> codes);
// The two-byte line end 13, 10.
inline constexpr std::string_view kLineEnd = "\r\n";
