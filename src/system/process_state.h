// Process-wide state: the handles start-up finds, and the keyboard a repeating run opens.
#pragma once

#include <cstdint>

// Native handles cross this header as integers: Windows HANDLEs, or POSIX file descriptors.
// -1 stands for "none" on both (INVALID_HANDLE_VALUE on Windows).
inline constexpr std::intptr_t kNoHandle = -1;

struct ProcessState {
  // Where every line goes.
  std::intptr_t std_output = kNoHandle;
  // Where the console echo writes: standard output when it is a console, else standard error.
  std::intptr_t console_output = kNoHandle;
  // The keyboard: the console input buffer (Windows), or the controlling terminal (POSIX), which
  // is opened only when a repeating run readies the keyboard.
  std::intptr_t console_input = kNoHandle;
  // -1 when standard output was a console/terminal at start-up, else 0.
  std::int32_t console_flag = 0;
};

// The one instance: start-up fills it in; later only the POSIX keyboard is written (above).
ProcessState& Process();
