// The command tail: the command line after the program name, trimmed of spaces.
#include "text/command_tail.h"

#include <algorithm>

namespace {

std::string_view tail_text;

std::string_view SkipSpaces(std::string_view text) {
  return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

}  // namespace

std::string_view SkipProgramName(std::string_view command_line) {
  std::string_view line = command_line.substr(0, command_line.find('\0'));
  if (line.empty()) return line;
  if (line.front() == '"') {
    const std::size_t closing = line.find('"', 1);
    // A quote that never closes leaves nothing after the name.
    if (closing == std::string_view::npos) return line.substr(line.size());
    return SkipSpaces(line.substr(closing + 1));
  }
  if (line.front() == ' ') return SkipSpaces(line);
  std::size_t end = 0;
  while (end < line.size() && static_cast<unsigned char>(line[end]) > 0x20) ++end;
  line.remove_prefix(end);
  return !line.empty() && line.front() == ' ' ? SkipSpaces(line) : line;
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

void SetCommandTail(std::string_view tail) { tail_text = tail; }

Text CommandTail() {
  std::string_view tail = SkipSpaces(tail_text);
  tail = tail.substr(0, tail.find_last_not_of(' ') + 1);
  return GuardedText([&] { return Text(tail); });
}
