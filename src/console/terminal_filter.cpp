// The terminal filter for bytes a peer sent.
#include "console/terminal_filter.h"

#include <cstring>

#include "text/utf8.h"

std::size_t FilterForTerminal(std::string_view text, char* out, std::size_t room,
                              std::size_t* shown) {
  std::size_t i = 0;
  std::size_t filled = 0;
  while (i < text.size()) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte >= 0x80 ? Utf8SequenceLength(text, i) : 1;
    // A byte that starts no valid sequence stands for itself.
    const std::size_t taken = length == 0 ? 1 : length;
    const unsigned char last = static_cast<unsigned char>(text[i + taken - 1]);
    char form[kLongestShownCharacter];
    std::size_t form_length = 0;
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      form[form_length++] = '^';
      form[form_length++] = static_cast<char>(byte ^ 0x40);
    } else if (((length == 2 && byte == 0xC2) || length == 0) && last <= 0x9F) {
      // A C1 control: ESC and the 7-bit form of the control.
      form[form_length++] = '^';
      form[form_length++] = '[';
      form[form_length++] = static_cast<char>(last - 0x40);
    } else {
      form_length = taken;
      std::memcpy(form, text.data() + i, taken);
    }
    if (filled + form_length > room) break;
    std::memcpy(out + filled, form, form_length);
    filled += form_length;
    i += taken;
  }
  *shown = filled;
  return i;
}
