// Tests of the console echo's cell writer against an in-memory screen buffer.
#include "console/echo_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// A screen buffer in memory that behaves like a console's: cells start as '.' in white on blue
// so that every cell the writer touches shows.
class FakeScreen : public ScreenBuffer {
 public:
  explicit FakeScreen(ScreenInfo start)
      : info(start),
        cells_(start.height, std::vector<EchoCell>(start.width, EchoCell{'.', 0x1F})) {}

  bool QueryScreen(ScreenInfo* out) override {
    *out = info;
    return !query_fails;
  }

  void WriteCells(const EchoCell* cells, int count, int x, int y) override {
    chunk_sizes.push_back(count);
    ASSERT_TRUE(x >= 0 && x + count <= info.width && y >= 0 && y < info.height) << x << "," << y;
    for (int i = 0; i < count; ++i) cells_[y][x + i] = cells[i];
  }

  void ScrollUpOneRow(int width, int height, const EchoCell& fill) override {
    ++scrolls;
    EXPECT_TRUE(width == info.width && height == info.height);
    cells_.erase(cells_.begin());
    cells_.push_back(std::vector<EchoCell>(info.width, fill));
  }

  void SetCursor(int x, int y) override {
    info.cursor_x = x;
    info.cursor_y = y;
  }

  std::pair<int, int> Cursor() const { return {info.cursor_x, info.cursor_y}; }

  // The row's characters, with every cell checked for the echo's attribute unless untouched.
  std::string Row(int y) const {
    std::string row;
    for (const EchoCell& cell : cells_[y]) {
      row.push_back(static_cast<char>(cell.character));
      if (cell.character != '.') {
        EXPECT_EQ(cell.attribute, kEchoAttribute) << "row " << y;
      }
    }
    return row;
  }

  ScreenInfo info;
  bool query_fails = false;
  int scrolls = 0;
  std::vector<int> chunk_sizes;

 private:
  std::vector<std::vector<EchoCell>> cells_;
};

using Cursor = std::pair<int, int>;

TEST(EchoWriter, WritesBytesUninterpretedAtTheCursorWrapsAndEndsTheLine) {
  FakeScreen screen({10, 4, 2, 1});
  EchoWriter writer;
  writer.PrintLine(screen, Text("a\r\n\t\0\x1b", 6));
  EXPECT_EQ(screen.Row(1), Text("..a\r\n\t\0\x1b..", 10));
  EXPECT_EQ(screen.Cursor(), Cursor(0, 2));

  screen.info.cursor_x = 7;
  writer.WriteText(screen, "defgh");
  EXPECT_EQ(screen.Row(2), ".......def");
  EXPECT_EQ(screen.Row(3), "gh........");
  EXPECT_EQ(screen.chunk_sizes, (std::vector<int>{6, 3, 2}));
  EXPECT_EQ(screen.Cursor(), Cursor(2, 3));
  EXPECT_EQ(screen.scrolls, 0);
}

TEST(EchoWriter, ExactWidthOnTheLastRowScrollsTwiceAtTheLineEnd) {
  FakeScreen screen({10, 4, 0, 3});
  EchoWriter writer;
  writer.WriteText(screen, "0123456789");
  // The wrap's scroll is owed, not made: the line is still on the last row.
  EXPECT_EQ(screen.scrolls, 0);
  EXPECT_EQ(screen.Cursor(), Cursor(0, 3));

  writer.EndLine(screen);
  EXPECT_EQ(screen.scrolls, 2);
  EXPECT_EQ(screen.Cursor(), Cursor(0, 3));
  EXPECT_EQ(screen.Row(1), "0123456789");
  EXPECT_EQ(screen.Row(2), "          ");
  EXPECT_EQ(screen.Row(3), "          ");
}

TEST(EchoWriter, WidthPlusOneOnTheLastRowScrollsOnceBeforeTheLastByte) {
  FakeScreen screen({10, 4, 0, 3});
  EchoWriter writer;
  writer.WriteText(screen, "0123456789X");
  EXPECT_EQ(screen.scrolls, 1);
  EXPECT_EQ(screen.Row(2), "0123456789");
  EXPECT_EQ(screen.Row(3), "X         ");
  EXPECT_EQ(screen.Cursor(), Cursor(1, 3));

  writer.EndLine(screen);
  EXPECT_EQ(screen.scrolls, 2);
  EXPECT_EQ(screen.Row(2), "X         ");
  EXPECT_EQ(screen.Cursor(), Cursor(0, 3));
}

TEST(EchoWriter, OwedScrollIsPaidByTheNextTextAndDroppedByACursorElsewhere) {
  FakeScreen screen({4, 3, 0, 2});
  EchoWriter writer;
  writer.WriteText(screen, "abcd");
  writer.WriteText(screen, "e");
  EXPECT_EQ(screen.scrolls, 1);
  EXPECT_EQ(screen.Row(1), "abcd");
  EXPECT_EQ(screen.Row(2), "e   ");

  // Someone moved the cursor up after a wrap on the last row: the line end just goes down.
  writer.WriteText(screen, "fgh");
  EXPECT_TRUE(writer.scroll_pending());
  screen.info.cursor_y = 0;
  writer.EndLine(screen);
  EXPECT_FALSE(writer.scroll_pending());
  EXPECT_EQ(screen.scrolls, 1);
  EXPECT_EQ(screen.Cursor(), Cursor(0, 1));
}

TEST(EchoWriter, WideBufferIsWrittenInChunksOfAtMost255Cells) {
  FakeScreen screen({600, 2});
  EchoWriter writer;
  writer.WriteText(screen, std::string(700, 'x'));
  EXPECT_EQ(screen.chunk_sizes, (std::vector<int>{255, 255, 90, 100}));
  EXPECT_EQ(screen.Row(0), std::string(600, 'x'));
  EXPECT_EQ(screen.Cursor(), Cursor(100, 1));
}

TEST(EchoWriter, EmptyTextOnlyEndsTheLineAndAnUnusableBufferGetsNothing) {
  FakeScreen screen({10, 4, 5, 1});
  EchoWriter writer;
  writer.PrintLine(screen, "");
  EXPECT_TRUE(screen.chunk_sizes.empty());
  EXPECT_EQ(screen.Cursor(), Cursor(0, 2));

  FakeScreen failing({10, 4});
  failing.query_fails = true;
  FakeScreen cursor_outside({10, 4, 10, 0});
  FakeScreen empty({0, 0});
  for (FakeScreen* unusable : {&failing, &cursor_outside, &empty}) {
    const Cursor before = unusable->Cursor();
    writer.PrintLine(*unusable, "abc");
    EXPECT_TRUE(unusable->chunk_sizes.empty());
    EXPECT_EQ(unusable->scrolls, 0);
    EXPECT_EQ(unusable->Cursor(), before);
  }
}

}  // namespace
