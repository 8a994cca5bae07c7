// Key decoding without the OS: console input events and terminal bytes become key texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/text.h"

// The control-key state bits of a console key event that the decision looks at.
inline constexpr std::uint32_t kRightAltPressed = 0x0001;
inline constexpr std::uint32_t kLeftAltPressed = 0x0002;
inline constexpr std::uint32_t kShiftPressed = 0x0010;
inline constexpr std::uint32_t kCapsLockOn = 0x0080;

// The fields of one console input event that decide what the key poll does with it.
struct KeyEventRecord {
  bool is_key_event = false;
  bool key_down = false;
  // One byte in the console's input code page; 0 when the key has none.
  unsigned char character = 0;
  // The low 8 bits of the virtual scan code.
  unsigned char scan_code = 0;
  std::uint32_t control_state = 0;
  // The virtual-key code; only Escape's (27) is looked at.
  std::uint16_t virtual_key = 0;
};

// Either take the event and return `key`, or discard it (take false, key empty) and look at the
// next one. Both remove the event from the queue.
struct KeyDecision {
  bool take = false;
  Text key;
};

// Both decoders give every key its own text, though the pause compares each key with Escape
// alone: the key poll promises every key's text.
KeyDecision DecideKeyEvent(const KeyEventRecord& event);

// One key decoded from the front of the bytes a terminal has delivered.
struct TerminalKey {
  // Empty only when `bytes` was empty.
  Text key;
  // How many bytes of the front the key used (0 only when `bytes` was empty).
  std::size_t used = 0;
};

// Decodes exactly what has arrived and never waits for more: ESC with nothing after it is
// Escape (27); a cursor, editing or function key sequence is 0 and its PC scan code; an unknown
// or cut-off sequence is 0, 0; ESC with a letter is Alt (0 and the letter's scan code); ESC with
// another printable character is that character; any other byte is one key, and so is a whole
// UTF-8 character.
TerminalKey DecodeTerminalBytes(std::string_view bytes);
