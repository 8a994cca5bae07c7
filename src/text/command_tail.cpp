// The command tail and the one-pass replacement used to collapse double spaces.
#include "text/command_tail.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

const char* tail_position = "";

const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

}  // namespace

const char* SkipProgramName(const char* command_line) {
  const char* p = command_line;
  if (*p == '"') {
    ++p;
    while (*p != '"' && *p != '\0') ++p;
    // A quote that never closes leaves nothing after the name.
    if (*p == '\0') return p;
    return SkipSpaces(p + 1);
  }
  if (*p == ' ') return SkipSpaces(p);
  while (static_cast<unsigned char>(*p) > 0x20) ++p;
  return *p == ' ' ? SkipSpaces(p) : p;
}

Text JoinArguments(int argc, const char* const* argv) {
  return GuardedText([&] {
    Text line;
    for (int i = 1; i < argc; ++i) {
      if (i > 1) line.push_back(' ');
      line.append(argv[i]);
    }
    return line;
  });
}

void SetTailPosition(const char* position) { tail_position = position; }

Text CommandTail() {
  const char* begin = tail_position;
  const char* end = begin + std::strlen(begin);
  while (end > begin && end[-1] == ' ') --end;
  while (begin < end && *begin == ' ') ++begin;
  return GuardedText([&] { return Text(begin, end); });
}

Text ReplaceText(const Text& text, const Text& pattern, const Text& replacement) {
  const std::int64_t n = TextLength(text);
  const std::int64_t m = TextLength(pattern);
  if (m == 0 || n == 0 || n < m) return GuardedText([&] { return text; });
  std::int64_t count = 0;
  for (std::size_t at = text.find(pattern); at != Text::npos; at = text.find(pattern, at + m)) {
    ++count;
  }
  if (count == 0) return GuardedText([&] { return text; });
  const std::int64_t length = n + count * (TextLength(replacement) - m);
  if (length < 0 || length > std::numeric_limits<std::int32_t>::max()) {
    RaiseError(kErrOverflow);
    return Text();
  }
  return GuardedText([&] {
    Text result;
    result.reserve(static_cast<std::size_t>(length));
    std::size_t from = 0;
    for (std::size_t at = text.find(pattern); at != Text::npos; at = text.find(pattern, from)) {
      result.append(text, from, at - from);
      result.append(replacement);
      from = at + pattern.size();
    }
    result.append(text, from, Text::npos);
    return result;
  });
}
