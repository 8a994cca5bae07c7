// Tests of the console key decision and the terminal byte decoder, as far as the pause can see
// them: it compares each key with Escape, so what shows is which keys are Escape, which events
// are no key at all, and how many bytes each key takes (a key that takes too few or too many
// changes where a following Escape is seen).
#include "console/key_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "E" for Escape, "key" for any other key, "none" for an event that is discarded.
std::string Seen(const KeyEventRecord& event) {
  const KeyDecision decision = DecideKeyEvent(event);
  return !decision.take ? "none" : decision.key == "\x1b" ? "E" : "key";
}

KeyEventRecord Press(int character, int scan_code, std::uint32_t control_state = 0) {
  return {true, true, static_cast<unsigned char>(character), static_cast<unsigned char>(scan_code),
          control_state};
}

// The keys typed bytes give, one a poll: "E" for Escape, "k" for any other key, each with the
// number of bytes it takes.
std::string Keys(std::string_view bytes) {
  std::string seen;
  while (!bytes.empty()) {
    const TerminalKey key = DecodeTerminalBytes(bytes);
    if (!seen.empty()) seen += ' ';
    seen.append(key.key == "\x1b" ? "E" : "k").append(std::to_string(key.used));
    bytes.remove_prefix(key.used);
  }
  return seen;
}

}  // namespace

// The Escape key is Escape however the console reports it (Wine gives it no character, and Caps
// Lock makes the character 0 into 27); keys with and without characters are other keys; releases,
// other events and modifiers alone (Ctrl, Caps Lock ...) are no key.
TEST(ConsoleKeys, WhichEventsAreEscapeOtherKeysOrNoKey) {
  // clang-format off
  const std::pair<KeyEventRecord, std::string> cases[] = {
      {Press(27, 0x01), "E"}, {{true, true, 0, 0x01, 0, 27}, "E"},
      {Press(0, 0x01, kCapsLockOn), "E"}, {Press(0, 0x01), "key"},
      {Press(3, 0x2E, 0x0008 /* left Ctrl */), "key"}, {Press(0, 0x48), "key"},
      {Press('m', 0x32, kRightAltPressed), "key"}, {{true, false, 0, 0x01, 0, 27}, "none"},
      {{false, true, 'a', 0x1E, 0}, "none"}, {Press(0, 0x1D), "none"}, {Press(0, 0x3A), "none"}};
  // clang-format on
  for (const auto& [event, seen] : cases) EXPECT_EQ(Seen(event), seen) << int{event.scan_code};
}

// ESC alone or before a control byte is Escape; before any other character it is Alt with that
// key. A cursor or function key sequence is one key, whatever modifiers it carries; an unknown
// or cut-off one is one key too, never Escape, and ends before a byte that cannot belong to it.
// A UTF-8 character is one key, and so is each byte that is not part of one; no byte is no key.
TEST(TerminalKeys, WhichBytesAreEscapeAndHowManyEachKeyTakes) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"\x1b", "E1"}, {"\x1b\x1b", "E1 E1"}, {"\x1b\r\x1b\x03", "E1 k1 E1 k1"},
      {"\x1bQ\x1b.\x1b\xc3\xa9\x1bO\r", "k2 k2 k3 k2 k1"},
      {"\x1b[A\x1bOA\x1b[1;5A\x1bO5P", "k3 k3 k6 k4"},
      {"\x1b[6~\x1b[24;3~\x1b[[E\x1b[2$", "k4 k7 k4 k4"}, {"\x1b\x1b[A\x1b\x1b[", "k4 E1 k2"},
      {"\x1b[99~\x1b[[Z", "k5 k3 k1"}, {"\x1b[1\x1b[A", "k3 k3"}, {"\x1bO5", "k3"},
      {"\x1b[\xc3\xa9\x1b[1;5", "k2 k2 k5"}, {std::string("a\0", 2), "k1 k1"},
      {"\xe2\x82\xac\xf0\x9f\x98\x80!", "k3 k4 k1"}, {"\xe2x\x80\xe2\x82", "k1 k1 k1 k2"}};
  // clang-format on
  for (const auto& [bytes, keys] : cases)
    EXPECT_EQ(Keys(bytes), keys) << testing::PrintToString(bytes);
  EXPECT_TRUE(DecodeTerminalBytes("").key.empty());
}
