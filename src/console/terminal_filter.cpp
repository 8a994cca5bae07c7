// The terminal filter for bytes a peer sent.
#include "console/terminal_filter.h"

Text FilterForTerminal(const Text& text) {
  return GuardedText([&] {
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      const unsigned char byte = static_cast<unsigned char>(text[i]);
      const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
      if (byte == 0x1B) {
        out += "^[";
      } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
        out += "^[";
        out.push_back(static_cast<char>(next - 0x40));
        ++i;
      } else {
        out.push_back(static_cast<char>(byte));
      }
    }
    return out;
  });
}
