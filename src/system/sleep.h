// Sleeping.
#pragma once

#include <cstdint>

// Suspends the program for `ms` milliseconds; keys pressed meanwhile wait for the next poll.
void SleepMs(std::uint32_t ms);
