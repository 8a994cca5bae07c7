// Tests of the console echo's cell writer against an in-memory screen buffer.
#include "console/echo_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "text/text.h"

namespace {

using Cursor = std::pair<int, int>;

// A screen buffer in memory that behaves like a console's. Untouched cells hold '.'; every cell
// the writer writes or blanks must carry the echo's attribute.
class FakeScreen : public ScreenBuffer {
 public:
  explicit FakeScreen(ScreenInfo start, bool usable = true)
      : info(start), rows(start.height, Text(start.width, '.')), usable(usable) {}

  bool QueryScreen(ScreenInfo* out) override { return *out = info, usable; }
  void WriteCells(const EchoCell* cells, int count, int x, int y) override {
    chunks.push_back(count);
    ASSERT_TRUE(x >= 0 && x + count <= info.width && y >= 0 && y < info.height);
    for (int i = 0; i < count; ++i) {
      rows[y][x + i] = static_cast<char>(cells[i].character);
      EXPECT_EQ(cells[i].attribute, kEchoAttribute);
    }
  }
  void ScrollUpOneRow(int width, int height, const EchoCell& fill) override {
    ++scrolls;
    EXPECT_TRUE(width == info.width && height == info.height && fill.attribute == kEchoAttribute);
    rows.erase(rows.begin());
    rows.push_back(Text(info.width, static_cast<char>(fill.character)));
  }
  void SetCursor(int x, int y) override { info.cursor_x = x, info.cursor_y = y; }
  Cursor At() const { return {info.cursor_x, info.cursor_y}; }

  ScreenInfo info;
  std::vector<Text> rows;
  bool usable;
  int scrolls = 0;
  std::vector<int> chunks;
};

}  // namespace

// Bytes go uninterpreted at the cursor, in chunks of at most 255 cells that end with the row; an
// empty text only ends the line, and a buffer that cannot be used gets nothing.
TEST(EchoWriter, WritesBytesUninterpretedAtTheCursorInChunksThatEndWithTheRow) {
  FakeScreen screen({10, 4, 2, 1});
  EchoWriter writer;
  writer.PrintLine(screen, Text("a\r\n\t\0\x1b", 6));
  EXPECT_EQ(screen.rows[1], Text("..a\r\n\t\0\x1b..", 10));
  screen.info.cursor_x = 7;
  writer.WriteText(screen, "defgh");
  EXPECT_EQ(screen.rows[2] + screen.rows[3], ".......defgh........");
  writer.PrintLine(screen, "");
  EXPECT_EQ(screen.chunks, (std::vector<int>{6, 3, 2}));
  EXPECT_EQ(screen.At(), Cursor(0, 3));
  FakeScreen wide({600, 2});
  writer.WriteText(wide, std::string(700, 'x'));
  EXPECT_EQ(wide.chunks, (std::vector<int>{255, 255, 90, 100}));

  for (FakeScreen unusable :
       {FakeScreen({10, 4}, false), FakeScreen({10, 4, 10, 0}), FakeScreen({0, 0})}) {
    const Cursor before = unusable.At();
    writer.PrintLine(unusable, "abc");
    EXPECT_TRUE(unusable.chunks.empty() && unusable.scrolls == 0 && unusable.At() == before);
  }
}

// A line exactly as wide as the buffer on the last row owes its wrap's scroll, and its line end
// scrolls twice; one byte more pays the owed scroll before that byte.
TEST(EchoWriter, TheLastRowScrollsOnlyWhenTheTextOrTheLineEndGoesOn) {
  FakeScreen exact({10, 4, 0, 3});
  EchoWriter writer;
  writer.WriteText(exact, "0123456789");
  EXPECT_EQ(exact.scrolls, 0);
  writer.EndLine(exact);
  EXPECT_EQ(exact.scrolls, 2);
  EXPECT_FALSE(writer.scroll_pending());
  EXPECT_EQ(exact.rows,
            (std::vector<Text>{"..........", "0123456789", "          ", "          "}));
  EXPECT_EQ(exact.At(), Cursor(0, 3));

  FakeScreen more({10, 4, 0, 3});
  writer.WriteText(more, "0123456789X");
  EXPECT_EQ(more.scrolls, 1);
  EXPECT_EQ(more.rows[3], "X         ");
  EXPECT_EQ(more.At(), Cursor(1, 3));
}
