// Fuzz target for everything that reads bytes a user or a server controls: the command line,
// number text, the target split, received lines, the terminal filter and the key decoder.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/key_decoder.h"
#include "console/terminal_filter.h"
#include "net/line_assembly.h"
#include "probe/probe.h"
#include "text/command_tail.h"
#include "text/fields.h"
#include "text/number.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The terminal filter's whole output, taken `room` bytes at a time (a long line takes several).
char shown_buffer[64];
Text Shown(std::string_view text, std::size_t room) {
  Text out;
  for (std::size_t shown = 0; !text.empty(); out.append(shown_buffer, shown)) {
    text.remove_prefix(FilterForTerminal(text, shown_buffer, room, &shown));
    Check(shown <= room);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SetNumberEnvironment();
  ErrorScope scope;
  const Text bytes(reinterpret_cast<const char*>(data), size);

  // The command line as Windows hands it over (NUL-terminated) and as the driver splits it: the
  // double-space collapse agrees with a plain one-pass model, the fields at " " join back into
  // the command text, and the host is the target up to its first colon, or in "[ADDR]:PORT" and
  // "[ADDR]" up to the colon after the first "]".
  const std::string_view tail = SkipProgramName(bytes);
  Check(tail.data() >= bytes.data() && tail.end() <= bytes.data() + std::strlen(bytes.c_str()));
  SetCommandTail(tail);
  const Text command = ReplaceText(CommandTail(), "  ", " ");
  Text model;
  for (std::size_t i = 0; i < CommandTail().size();
       i += CommandTail().compare(i, 2, "  ") ? 1 : 2) {
    model += CommandTail()[i];
  }
  Check(command == model);
  const auto spaces = static_cast<std::int32_t>(std::count(command.begin(), command.end(), ' '));
  Text joined = FieldText(command, " ", 1);
  for (std::int32_t k = 2; k <= spaces + 1; ++k)
    joined.append(" ").append(FieldText(command, " ", k));
  Check(joined == command);
  const Text target = FieldText(command, " ", 1);
  const ProbeTarget split = SplitTarget(target);
  const std::size_t close = target.starts_with('[') ? target.find(']') : Text::npos;
  const bool bracketed =
      close != Text::npos && (close + 1 == target.size() || target[close + 1] == ':');
  const std::size_t colon = !bracketed                  ? target.find(':')
                            : close + 1 < target.size() ? close + 1
                                                        : Text::npos;
  Check(split.host == target.substr(0, colon));
  Check(colon != Text::npos || split.port == 23);

  // Numbers: reading never fails; a rounded integer is the nearest one, or the most negative
  // value when none fits (the 64-bit rounding is the same code); every 32-bit integer's text
  // reads back as itself.
  const Number value = TextToNumber(bytes);
  Check(NumberToText(value).size() <= 23);
  const std::int32_t int32 = NumberToInt32(value);
  Check(int32 == INT32_MIN || std::fabs(static_cast<Number>(int32) - value) <= 0.5L);
  std::int32_t n = 0;
  std::memcpy(&n, data, std::min(size, sizeof n));
  Check(NumberToInt32(TextToNumber(NumberToText(Int32ToNumber(n)))) == n);

  // Received bytes: the lines keep every byte but CR and LF, in order, and no receive takes more
  // than its limit; on a terminal no control but TAB survives the filter, which changes nothing
  // the second time and shows the same through a buffer that holds only one character.
  std::vector<std::uint8_t> buffer(bytes.begin(), bytes.end());
  auto pending = static_cast<std::uint32_t>(size);
  const auto limit = static_cast<std::uint32_t>(1 + size / 3);
  Text lines;
  while (pending > 0) {
    std::uint32_t taken = 0;
    AssembleLine(buffer.data(), pending, taken, limit, lines);
    Check(taken > 0 && taken <= limit);
  }
  Text expected = bytes;
  std::erase_if(expected, [](char c) { return c == '\r' || c == '\n'; });
  Check(lines == expected);
  const Text shown = Shown(bytes, sizeof shown_buffer);
  for (unsigned char c : shown) Check((c >= 0x20 || c == '\t') && c != 0x7F);
  Check(Shown(shown, sizeof shown_buffer) == shown);
  Check(Shown(bytes, kLongestShownCharacter) == shown);

  // Typed bytes: every key uses at least one byte and never more than there are, and a lone ESC
  // at the end is Escape.
  for (std::size_t at = 0; at < size;) {
    const TerminalKey key = DecodeTerminalBytes(std::string_view(bytes).substr(at));
    Check(key.used >= 1 && key.used <= size - at && !key.key.empty());
    Check(size - at != 1 || data[at] != 27 || key.key == "\x1b");
    at += key.used;
  }
  return 0;
}
