// Test support: the unit-test program's operator new, which fails on request.
#include "failing_allocation.h"

#include <cstdlib>
#include <new>

namespace {
bool g_failing = false;
}  // namespace

FailingAllocations::FailingAllocations() { g_failing = true; }
FailingAllocations::~FailingAllocations() { g_failing = false; }

void* operator new(std::size_t size) {
  void* memory = g_failing ? nullptr : std::malloc(size != 0 ? size : 1);
  return memory != nullptr ? memory : throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
