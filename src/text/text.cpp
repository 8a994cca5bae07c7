// Text: elementary operations on counted byte strings.
#include "text/text.h"

std::int32_t TextLength(std::string_view text) { return static_cast<std::int32_t>(text.size()); }

bool TextEquals(std::string_view a, std::string_view b) { return a == b; }

Text CopyText(std::string_view text) {
  return GuardedText([&] { return Text(text); });
}

Text TextFromCodes(std::initializer_list<int> codes) {
  return GuardedText([&] {
    Text result;
    result.reserve(codes.size());
    for (int code : codes) result.push_back(static_cast<char>(static_cast<unsigned char>(code)));
    return result;
  });
}
