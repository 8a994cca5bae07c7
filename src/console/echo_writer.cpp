// The console echo's screen-cell writer: chunks, wrapping and the owed scroll.
#include "console/echo_writer.h"

#include <algorithm>
#include <array>

namespace {

// A buffer the writer cannot place a cell in: nothing is written, so nothing can loop.
bool Usable(const ScreenInfo& info) {
  return info.width > 0 && info.height > 0 && info.cursor_x >= 0 && info.cursor_x < info.width &&
         info.cursor_y >= 0 && info.cursor_y < info.height;
}

}  // namespace

void EchoWriter::PrintLine(ScreenBuffer& screen, std::string_view text) {
  WriteText(screen, text);
  EndLine(screen);
}

void EchoWriter::ScrollUp(ScreenBuffer& screen, const ScreenInfo& info) {
  screen.ScrollUpOneRow(info.width, info.height, EchoCell{' ', kEchoAttribute});
}

void EchoWriter::WriteText(ScreenBuffer& screen, std::string_view text) {
  if (text.empty()) return;
  ScreenInfo info;
  if (!screen.QueryScreen(&info) || !Usable(info)) return;
  int x = info.cursor_x;
  int y = info.cursor_y;
  std::array<EchoCell, kEchoChunkCells> cells;
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t left = text.size() - position;
    const int count = static_cast<int>(std::min<std::size_t>(
        left, static_cast<std::size_t>(std::min(info.width - x, kEchoChunkCells))));
    if (scroll_pending_) {
      scroll_pending_ = false;
      ScrollUp(screen, info);
    }
    for (int i = 0; i < count; ++i) {
      cells[i] = EchoCell{static_cast<unsigned char>(text[position + i]), kEchoAttribute};
    }
    screen.WriteCells(cells.data(), count, x, y);
    position += static_cast<std::size_t>(count);
    x += count;
    if (x == info.width) {
      x = 0;
      if (y + 1 == info.height) {
        scroll_pending_ = true;
      } else {
        ++y;
      }
    }
  }
  // This cursor move keeps the owed scroll: the text may go on in the same line.
  screen.SetCursor(x, y);
}

void EchoWriter::EndLine(ScreenBuffer& screen) {
  ScreenInfo info;
  if (!screen.QueryScreen(&info) || !Usable(info)) return;
  const bool was_pending = scroll_pending_;
  scroll_pending_ = false;
  if (info.cursor_y + 1 != info.height) {
    screen.SetCursor(0, info.cursor_y + 1);
    return;
  }
  // On the last row: the owed scroll for the wrap, then the one for the line end itself.
  if (was_pending) ScrollUp(screen, info);
  ScrollUp(screen, info);
  screen.SetCursor(0, info.cursor_y);
}
