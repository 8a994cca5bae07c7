// Sleeping on Windows.
#include <windows.h>

#include "console/sleep.h"

void SleepMs(std::uint32_t ms) { Sleep(ms); }
