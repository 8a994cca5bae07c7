// The Windows system-call wrapper: last-error reset, no error dialog boxes, one lock.
#pragma once

#include <cstdint>
#include <functional>

// Runs `call` with the thread's last-error code set to 0 before it and the process error mode
// at SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX during it; returns the last-error code
// right after it (0 means the call worked; its own result is not consulted).
std::uint32_t CallSystem(const std::function<void()>& call);
