// Tests of the line assembly of received bytes, without sockets.
#include "net/line_assembly.h"

#include <gtest/gtest.h>

#include <string>

// Carriage returns are dropped wherever they stand, a line feed ends the line, every other byte is
// kept, what is left moves to the front, and a line goes on across reads. One receive takes at
// most its limit, the dropped bytes counted; a line feed that is the last byte allowed still ends
// the line.
TEST(LineAssembly, ALineFeedEndsTheLineCarriageReturnsAreDroppedAndAReceiveTakesItsLimit) {
  const struct {
    std::string bytes;
    std::uint32_t limit, taken_before;
    Text line_before;
    LineState state;
    Text line;
    std::uint32_t taken;
    std::string left;
  } cases[] = {{"abc\r\ndef\r\n", 65536, 0, "", LineState::kComplete, "abc", 5, "def\r\n"},
               {std::string("x\ry\r\r\0\xff\n", 8), 65536, 0, "", LineState::kComplete,
                std::string("xy\0\xff", 4), 8, ""},
               {"in: \r", 65536, 3, "log", LineState::kNeedsMore, "login: ", 8, ""},
               {"ab\r\rcdef\n", 6, 0, "", LineState::kFull, "abcd", 6, "ef\n"},
               {"abcde\nz", 6, 0, "", LineState::kComplete, "abcde", 6, "z"},
               {"abcdef", 6, 0, "", LineState::kFull, "abcdef", 6, ""}};
  for (auto c : cases) {
    auto pending = static_cast<std::uint32_t>(c.bytes.size());
    const LineState state = AssembleLine(reinterpret_cast<std::uint8_t*>(c.bytes.data()), pending,
                                         c.taken_before, c.limit, c.line_before);
    EXPECT_EQ(state, c.state) << c.bytes;
    EXPECT_EQ(c.line_before, c.line) << c.bytes;
    EXPECT_EQ(c.taken_before, c.taken) << c.bytes;
    EXPECT_EQ(c.bytes.substr(0, pending), c.left) << c.bytes;
  }
}
