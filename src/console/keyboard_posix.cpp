// The keyboard poll on POSIX systems: terminal bytes decoded one key at a time.
#include <unistd.h>

#include <algorithm>
#include <new>

#include "console/key_decoder.h"
#include "console/keyboard.h"
#include "console/process_state.h"
#include "console/terminal_posix.h"
#include "system/retry_posix.h"

namespace {

// Bytes read from the terminal and not yet handed out as keys. A long paste stays in the
// terminal beyond this much and is read as the keys before it are taken.
constexpr std::size_t kPendingLimit = 4096;

Text& Pending() {
  static Text pending;
  return pending;
}

// Everything the terminal has, without waiting (the descriptor is non-blocking).
void ReadAvailable(int fd, Text& pending) {
  char chunk[256];
  while (pending.size() < kPendingLimit) {
    const std::size_t room = std::min(sizeof chunk, kPendingLimit - pending.size());
    const ssize_t count = RetryAfterSignal(-1, [&] { return read(fd, chunk, room); });
    if (count > 0) {
      pending.append(chunk, static_cast<std::size_t>(count));
    } else {
      // Nothing more for now (EAGAIN), a hung-up terminal (0) or an error: keep what we have.
      return;
    }
  }
}

}  // namespace

void PrepareKeyboard() { PrepareTerminal(); }

Text PollKey() {
  if (Process().console_input == kNoHandle || !TerminalReadyForKeys()) return Text();
  Text& pending = Pending();
  try {
    ReadAvailable(static_cast<int>(Process().console_input), pending);
    TerminalKey key = DecodeTerminalBytes(pending);
    pending.erase(0, key.used);
    return std::move(key.key);
  } catch (const std::bad_alloc&) {
    pending.clear();
    return Text();
  }
}
