// Fuzz target for everything that reads bytes a user or a server controls: the command line,
// number text, the target split, the terminal filter and the key decoders.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/key_decoder.h"
#include "console/terminal_filter.h"
#include "probe/probe.h"
#include "text/command_tail.h"
#include "text/fields.h"
#include "text/number.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SetNumberEnvironment();
  ErrorScope scope;
  const Text bytes(reinterpret_cast<const char*>(data), size);

  // The command line as Windows hands it over (NUL-terminated) and as the driver splits it.
  const std::string line = bytes.c_str();
  const std::string_view tail = SkipProgramName(bytes);
  Check(tail.data() >= bytes.data() && tail.data() + tail.size() <= bytes.data() + line.size());
  SetCommandTail(tail);
  const Text command = ReplaceText(CommandTail(), "  ", " ");
  Check(command.size() <= line.size());
  const Text target = FieldText(command, " ", 1);
  const ProbeTarget split = SplitTarget(target);
  Check(split.host.size() <= target.size());

  // Numbers: reading never fails, and writing gives at most a sign, 15 digits, a point and a
  // four-digit exponent.
  const Number value = TextToNumber(bytes);
  Check(NumberToText(value).size() <= 23);
  Check(NumberToInt64(value) != 7 || NumberToInt32(value) == 7);

  // Received bytes on their way to a terminal: no control but TAB survives, and what is shown
  // is shown again unchanged (no raw C1 byte is left outside a valid UTF-8 sequence).
  const Text shown = FilterForTerminal(bytes);
  for (unsigned char c : shown) Check((c >= 0x20 || c == '\t') && c != 0x7F);
  Check(FilterForTerminal(shown) == shown);

  // Typed bytes: every key uses at least one byte and never more than there are.
  for (std::size_t at = 0; at < size;) {
    const TerminalKey key = DecodeTerminalBytes(std::string_view(bytes).substr(at));
    Check(key.used >= 1 && key.used <= size - at && !key.key.empty());
    at += key.used;
  }
  if (size >= 5) {
    const KeyEventRecord event{
        (data[0] & 1) != 0, (data[0] & 2) != 0, data[1], data[2], data[3], data[4]};
    const KeyDecision decision = DecideKeyEvent(event);
    Check(decision.key.size() <= 2);
  }
  return 0;
}
