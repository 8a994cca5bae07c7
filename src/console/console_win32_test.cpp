// Tests of the Windows key poll and console echo on a real console.
// Every build compiles every test file; this one has nothing to test elsewhere.
#if defined(_WIN32)

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "console/console_echo.h"
#include "console/keyboard.h"
#include "console/process_state.h"

namespace {

INPUT_RECORD KeyEvent(bool down, char character, WORD scan_code, DWORD control_state = 0,
                      WORD repeat = 1) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
  record.Event.KeyEvent.wRepeatCount = repeat;
  record.Event.KeyEvent.wVirtualScanCode = scan_code;
  record.Event.KeyEvent.uChar.AsciiChar = character;
  record.Event.KeyEvent.dwControlKeyState = control_state;
  return record;
}

INPUT_RECORD MouseEvent() {
  INPUT_RECORD record{};
  record.EventType = MOUSE_EVENT;
  record.Event.MouseEvent.dwEventFlags = MOUSE_MOVED;
  return record;
}

// Points the program's console input at this process's console input buffer, into which the
// test types; skipped where there is no usable console (Wine without a terminal, say).
class ConsoleKeyboard : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = Process().console_input;
    input_ = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (input_ == INVALID_HANDLE_VALUE || !FlushConsoleInputBuffer(input_)) {
      GTEST_SKIP() << "no usable console input buffer";
    }
    // As at start-up: with processed input on, a typed Ctrl+C would end this process.
    GetConsoleMode(input_, &mode_);
    SetConsoleMode(input_, 0);
    Process().console_input = reinterpret_cast<std::intptr_t>(input_);
  }
  void TearDown() override {
    Process().console_input = saved_;
    if (input_ != INVALID_HANDLE_VALUE) {
      FlushConsoleInputBuffer(input_);
      SetConsoleMode(input_, mode_);
      CloseHandle(input_);
    }
  }
  void Type(const std::vector<INPUT_RECORD>& events) {
    DWORD written = 0;
    ASSERT_TRUE(
        WriteConsoleInputA(input_, events.data(), static_cast<DWORD>(events.size()), &written));
    ASSERT_EQ(written, events.size());
  }
  std::vector<Text> PollAll() {
    std::vector<Text> keys;
    for (Text key = PollKey(); !key.empty(); key = PollKey()) keys.push_back(key);
    return keys;
  }

  HANDLE input_ = INVALID_HANDLE_VALUE;
  DWORD mode_ = 0;
  std::intptr_t saved_ = kNoHandle;
};

TEST_F(ConsoleKeyboard, OneKeyPerPollAndEverythingElseDiscarded) {
  EXPECT_EQ(PollKey(), "");
  Type({KeyEvent(true, 27, 1), KeyEvent(false, 27, 1)});
  EXPECT_EQ(PollKey(), "\x1b");
  EXPECT_EQ(PollKey(), "");

  Type({KeyEvent(true, 'a', 0x1E), KeyEvent(true, 27, 1), KeyEvent(false, 'a', 0x1E), MouseEvent(),
        KeyEvent(true, 0, 0x2A, SHIFT_PRESSED), KeyEvent(true, 0, 0x3B),
        KeyEvent(true, 'q', 0x10, LEFT_ALT_PRESSED), KeyEvent(true, 'x', 0x2D, 0, 5),
        KeyEvent(true, '1', 0x02, CAPSLOCK_ON | SHIFT_PRESSED),
        KeyEvent(true, 3, 0x2E, LEFT_CTRL_PRESSED), KeyEvent(false, 3, 0x2E)});
  EXPECT_EQ(PollAll(), (std::vector<Text>{"a", "\x1b", TextFromCodes({0, 0x3B}),
                                          TextFromCodes({0, 0x10}), "x", "!", "\x03"}));
}

TEST_F(ConsoleKeyboard, NoConsoleInputGivesNoKey) {
  Process().console_input = kNoHandle;
  EXPECT_EQ(PollKey(), "");
}

// A 10 by 4 screen buffer of its own, filled with 'x' in white on blue, as the echo's target.
class ConsoleEcho : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = Process().console_output;
    buffer_ =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    const SMALL_RECT window{0, 0, kWidth - 1, kHeight - 1};
    if (buffer_ == INVALID_HANDLE_VALUE || !SetConsoleWindowInfo(buffer_, TRUE, &window) ||
        !SetConsoleScreenBufferSize(buffer_, COORD{kWidth, kHeight})) {
      GTEST_SKIP() << "no usable console screen buffer";
    }
    DWORD done = 0;
    FillConsoleOutputCharacterA(buffer_, 'x', kWidth * kHeight, COORD{0, 0}, &done);
    FillConsoleOutputAttribute(buffer_, 0x1F, kWidth * kHeight, COORD{0, 0}, &done);
    Process().console_output = reinterpret_cast<std::intptr_t>(buffer_);
  }
  void TearDown() override {
    Process().console_output = saved_;
    if (buffer_ != INVALID_HANDLE_VALUE) CloseHandle(buffer_);
  }
  std::string Row(SHORT y) {
    std::string row(kWidth, '?');
    DWORD done = 0;
    ReadConsoleOutputCharacterA(buffer_, row.data(), kWidth, COORD{0, y}, &done);
    return row;
  }
  std::vector<WORD> Attributes(SHORT y) {
    std::vector<WORD> attributes(kWidth);
    DWORD done = 0;
    ReadConsoleOutputAttribute(buffer_, attributes.data(), kWidth, COORD{0, y}, &done);
    return attributes;
  }
  COORD Cursor() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(buffer_, &info);
    return info.dwCursorPosition;
  }

  static constexpr SHORT kWidth = 10;
  static constexpr SHORT kHeight = 4;
  HANDLE buffer_ = INVALID_HANDLE_VALUE;
  std::intptr_t saved_ = kNoHandle;
};

TEST_F(ConsoleEcho, LinesGoIntoCellsInGreyAndScrollAtTheBottom) {
  SetConsoleCursorPosition(buffer_, COORD{2, 1});
  ConsolePrintLine("a\tb");
  EXPECT_EQ(Row(1), "xxa\tbxxxxx");
  EXPECT_EQ(Attributes(1)[2], 0x07);
  EXPECT_EQ(Attributes(1)[4], 0x07);
  EXPECT_EQ(Attributes(1)[5], 0x1F);
  EXPECT_EQ(Cursor().X, 0);
  EXPECT_EQ(Cursor().Y, 2);

  // Exactly the width on the last row: one scroll for the wrap, one for the line end.
  SetConsoleCursorPosition(buffer_, COORD{0, 3});
  ConsolePrintLine("0123456789");
  EXPECT_EQ(Row(0), "xxxxxxxxxx");
  EXPECT_EQ(Row(1), "0123456789");
  EXPECT_EQ(Row(2), "          ");
  EXPECT_EQ(Row(3), "          ");
  EXPECT_EQ(Attributes(3), std::vector<WORD>(kWidth, 0x07));
  EXPECT_EQ(Cursor().X, 0);
  EXPECT_EQ(Cursor().Y, 3);

  // One byte more than the width: the last byte lands in column 0 after one scroll.
  ConsolePrintLine("abcdefghijK");
  EXPECT_EQ(Row(1), "abcdefghij");
  EXPECT_EQ(Row(2), "K         ");
  EXPECT_EQ(Row(3), "          ");
  EXPECT_EQ(Cursor().Y, 3);
}

}  // namespace

#endif  // defined(_WIN32)
