// The program's main flow: command text, banner, usage, loop time, probe cycle, exit code.
#pragma once

#include <cstdint>

#include "text/text.h"

inline constexpr std::int32_t kExitFailedProbe = 10;
inline constexpr std::int32_t kExitEscape = 1;
// The process could not be prepared for a run: no probe was made.
inline constexpr std::int32_t kExitNotPrepared = 255;

// The whole run after start-up; returns the exit code (0, 1 or 10; 255 without memory for the
// command text).
std::int32_t RunDriver();
// The loop time and the probe cycle for a command text that is not a usage request.
std::int32_t RunProbeCycle(Text command_text);
