// The console echo's screen-cell writer, kept apart from the console it draws on.
#pragma once

#include <cstdint>
#include <string_view>

// Grey on black: every cell the echo writes or blanks gets it, whatever colours the console uses.
inline constexpr std::uint16_t kEchoAttribute = 0x07;
// The most cells one write call puts on the screen.
inline constexpr int kEchoChunkCells = 255;

struct EchoCell {
  unsigned char character = ' ';
  std::uint16_t attribute = kEchoAttribute;
};

// Positions count from 0; width and height are the whole buffer's, not the window's.
struct ScreenInfo {
  int width = 0;
  int height = 0;
  int cursor_x = 0;
  int cursor_y = 0;
};

// The few operations of a screen buffer the echo needs.
class ScreenBuffer {
 public:
  virtual ~ScreenBuffer() = default;
  // The buffer's size and the cursor; false when the buffer cannot be asked.
  virtual bool QueryScreen(ScreenInfo* info) = 0;
  // Puts `count` cells into row `y` from column `x` on.
  virtual void WriteCells(const EchoCell* cells, int count, int x, int y) = 0;
  // Moves rows 1 to height - 1 up by one and fills the bottom row with `fill`.
  virtual void ScrollUpOneRow(int width, int height, const EchoCell& fill) = 0;
  virtual void SetCursor(int x, int y) = 0;
};

// Writes lines cell by cell at the cursor. A write that fills the last cell of the last row
// does not scroll at once: the scroll is owed (pending) until more text comes or the line ends.
// A line exactly as wide as the buffer, on the last row, therefore scrolls twice at its end (once
// for the wrap, once for the line end) and leaves one empty row below it, as the console does.
class EchoWriter {
 public:
  // The text's bytes, each one cell (no byte is interpreted), then a line end.
  void PrintLine(ScreenBuffer& screen, std::string_view text);
  void WriteText(ScreenBuffer& screen, std::string_view text);
  void EndLine(ScreenBuffer& screen);
  bool scroll_pending() const { return scroll_pending_; }

 private:
  void ScrollUp(ScreenBuffer& screen, const ScreenInfo& info);

  bool scroll_pending_ = false;
};
