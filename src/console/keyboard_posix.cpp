// The keyboard poll on POSIX systems: terminal bytes decoded one key at a time.
#include <unistd.h>

#include <cstring>
#include <string_view>

#include "console/key_decoder.h"
#include "console/keyboard.h"
#include "console/terminal_posix.h"
#include "system/process_state.h"
#include "system/retry_posix.h"

namespace {

// Bytes read from the terminal and not yet handed out as keys. A long paste stays in the
// terminal beyond this much and is read as the keys before it are taken. The room is fixed, so
// that reading keys never needs memory and no typed key is lost for want of it.
constexpr std::size_t kPendingLimit = 4096;
char g_pending[kPendingLimit];
std::size_t g_pending_count = 0;

// Everything the terminal has, without waiting (the descriptor is non-blocking).
void ReadAvailable(int fd) {
  while (g_pending_count < kPendingLimit) {
    const ssize_t count = RetryAfterSignal(
        -1, [&] { return read(fd, g_pending + g_pending_count, kPendingLimit - g_pending_count); });
    if (count <= 0) {
      // Nothing more for now (EAGAIN), a hung-up terminal (0) or an error: keep what we have.
      return;
    }
    g_pending_count += static_cast<std::size_t>(count);
  }
}

}  // namespace

void PrepareKeyboard() { PrepareTerminal(); }

Text PollKey() {
  if (Process().console_input == kNoHandle || !TerminalReadyForKeys()) return Text();
  ReadAvailable(static_cast<int>(Process().console_input));
  TerminalKey key;
  // Without memory for the key's text the bytes stay, to be read at the next poll.
  if (!GuardAllocation([&] { key = DecodeTerminalBytes({g_pending, g_pending_count}); })) {
    return Text();
  }
  std::memmove(g_pending, g_pending + key.used, g_pending_count - key.used);
  g_pending_count -= key.used;
  return std::move(key.key);
}
