// Search, substrings and fields of Text.
#include "text/fields.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Zero-based offset of the first occurrence of `pattern` in `text` at or after `from`, or -1.
// One forward scan for the first byte, then a comparison of the rest.
std::int64_t ScanFor(std::string_view text, std::string_view pattern, std::size_t from) {
  const std::size_t n = text.size();
  const std::size_t m = pattern.size();
  if (m == 0) return static_cast<std::int64_t>(from);
  for (std::size_t i = from; i + m <= n; ++i) {
    if (text[i] != pattern[0]) continue;
    if (std::memcmp(text.data() + i + 1, pattern.data() + 1, m - 1) == 0) {
      return static_cast<std::int64_t>(i);
    }
  }
  return -1;
}

}  // namespace

std::int32_t FindText(std::int32_t start, std::string_view text, std::string_view pattern) {
  if (text.empty() || start <= 0) return 0;
  const std::size_t offset = static_cast<std::size_t>(start) - 1;
  // The program looks only for ':' and ' ', which no start past the end finds; an empty pattern
  // would match there.
  if (offset >= text.size()) return 0;
  const std::int64_t found = ScanFor(text, pattern, offset);
  return found < 0 ? 0 : static_cast<std::int32_t>(found + 1);
}

Text MidText(std::string_view text, std::int32_t start, std::int32_t length) {
  if (start <= 0 || length <= 0) return Text();
  const std::size_t offset = static_cast<std::size_t>(start) - 1;
  if (offset >= text.size()) return Text();
  return CopyText(text.substr(offset, static_cast<std::size_t>(length)));
}

Text FieldText(std::string_view text, std::string_view delimiter, std::int32_t field) {
  if (field <= 0) return Text();
  if (delimiter.empty()) return field == 1 ? CopyText(text) : Text();
  std::size_t begin = 0;
  for (std::int32_t k = 1;; ++k) {
    const std::int64_t found = ScanFor(text, delimiter, begin);
    const std::size_t end = found < 0 ? text.size() : static_cast<std::size_t>(found);
    if (k == field) return CopyText(text.substr(begin, end - begin));
    if (found < 0) return Text();
    // The program splits only at ' '; a longer delimiter is for other callers.
    begin = end + delimiter.size();
  }
}

Text ReplaceText(std::string_view text, std::string_view pattern, std::string_view replacement) {
  const std::int64_t n = TextLength(text);
  const std::int64_t m = TextLength(pattern);
  if (m == 0 || n == 0 || n < m) return CopyText(text);
  std::int64_t count = 0;
  for (std::size_t at = text.find(pattern); at != std::string_view::npos;
       at = text.find(pattern, at + m)) {
    ++count;
  }
  if (count == 0) return CopyText(text);
  const std::int64_t length = n + count * (TextLength(replacement) - m);
  if (length < 0 || length > std::numeric_limits<std::int32_t>::max()) {
    RaiseError(kErrOverflow);
    return Text();
  }
  return GuardedText([&] {
    Text result;
    result.reserve(static_cast<std::size_t>(length));
    std::size_t from = 0;
    for (std::size_t at = text.find(pattern); at != std::string_view::npos;
         at = text.find(pattern, from)) {
      result.append(text.substr(from, at - from));
      result.append(replacement);
      from = at + pattern.size();
    }
    result.append(text.substr(from));
    return result;
  });
}
