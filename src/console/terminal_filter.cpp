// The terminal filter for bytes a peer sent.
#include "console/terminal_filter.h"

#include <cstddef>

namespace {

// The length of the valid UTF-8 sequence that starts at `at`, or 0 when none does (a stray
// continuation byte, an overlong form, a surrogate, a cut-off sequence).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

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
