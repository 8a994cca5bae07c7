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
      {Press(27, 0x01), Bytes({27})}, {Press(0, 0x01, kCapsLockOn), Bytes({27})},
      {{true, true, 0, 0x01, 0, 27}, Bytes({27})},  // Escape as Wine reports it
      {Press(3, 0x2E, kLeftCtrlPressed), Bytes({3})}, {Press(0, 0x48, kEnhancedKey), Scan(0x48)},
      // Alt with a letter gives its scan code; outside the three letter rows, the character.
      {Press('m', 0x32, kRightAltPressed), Scan(0x32)}, {Press('1', 0x02, kLeftAltPressed), "1"},
      // Caps Lock: the number row and punctuation follow Shift alone; letters stay.
      {Press('1', 0x02, kCapsLockOn | kShiftPressed), "!"}, {Press('|', 0x2B, kCapsLockOn), "\\"},
      {Press('A', 0x1E, kCapsLockOn), "A"}};
  // clang-format on
  for (const auto& [event, key] : taken) {
    const KeyDecision decision = DecideKeyEvent(event);
    EXPECT_TRUE(decision.take && decision.key == key) << testing::PrintToString(key);
  }
  // Releases, other events, and modifier keys alone (Ctrl, both Shifts, Alt, the three Locks).
  // clang-format off
  const KeyEventRecord discarded[] = {
      {true, false, 0, 0x01, 0, 27}, {false, true, 'a', 0x1E, 0}, Press(0, 0x1D, kLeftAltPressed),
      Press(0, 0x2A), Press(0, 0x3A), Press(0, 0x46)};
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

// Cursor, editing and function keys give scan codes, whatever modifiers they carry; a control
// byte or a non-ASCII byte cannot belong to a sequence, which ends before it; an unknown or cut-off
// sequence is scan code 0, never Escape.
TEST(TerminalKeys, SequencesGiveScanCodesAndUnknownOrCutOffOnesAreNeverEscape) {
  CheckBytes(
      {{"\x1b[A", Scan(0x48), 3},     {"\x1b[H", Scan(0x47), 3},   {"\x1bOA", Scan(0x48), 3},
       {"\x1bOS", Scan(0x3E), 3},     {"\x1b[2~", Scan(0x52), 4},  {"\x1b[6~", Scan(0x51), 4},
       {"\x1b[15~", Scan(0x3F), 5},   {"\x1b[17~", Scan(0x40), 5}, {"\x1b[24~", Scan(0x86), 5},
       {"\x1b[[E", Scan(0x3F), 4},    {"\x1b[2$", Scan(0x52), 4},  {"\x1b[1;5A", Scan(0x48), 6},
       {"\x1b[24;3~", Scan(0x86), 7}, {"\x1bO5P", Scan(0x3B), 4},  {"\x1b[Z", Scan(0), 3},
       {"\x1b[99~", Scan(0), 5},      {"\x1b[[Z", Scan(0), 3},     {"\x1b[", Scan(0), 2},
       {"\x1b[1;5", Scan(0), 5},      {"\x1bO5", Scan(0), 3},      {"\x1b[1\x1b[A", Scan(0), 3},
       {"\x1b[\xc3\xa9", Scan(0), 2}});
}

// ESC alone or before a control key is Escape; before a character it is Alt with that key.
// Other bytes are one key each, and a UTF-8 character is one.
TEST(TerminalKeys, EscapeAloneOrBeforeAControlKeyIsEscapeAndOtherKeysAreOneEach) {
  // clang-format off
  CheckBytes({{"\x1bQ", Scan(0x10), 2}, {"\x1bz", Scan(0x2C), 2}, {"\x1bO\r", Scan(0x18), 2},
              {"\x1b.", ".", 2}, {"\x1b\xc3\xa9", "\xc3\xa9", 3}, {"\x1b\x1b[A", Scan(0x48), 4},
              {"", "", 0}, {"ab", "a", 1}, {Bytes({0, 'x'}), Bytes({0}), 1},
              {"\xe2\x82\xac", "\xe2\x82\xac", 3}, {"\xf0\x9f\x98\x80!", "\xf0\x9f\x98\x80", 4},
              {"\xe2\x82", "\xe2\x82", 2}, {"\xe2x", "\xe2", 1}, {"\x80\x80", "\x80", 1}});
  // clang-format on
  for (const Text bytes : {"\x1b", "\x1b\x1b", "\x1b\r", "\x1b\x03", "\x1b\x1b[", "\x1b\x1bO"}) {
    CheckBytes({{bytes, Bytes({27}), 1}});
  }
}

}  // namespace
