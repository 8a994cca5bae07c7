// Test support: making every allocation of the unit-test program fail for a while.
#pragma once

// While a FailingAllocations object lives, every operator new of the test program throws
// std::bad_alloc, as it would with no memory left.
class FailingAllocations {
 public:
  FailingAllocations();
  ~FailingAllocations();
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;
};
