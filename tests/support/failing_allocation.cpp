// Test support: the unit-test program's operator new, which fails on request.
#include "failing_allocation.h"

#include <cstdlib>
#include <new>

bool g_fail_allocations = false;

void* operator new(std::size_t size) {
  void* memory = g_fail_allocations ? nullptr : std::malloc(size != 0 ? size : 1);
  return memory != nullptr ? memory : throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
