// The console echo on Windows: the cell writer drawing into the console screen buffer.
#include <windows.h>

#include <array>

#include "console/console_echo.h"
#include "console/echo_writer.h"
#include "system/process_state.h"

namespace {

class ConsoleScreen : public ScreenBuffer {
 public:
  explicit ConsoleScreen(HANDLE handle) : handle_(handle) {}

  bool QueryScreen(ScreenInfo* info) override {
    CONSOLE_SCREEN_BUFFER_INFO console{};
    if (!GetConsoleScreenBufferInfo(handle_, &console)) return false;
    info->width = console.dwSize.X;
    info->height = console.dwSize.Y;
    info->cursor_x = console.dwCursorPosition.X;
    info->cursor_y = console.dwCursorPosition.Y;
    return true;
  }

  void WriteCells(const EchoCell* cells, int count, int x, int y) override {
    std::array<CHAR_INFO, kEchoChunkCells> block{};
    for (int i = 0; i < count; ++i) block[i] = ToCharInfo(cells[i]);
    SMALL_RECT region{static_cast<SHORT>(x), static_cast<SHORT>(y),
                      static_cast<SHORT>(x + count - 1), static_cast<SHORT>(y)};
    WriteConsoleOutputA(handle_, block.data(), COORD{static_cast<SHORT>(count), 1}, COORD{0, 0},
                        &region);
  }

  void ScrollUpOneRow(int width, int height, const EchoCell& fill) override {
    const SMALL_RECT source{0, 1, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
    const CHAR_INFO fill_cell = ToCharInfo(fill);
    ScrollConsoleScreenBufferA(handle_, &source, nullptr, COORD{0, 0}, &fill_cell);
  }

  void SetCursor(int x, int y) override {
    SetConsoleCursorPosition(handle_, COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});
  }

 private:
  static CHAR_INFO ToCharInfo(const EchoCell& cell) {
    CHAR_INFO info{};
    info.Char.AsciiChar = static_cast<CHAR>(cell.character);
    info.Attributes = cell.attribute;
    return info;
  }

  HANDLE handle_;
};

// The owed scroll outlives each call: it belongs to the console output, not to one line.
EchoWriter& Writer() {
  static EchoWriter writer;
  return writer;
}

}  // namespace

void ConsolePrintLine(std::string_view text) {
  ConsoleScreen screen(reinterpret_cast<HANDLE>(Process().console_output));
  Writer().PrintLine(screen, text);
}
