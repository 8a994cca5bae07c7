// Text: elementary operations on counted byte strings.
#include "text/text.h"

std::int32_t TextLength(const Text& text) { return static_cast<std::int32_t>(text.size()); }

bool TextEquals(const Text& a, const Text& b) { return a == b; }

Text TextFromCodes(std::initializer_list<int> codes) {
  return GuardedText([&] {
    Text result;
    result.reserve(codes.size());
    for (int code : codes) result.push_back(static_cast<char>(static_cast<unsigned char>(code)));
    return result;
  });
}

Text LineEnd() { return TextFromCodes({13, 10}); }
