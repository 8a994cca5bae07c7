// The Windows system-call wrapper: last-error reset, no error dialog boxes, one lock.
#pragma once

#include <cstdint>

// The two halves of the wrapper; CallSystem brackets one call with them.
void EnterSystemCall();
std::uint32_t LeaveSystemCall();

// Runs `call` with the thread's last-error code set to 0 before it and the process error mode
// at SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX during it; returns the last-error code
// right after it (0 means the call worked; its own result is not consulted). Nothing here
// allocates, so line output cannot fail, or throw, for want of memory.
template <typename Call>
std::uint32_t CallSystem(Call&& call) {
  EnterSystemCall();
  call();
  return LeaveSystemCall();
}
