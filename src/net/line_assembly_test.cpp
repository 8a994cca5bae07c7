// Tests of the line assembly of received bytes, without sockets.
#include "net/line_assembly.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// One pass over `bytes` as a connection's buffer: the state, the line, the bytes taken and
// what is left at the front of the buffer.
struct Pass {
  LineState state;
  Text line;
  std::uint32_t taken;
  std::string left;
};

Pass Take(std::string bytes, std::uint32_t limit = 65536, Text line = "", std::uint32_t taken = 0) {
  std::uint32_t pending = static_cast<std::uint32_t>(bytes.size());
  auto* buffer = reinterpret_cast<std::uint8_t*>(bytes.data());
  const LineState state = AssembleLine(buffer, pending, taken, limit, line);
  return {state, line, taken, bytes.substr(0, pending)};
}

void Expect(const Pass& pass, LineState state, const Text& line, std::uint32_t taken,
            const std::string& left) {
  EXPECT_EQ(pass.state, state);
  EXPECT_EQ(pass.line, line);
  EXPECT_EQ(pass.taken, taken);
  EXPECT_EQ(pass.left, left);
}

}  // namespace

// Carriage returns are dropped wherever they stand, a line feed ends the line, every other byte
// is kept; what is left moves to the front, and a line goes on across reads.
TEST(LineAssembly, ALineFeedEndsTheLineAndCarriageReturnsAreDropped) {
  Expect(Take("abc\r\ndef\r\n"), LineState::kComplete, "abc", 5, "def\r\n");
  Expect(Take(std::string("x\ry\r\r\0\xff\n", 8)), LineState::kComplete, std::string("xy\0\xff", 4),
         8, "");
  Expect(Take("in: \r", 65536, "log", 3), LineState::kNeedsMore, "login: ", 8, "");
}

// One receive takes at most the limit, the dropped bytes counted; a line feed that is the last
// byte allowed still ends the line.
TEST(LineAssembly, OneReceiveTakesAtMostTheLimit) {
  Expect(Take("ab\r\rcdef\n", 6), LineState::kFull, "abcd", 6, "ef\n");
  Expect(Take("abcde\nz", 6), LineState::kComplete, "abcde", 6, "z");
  Expect(Take("abcdef", 6), LineState::kFull, "abcdef", 6, "");
}
