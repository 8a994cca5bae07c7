// Tests of the console echo's cell writer against an in-memory screen buffer.
#include "console/echo_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// A screen buffer that logs what the writer does to it: " wX,Y:" and the characters for cells
// written (each must carry the echo's attribute), " s" for a scroll of the whole buffer that
// blanks its last row, " cX,Y" for a cursor move, which the next query reports.
class LoggingScreen : public ScreenBuffer {
 public:
  explicit LoggingScreen(ScreenInfo start, bool usable = true) : info(start), usable(usable) {}

  bool QueryScreen(ScreenInfo* out) override { return *out = info, usable; }
  void WriteCells(const EchoCell* cells, int count, int x, int y) override {
    log += " w" + std::to_string(x) + "," + std::to_string(y) + ":";
    for (int i = 0; i < count; ++i) {
      log += static_cast<char>(cells[i].character);
      EXPECT_EQ(cells[i].attribute, kEchoAttribute);
    }
  }
  void ScrollUpOneRow(int width, int height, const EchoCell& fill) override {
    EXPECT_TRUE(width == info.width && height == info.height && fill.character == ' ' &&
                fill.attribute == kEchoAttribute);
    log += " s";
  }
  void SetCursor(int x, int y) override {
    info.cursor_x = x, info.cursor_y = y;
    log += " c" + std::to_string(x) + "," + std::to_string(y);
  }

  ScreenInfo info;
  bool usable;
  std::string log;
};

}  // namespace

// Bytes go uninterpreted at the cursor, in chunks of at most 255 cells that end with the row; an
// empty text only ends the line, and a buffer that cannot be used gets nothing.
TEST(EchoWriter, WritesBytesUninterpretedAtTheCursorInChunksThatEndWithTheRow) {
  LoggingScreen screen({10, 4, 2, 1});
  EchoWriter writer;
  writer.PrintLine(screen, "a\r\n\t\0\x1b"s);
  screen.info.cursor_x = 7;
  writer.WriteText(screen, "defgh");
  writer.PrintLine(screen, "");
  EXPECT_EQ(screen.log, " w2,1:a\r\n\t\0\x1b c8,1 c0,2 w7,2:def w0,3:gh c2,3 s c0,3"s);
  LoggingScreen wide({600, 2});
  writer.WriteText(wide, std::string(700, 'x'));
  EXPECT_EQ(wide.log, " w0,0:" + std::string(255, 'x') + " w255,0:" + std::string(255, 'x') +
                          " w510,0:" + std::string(90, 'x') + " w0,1:" + std::string(100, 'x') +
                          " c100,1");
  for (LoggingScreen unusable :
       {LoggingScreen({10, 4}, false), LoggingScreen({10, 4, 10, 0}), LoggingScreen({0, 0})}) {
    writer.PrintLine(unusable, "abc");
    EXPECT_EQ(unusable.log, "");
  }
}

// A line exactly as wide as the buffer on the last row owes its wrap's scroll, and its line end
// scrolls twice; one byte more pays the owed scroll before that byte.
TEST(EchoWriter, TheLastRowScrollsOnlyWhenTheTextOrTheLineEndGoesOn) {
  LoggingScreen exact({10, 4, 0, 3});
  EchoWriter writer;
  writer.PrintLine(exact, "0123456789");
  EXPECT_EQ(exact.log, " w0,3:0123456789 c0,3 s s c0,3");
  EXPECT_FALSE(writer.scroll_pending());
  LoggingScreen more({10, 4, 0, 3});
  writer.WriteText(more, "0123456789X");
  EXPECT_EQ(more.log, " w0,3:0123456789 s w0,3:X c1,3");
}
