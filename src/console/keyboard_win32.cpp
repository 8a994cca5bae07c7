// The keyboard poll on Windows: the console input queue.
#include <windows.h>

#include "console/key_decoder.h"
#include "console/keyboard.h"
#include "system/process_state.h"

namespace {

KeyEventRecord ToKeyEvent(const INPUT_RECORD& record) {
  KeyEventRecord event;
  event.is_key_event = record.EventType == KEY_EVENT;
  if (!event.is_key_event) return event;
  const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  event.key_down = key.bKeyDown != FALSE;
  event.character = static_cast<unsigned char>(key.uChar.AsciiChar);
  event.scan_code = static_cast<unsigned char>(key.wVirtualScanCode & 0xFF);
  event.control_state = key.dwControlKeyState;
  event.virtual_key = key.wVirtualKeyCode;
  return event;
}

}  // namespace

void PrepareKeyboard() {}

Text PollKey() {
  const HANDLE input = reinterpret_cast<HANDLE>(Process().console_input);
  for (;;) {
    INPUT_RECORD record{};
    DWORD count = 0;
    if (!PeekConsoleInputA(input, &record, 1, &count) || count == 0) return Text();
    KeyDecision decision;
    // Without memory for the key's text the event stays queued, to be read at the next poll.
    if (!GuardAllocation([&] { decision = DecideKeyEvent(ToKeyEvent(record)); })) return Text();
    // Taken or discarded, the event leaves the queue; the read's own result does not matter.
    DWORD removed = 0;
    ReadConsoleInputA(input, &record, 1, &removed);
    if (decision.take) return std::move(decision.key);
  }
}
