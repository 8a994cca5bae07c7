// The terminal filter for bytes a peer sent.
#include "console/terminal_filter.h"

#include <cstddef>

#include "text/utf8.h"

namespace {

void AppendCaret(Text& out, unsigned char control) {
  out.push_back('^');
  out.push_back(static_cast<char>(control ^ 0x40));
}

}  // namespace

Text FilterForTerminal(std::string_view text) {
  return GuardedText([&] {
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
      const unsigned char byte = static_cast<unsigned char>(text[i]);
      const std::size_t length = byte >= 0x80 ? Utf8SequenceLength(text, i) : 1;
      if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
        AppendCaret(out, byte);
      } else if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
        AppendCaret(out, 0x1B);
        out.push_back(static_cast<char>(text[i + 1] - 0x40));
      } else if (length == 0 && byte <= 0x9F) {
        AppendCaret(out, 0x1B);
        out.push_back(static_cast<char>(byte - 0x40));
      } else {
        out.append(text.substr(i, length == 0 ? 1 : length));
      }
      i += length == 0 ? 1 : length;
    }
    return out;
  });
}
