// Tests of the line assembly of received bytes, without sockets.
#include "net/line_assembly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A connection's buffer holding `bytes`, and one receive's progress through it.
struct Receive {
  explicit Receive(const std::string& bytes, std::uint32_t limit = 65536)
      : buffer(bytes.begin(), bytes.end()),
        pending(static_cast<std::uint32_t>(bytes.size())),
        limit(limit) {}

  LineState Take() { return AssembleLine(buffer.data(), pending, taken, limit, line); }
  std::string Left() const { return std::string(buffer.begin(), buffer.begin() + pending); }

  std::vector<std::uint8_t> buffer;
  std::uint32_t pending;
  std::uint32_t limit;
  std::uint32_t taken = 0;
  Text line;
};

}  // namespace

TEST(LineAssembly, LineFeedEndsTheLineAndTheRestMovesToTheFront) {
  Receive r("abc\r\ndef\r\n");
  EXPECT_EQ(r.Take(), LineState::kComplete);
  EXPECT_EQ(r.line, "abc");
  EXPECT_EQ(r.taken, 5u);
  EXPECT_EQ(r.Left(), "def\r\n");

  // Carriage returns are dropped wherever they stand; every other byte is kept as it is.
  Receive bytes(std::string("x\ry\r\r\0\xff\n", 8));
  EXPECT_EQ(bytes.Take(), LineState::kComplete);
  EXPECT_EQ(bytes.line, std::string("xy\0\xff", 4));
  EXPECT_EQ(bytes.Left(), "");
}

TEST(LineAssembly, BufferRunningOutAsksForMoreAndTheLineGoesOn) {
  Receive r("log");
  EXPECT_EQ(r.Take(), LineState::kNeedsMore);
  EXPECT_EQ(r.Left(), "");
  // The next read's bytes continue the same line.
  const std::string more = "in: \r";
  r.buffer.assign(more.begin(), more.end());
  r.pending = 5;
  EXPECT_EQ(r.Take(), LineState::kNeedsMore);
  EXPECT_EQ(r.line, "login: ");
  EXPECT_EQ(r.taken, 8u);
}

TEST(LineAssembly, OneReceiveTakesAtMostTheLimitWithDroppedBytesCounted) {
  Receive r("ab\r\rcdef\n", 6);
  EXPECT_EQ(r.Take(), LineState::kFull);
  EXPECT_EQ(r.line, "abcd");  // six bytes taken, two of them carriage returns
  EXPECT_EQ(r.Left(), "ef\n");

  // A line feed that is the last byte allowed still ends the line.
  Receive at_limit("abcde\nz", 6);
  EXPECT_EQ(at_limit.Take(), LineState::kComplete);
  EXPECT_EQ(at_limit.line, "abcde");
  EXPECT_EQ(at_limit.Left(), "z");

  // The buffer ending exactly at the limit is a full piece, not a call for more.
  Receive exact("abcdef", 6);
  EXPECT_EQ(exact.Take(), LineState::kFull);
  EXPECT_EQ(exact.Left(), "");
}
