// Test support: making every allocation of the unit-test program fail for a while.
#pragma once

// While true, every operator new of the test program throws std::bad_alloc, as it would with no
// memory left.
extern bool g_fail_allocations;
