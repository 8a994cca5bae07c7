// Sleeping on Windows.
#include <windows.h>

#include "system/sleep.h"

void SleepMs(std::uint32_t ms) { Sleep(ms); }
