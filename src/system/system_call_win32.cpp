// The Windows system-call wrapper.
#include "system/system_call_win32.h"

#include <windows.h>

#include <atomic>

#include "system/busy_lock.h"

namespace {
std::atomic<std::uint32_t> call_lock{0};
// Written and read under the lock.
UINT previous_error_mode = 0;
}  // namespace

void EnterSystemCall() {
  TakeBusyLock(call_lock);
  previous_error_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  SetLastError(0);
}

std::uint32_t LeaveSystemCall() {
  const DWORD error = GetLastError();
  SetErrorMode(previous_error_mode);
  ReleaseBusyLock(call_lock);
  return error;
}
