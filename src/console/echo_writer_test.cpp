// Tests of the console echo's cell writer against an in-memory screen buffer.
#include "console/echo_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A screen buffer in memory that behaves like a console's: cells start as '.' in white on blue
// so that every cell the writer touches shows.
class FakeScreen : public ScreenBuffer {
 public:
  FakeScreen(int width, int height)
      : width_(width), height_(height), cells_(height, std::vector<EchoCell>(width, kUntouched)) {}

  bool QueryScreen(ScreenInfo* info) override {
    if (query_fails) return false;
    *info = {width_, height_, cursor_x, cursor_y};
    return true;
  }

  void WriteCells(const EchoCell* cells, int count, int x, int y) override {
    chunk_sizes.push_back(count);
    ASSERT_GE(x, 0);
    ASSERT_LE(x + count, width_);
    ASSERT_GE(y, 0);
    ASSERT_LT(y, height_);
    for (int i = 0; i < count; ++i) cells_[y][x + i] = cells[i];
  }

  void ScrollUpOneRow(int width, int height, const EchoCell& fill) override {
    ++scrolls;
    EXPECT_EQ(width, width_);
    EXPECT_EQ(height, height_);
    EXPECT_EQ(fill.character, ' ');
    EXPECT_EQ(fill.attribute, kEchoAttribute);
    cells_.erase(cells_.begin());
    cells_.push_back(std::vector<EchoCell>(width_, fill));
  }

  void SetCursor(int x, int y) override {
    ++cursor_moves;
    cursor_x = x;
    cursor_y = y;
  }

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

  int cursor_x = 0;
  int cursor_y = 0;
  bool query_fails = false;
  int scrolls = 0;
  int cursor_moves = 0;
  std::vector<int> chunk_sizes;

 private:
  static constexpr EchoCell kUntouched{'.', 0x1F};
  int width_;
  int height_;
  std::vector<std::vector<EchoCell>> cells_;
};

TEST(EchoWriter, WritesAtTheCursorWrapsAndEndsTheLine) {
  FakeScreen screen(10, 4);
  screen.cursor_x = 2;
  screen.cursor_y = 1;
  EchoWriter writer;
  writer.PrintLine(screen, "abc");
  EXPECT_EQ(screen.Row(1), "..abc.....");
  EXPECT_EQ(screen.cursor_x, 0);
  EXPECT_EQ(screen.cursor_y, 2);

  screen.cursor_x = 7;
  writer.WriteText(screen, "defgh");
  EXPECT_EQ(screen.Row(2), ".......def");
  EXPECT_EQ(screen.Row(3), "gh........");
  EXPECT_EQ(screen.chunk_sizes, (std::vector<int>{3, 3, 2}));
  EXPECT_EQ(screen.cursor_x, 2);
  EXPECT_EQ(screen.cursor_y, 3);
  EXPECT_EQ(screen.scrolls, 0);
}

TEST(EchoWriter, BytesAreStoredNotInterpreted) {
  FakeScreen screen(10, 4);
  EchoWriter writer;
  writer.WriteText(screen, Text("a\r\n\tb\0c\x1b", 8));
  EXPECT_EQ(screen.Row(0), Text("a\r\n\tb\0c\x1b..", 10));
  EXPECT_EQ(screen.cursor_x, 8);
  EXPECT_EQ(screen.cursor_y, 0);
}

TEST(EchoWriter, ExactWidthOnTheLastRowScrollsTwiceAtTheLineEnd) {
  FakeScreen screen(10, 4);
  screen.cursor_y = 3;
  EchoWriter writer;
  writer.WriteText(screen, "0123456789");
  // The wrap's scroll is owed, not made: the line is still on the last row.
  EXPECT_EQ(screen.scrolls, 0);
  EXPECT_TRUE(writer.scroll_pending());
  EXPECT_EQ(screen.cursor_x, 0);
  EXPECT_EQ(screen.cursor_y, 3);
  EXPECT_EQ(screen.Row(3), "0123456789");

  writer.EndLine(screen);
  EXPECT_EQ(screen.scrolls, 2);
  EXPECT_FALSE(writer.scroll_pending());
  EXPECT_EQ(screen.cursor_x, 0);
  EXPECT_EQ(screen.cursor_y, 3);
  EXPECT_EQ(screen.Row(1), "0123456789");
  EXPECT_EQ(screen.Row(2), "          ");
  EXPECT_EQ(screen.Row(3), "          ");
}

TEST(EchoWriter, WidthPlusOneOnTheLastRowScrollsOnceBeforeTheLastByte) {
  FakeScreen screen(10, 4);
  screen.cursor_y = 3;
  EchoWriter writer;
  writer.WriteText(screen, "0123456789X");
  EXPECT_EQ(screen.scrolls, 1);
  EXPECT_FALSE(writer.scroll_pending());
  EXPECT_EQ(screen.Row(2), "0123456789");
  EXPECT_EQ(screen.Row(3), "X         ");
  EXPECT_EQ(screen.cursor_x, 1);
  EXPECT_EQ(screen.cursor_y, 3);

  writer.EndLine(screen);
  EXPECT_EQ(screen.scrolls, 2);
  EXPECT_EQ(screen.Row(2), "X         ");
  EXPECT_EQ(screen.cursor_x, 0);
  EXPECT_EQ(screen.cursor_y, 3);
}

TEST(EchoWriter, OwedScrollIsPaidByTheNextTextAndDroppedByACursorElsewhere) {
  FakeScreen screen(4, 3);
  screen.cursor_y = 2;
  EchoWriter writer;
  writer.WriteText(screen, "abcd");
  writer.WriteText(screen, "e");
  EXPECT_EQ(screen.scrolls, 1);
  EXPECT_EQ(screen.Row(1), "abcd");
  EXPECT_EQ(screen.Row(2), "e   ");

  // Someone moved the cursor up after a wrap on the last row: the line end just goes down.
  writer.WriteText(screen, "fgh");
  EXPECT_TRUE(writer.scroll_pending());
  screen.cursor_y = 0;
  writer.EndLine(screen);
  EXPECT_FALSE(writer.scroll_pending());
  EXPECT_EQ(screen.scrolls, 1);
  EXPECT_EQ(screen.cursor_x, 0);
  EXPECT_EQ(screen.cursor_y, 1);
}

TEST(EchoWriter, WideBufferIsWrittenInChunksOfAtMost255Cells) {
  FakeScreen screen(600, 2);
  EchoWriter writer;
  writer.WriteText(screen, std::string(700, 'x'));
  EXPECT_EQ(screen.chunk_sizes, (std::vector<int>{255, 255, 90, 100}));
  EXPECT_EQ(screen.Row(0), std::string(600, 'x'));
  EXPECT_EQ(screen.cursor_x, 100);
  EXPECT_EQ(screen.cursor_y, 1);
}

TEST(EchoWriter, EmptyTextOnlyEndsTheLineAndAFailedQueryWritesNothing) {
  FakeScreen screen(10, 4);
  screen.cursor_x = 5;
  screen.cursor_y = 1;
  EchoWriter writer;
  writer.WriteText(screen, "");
  EXPECT_EQ(screen.cursor_moves, 0);
  writer.PrintLine(screen, "");
  EXPECT_TRUE(screen.chunk_sizes.empty());
  EXPECT_EQ(screen.cursor_x, 0);
  EXPECT_EQ(screen.cursor_y, 2);

  FakeScreen absent(10, 4);
  absent.query_fails = true;
  writer.PrintLine(absent, "abc");
  EXPECT_TRUE(absent.chunk_sizes.empty());
  EXPECT_EQ(absent.cursor_moves, 0);
  EXPECT_EQ(absent.scrolls, 0);
}

TEST(EchoWriter, CursorOutsideTheBufferWritesNothing) {
  FakeScreen screen(10, 4);
  screen.cursor_x = 10;
  EchoWriter writer;
  writer.PrintLine(screen, "abc");
  FakeScreen empty(0, 0);
  writer.PrintLine(empty, "abc");
  EXPECT_TRUE(screen.chunk_sizes.empty());
  EXPECT_TRUE(empty.chunk_sizes.empty());
  EXPECT_EQ(screen.cursor_moves + empty.cursor_moves, 0);
}

}  // namespace
