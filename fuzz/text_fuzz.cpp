// Fuzz target for everything that reads bytes a user or a server controls: the command line,
// number text, the target split, received lines, the terminal filter and the key decoders.
#include <algorithm>
#include <cmath>
#include <cstddef>
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

// The double-space collapse done the plain way: one pass, a replacement is not looked at again.
Text CollapsePairs(const Text& text) {
  Text result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    result += text[i];
    if (text[i] == ' ' && i + 1 < text.size() && text[i + 1] == ' ') ++i;
  }
  return result;
}

void CheckCommandLine(const Text& bytes) {
  // The command line as Windows hands it over (NUL-terminated) and as the driver splits it.
  const std::string line = bytes.c_str();
  const std::string_view tail = SkipProgramName(bytes);
  Check(tail.data() >= bytes.data() && tail.data() + tail.size() <= bytes.data() + line.size());
  SetCommandTail(tail);
  const Text command = ReplaceText(CommandTail(), "  ", " ");
  Check(command == CollapsePairs(CommandTail()));

  // The fields at " " put together again are the text; the target ends at the first space and
  // the host at the target's first colon.
  const std::int32_t spaces = static_cast<std::int32_t>(std::count(command.begin(), command.end(), ' '));
  Text joined = FieldText(command, " ", 1);
  for (std::int32_t k = 2; k <= spaces + 1; ++k) joined += " " + FieldText(command, " ", k);
  Check(joined == command && FieldText(command, " ", spaces + 2).empty());
  const Text target = FieldText(command, " ", 1);
  Check(target.find(' ') == Text::npos);
  const ProbeTarget split = SplitTarget(target);
  Check(split.host == target.substr(0, target.find(':')));
  if (target.find(':') == Text::npos) Check(split.port == 23);
}

void CheckNumbers(const Text& bytes, const std::uint8_t* data, std::size_t size) {
  // Reading never fails; writing gives at most a sign, 15 digits, a point and a 4-digit exponent.
  const Number value = TextToNumber(bytes);
  Check(NumberToText(value).size() <= 23);
  // A rounded integer is the nearest one, or the most negative value when none fits.
  const std::int32_t int32 = NumberToInt32(value);
  Check(int32 == INT32_MIN || std::fabs(static_cast<Number>(int32) - value) <= 0.5L);
  const std::int64_t int64 = NumberToInt64(value);
  Check(int64 == INT64_MIN || std::fabs(static_cast<Number>(int64) - value) <= 0.5L);
  if (int64 > INT32_MIN && int64 <= INT32_MAX) Check(int32 == int64);
  // Number text reads back as the number, for every 32-bit integer.
  if (size >= 4) {
    std::int32_t n;
    std::memcpy(&n, data, sizeof n);
    Check(NumberToInt32(TextToNumber(NumberToText(Int32ToNumber(n)))) == n);
  }
}

void CheckReceivedBytes(const Text& bytes) {
  // Received lines: every byte but CR and LF is kept, in order, and no receive takes more than
  // its limit.
  std::vector<std::uint8_t> buffer(bytes.begin(), bytes.end());
  std::uint32_t pending = static_cast<std::uint32_t>(buffer.size());
  const std::uint32_t limit = 1 + static_cast<std::uint32_t>(bytes.size() / 3);
  Text all;
  while (pending > 0) {
    std::uint32_t taken = 0;
    Text line;
    const LineState state = AssembleLine(buffer.data(), pending, taken, limit, line);
    Check(taken <= limit && taken > 0);
    Check(line.find('\r') == Text::npos && line.find('\n') == Text::npos);
    all += line;
    if (state == LineState::kNeedsMore) Check(pending == 0);
  }
  Text expected;
  for (char c : bytes) {
    if (c != '\r' && c != '\n') expected += c;
  }
  Check(all == expected);

  // On their way to a terminal: no control but TAB survives, and what is shown is shown again
  // unchanged (no raw C1 byte is left outside a valid UTF-8 sequence).
  const Text shown = FilterForTerminal(bytes);
  for (unsigned char c : shown) Check((c >= 0x20 || c == '\t') && c != 0x7F);
  Check(FilterForTerminal(shown) == shown);
}

void CheckKeys(const Text& bytes, const std::uint8_t* data, std::size_t size) {
  // Typed bytes: every key uses at least one byte and never more than there are; a lone ESC is
  // Escape.
  for (std::size_t at = 0; at < size;) {
    const TerminalKey key = DecodeTerminalBytes(std::string_view(bytes).substr(at));
    Check(key.used >= 1 && key.used <= size - at && !key.key.empty());
    if (at + 1 == size && data[at] == 27) Check(key.key == Text(1, '\x1b'));
    at += key.used;
  }
  if (size >= 5) {
    const KeyEventRecord event{
        (data[0] & 1) != 0, (data[0] & 2) != 0, data[1], data[2], data[3], data[4]};
    const KeyDecision decision = DecideKeyEvent(event);
    Check(decision.key.size() <= 2);
    if (!event.is_key_event || !event.key_down) Check(!decision.take);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SetNumberEnvironment();
  ErrorScope scope;
  const Text bytes(reinterpret_cast<const char*>(data), size);
  CheckCommandLine(bytes);
  CheckNumbers(bytes, data, size);
  CheckReceivedBytes(bytes);
  CheckKeys(bytes, data, size);
  return 0;
}
