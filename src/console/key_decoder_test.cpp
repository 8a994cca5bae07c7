// Tests of the console key decision and the terminal byte decoder.
#include "console/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kLeftCtrlPressed = 0x0008;
constexpr std::uint32_t kEnhancedKey = 0x0100;

Text Bytes(std::initializer_list<int> codes) { return TextFromCodes(codes); }
Text Scan(int scan_code) { return Bytes({0, scan_code}); }

KeyEventRecord Press(int character, int scan_code, std::uint32_t control_state = 0) {
  return {true, true, static_cast<unsigned char>(character), static_cast<unsigned char>(scan_code),
          control_state};
}

// Taken events give their key text; released keys, other events and lone modifiers are discarded.
TEST(ConsoleKeys, TheDecisionTableWithAltLettersAndTheCapsLockCorrection) {
  // clang-format off
  const std::pair<KeyEventRecord, Text> taken[] = {
      {Press(27, 0x01), Bytes({27})}, {Press(0, 0x01), Bytes({0})},
      {Press(0, 0x01, kCapsLockOn), Bytes({27})},
      {{true, true, 0, 0x01, 0, 27}, Bytes({27})},  // Escape as Wine reports it
      {Press('a', 0x1E), "a"}, {Press(3, 0x2E, kLeftCtrlPressed), Bytes({3})},
      {Press(0, 0x48, kEnhancedKey), Scan(0x48)},  // grey Up like keypad Up
      // Alt with a letter gives its scan code; outside the three letter rows, the character.
      {Press('q', 0x10, kLeftAltPressed), Scan(0x10)}, {Press('m', 0x32, kRightAltPressed), Scan(0x32)},
      {Press('@', 0x10, kRightAltPressed | kLeftCtrlPressed), Scan(0x10)},
      {Press('1', 0x02, kLeftAltPressed), "1"}, {Press(';', 0x27, kLeftAltPressed), ";"},
      // Caps Lock: the number row and punctuation follow Shift alone; letters stay.
      {Press('1', 0x02, kCapsLockOn | kShiftPressed), "!"}, {Press('!', 0x02, kCapsLockOn), "1"},
      {Press('!', 0x02, kCapsLockOn | kShiftPressed), "!"}, {Press('|', 0x2B, kCapsLockOn), "\\"},
      {Press('!', 0x02), "!"}, {Press('A', 0x1E, kCapsLockOn), "A"},
      {Press(0xA7, 0x02, kCapsLockOn), Bytes({0xA7})}, {Press('x', 0x01, kCapsLockOn), Bytes({27})}};
  // clang-format on
  for (const auto& [event, key] : taken) {
    const KeyDecision decision = DecideKeyEvent(event);
    EXPECT_TRUE(decision.take && decision.key == key) << testing::PrintToString(key);
  }
  // Releases, other events, and modifier keys alone (Ctrl, both Shifts, Alt, the three Locks).
  // clang-format off
  const KeyEventRecord discarded[] = {
      {true, false, 0, 0x01, 0, 27}, {true, false, 'a', 0x1E, 0}, {false, true, 'a', 0x1E, 0},
      Press(0, 0x1D, kLeftAltPressed), Press(0, 0x2A), Press(0, 0x36), Press(0, 0x38),
      Press(0, 0x3A), Press(0, 0x45), Press(0, 0x46)};
  // clang-format on
  for (const KeyEventRecord& event : discarded) EXPECT_FALSE(DecideKeyEvent(event).take);
}

struct BytesCase {
  Text bytes;
  Text key;
  std::size_t used;
};

void CheckBytes(const std::vector<BytesCase>& cases) {
  for (const BytesCase& c : cases) {
    const TerminalKey key = DecodeTerminalBytes(c.bytes);
    EXPECT_EQ(key.key, c.key) << testing::PrintToString(c.bytes);
    EXPECT_EQ(key.used, c.used) << testing::PrintToString(c.bytes);
  }
}

TEST(TerminalKeys, CursorEditingAndFunctionKeysGiveScanCodesWithoutModifiers) {
  CheckBytes(
      {{"\x1b[A", Scan(0x48), 3},     {"\x1b[B", Scan(0x50), 3},    {"\x1b[D", Scan(0x4B), 3},
       {"\x1b[C", Scan(0x4D), 3},     {"\x1b[H", Scan(0x47), 3},    {"\x1b[F", Scan(0x4F), 3},
       {"\x1bOA", Scan(0x48), 3},     {"\x1bOP", Scan(0x3B), 3},    {"\x1bOS", Scan(0x3E), 3},
       {"\x1b[1~", Scan(0x47), 4},    {"\x1b[2~", Scan(0x52), 4},   {"\x1b[3~", Scan(0x53), 4},
       {"\x1b[4~", Scan(0x4F), 4},    {"\x1b[5~", Scan(0x49), 4},   {"\x1b[6~", Scan(0x51), 4},
       {"\x1b[7~", Scan(0x47), 4},    {"\x1b[8~", Scan(0x4F), 4},   {"\x1b[11~", Scan(0x3B), 5},
       {"\x1b[15~", Scan(0x3F), 5},   {"\x1b[17~", Scan(0x40), 5},  {"\x1b[21~", Scan(0x44), 5},
       {"\x1b[23~", Scan(0x85), 5},   {"\x1b[24~", Scan(0x86), 5},  {"\x1b[[A", Scan(0x3B), 4},
       {"\x1b[[E", Scan(0x3F), 4},    {"\x1b[2$", Scan(0x52), 4},   {"\x1b[3^", Scan(0x53), 4},
       {"\x1b[1;5A", Scan(0x48), 6},  {"\x1b[1;2P", Scan(0x3B), 6}, {"\x1b[3;5~", Scan(0x53), 6},
       {"\x1b[24;3~", Scan(0x86), 7}, {"\x1bO5P", Scan(0x3B), 4}});
}

// A control byte or a non-ASCII byte cannot belong to a sequence: the sequence ends before it.
TEST(TerminalKeys, UnknownAndCutOffSequencesAreNeverEscape) {
  const std::pair<Text, std::size_t> cases[] = {
      {"\x1b[Z", 3}, {"\x1b[99~", 5}, {"\x1bOp", 3}, {"\x1b[[Z", 3},      {"\x1b[", 2},
      {"\x1b[[", 3}, {"\x1b[1;5", 5}, {"\x1bO5", 3}, {"\x1b[1\x1b[A", 3}, {"\x1b[\xc3\xa9", 2}};
  for (const auto& [bytes, used] : cases) CheckBytes({{bytes, Scan(0), used}});
}

TEST(TerminalKeys, EscapeAloneOrBeforeAControlKeyIsEscapeAndBeforeACharacterIsAlt) {
  // clang-format off
  CheckBytes({{"\x1bQ", Scan(0x10), 2}, {Bytes({27, 'a'}), Scan(0x1E), 2}, {"\x1bz", Scan(0x2C), 2},
              {"\x1bO", Scan(0x18), 2}, {"\x1bO\r", Scan(0x18), 2}, {"\x1b.", ".", 2},
              {"\x1b\x7f", "\x7f", 2}, {"\x1b\xc3\xa9", "\xc3\xa9", 3},
              {"\x1b\x1b[A", Scan(0x48), 4}, {"\x1b\x1bOB", Scan(0x50), 4}});
  // clang-format on
  for (const Text bytes : {"\x1b", "\x1b\x1b", "\x1b\r", "\x1b\x03", "\x1b\x1b[", "\x1b\x1bO"}) {
    CheckBytes({{bytes, Bytes({27}), 1}});
  }
}

TEST(TerminalKeys, OtherBytesAreOneKeyEachAndAUtf8CharacterIsOne) {
  // clang-format off
  CheckBytes({{"", "", 0}, {"ab", "a", 1}, {"\x03", Bytes({3}), 1}, {Bytes({0, 'x'}), Bytes({0}), 1},
              {"\xc3\xa9x", "\xc3\xa9", 2}, {"\xe2\x82\xac", "\xe2\x82\xac", 3},
              {"\xf0\x9f\x98\x80!", "\xf0\x9f\x98\x80", 4}, {"\xe2\x82", "\xe2\x82", 2},
              {"\xe2x", "\xe2", 1}, {"\xc3\xa9\xa9", "\xc3\xa9", 2}, {"\x80\x80", "\x80", 1},
              {"\xc0\x80", "\xc0", 1}});
  // clang-format on
}

}  // namespace
