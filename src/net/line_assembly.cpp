// Received bytes into lines.
#include "net/line_assembly.h"

#include <cstring>

namespace {
constexpr std::uint8_t kCarriageReturn = 13;
constexpr std::uint8_t kLineFeed = 10;
}  // namespace

LineState AssembleLine(std::uint8_t* buffer, std::uint32_t& pending, std::uint32_t& taken,
                       std::uint32_t limit, Text& line) {
  std::uint32_t index = 0;
  LineState state = LineState::kNeedsMore;
  while (state == LineState::kNeedsMore && index < pending && taken < limit) {
    const std::uint8_t byte = buffer[index++];
    ++taken;
    if (byte == kLineFeed) {
      state = LineState::kComplete;
    } else if (byte != kCarriageReturn) {
      line.push_back(static_cast<char>(byte));
    }
  }
  if (state == LineState::kNeedsMore && taken >= limit) state = LineState::kFull;
  std::memmove(buffer, buffer + index, pending - index);
  pending -= index;
  return state;
}
