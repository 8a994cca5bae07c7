// The Windows system-call wrapper.
#include "console/system_call_win32.h"

#include <windows.h>

#include <atomic>

namespace {
std::atomic<std::uint32_t> call_lock{0};
}  // namespace

std::uint32_t CallSystem(const std::function<void()>& call) {
  while (call_lock.exchange(0xFFFFFFFFu, std::memory_order_acquire) != 0) {
  }
  const UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  SetLastError(0);
  call();
  const DWORD error = GetLastError();
  SetErrorMode(previous_mode);
  call_lock.store(0, std::memory_order_release);
  return error;
}
