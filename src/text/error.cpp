// Error numbers: the stack of open routine scopes.
#include "text/error.h"

namespace {
thread_local ErrorScope* innermost = nullptr;
}  // namespace

ErrorScope::ErrorScope() : outer_(innermost) { innermost = this; }

ErrorScope::~ErrorScope() { innermost = outer_; }

void RaiseError(ErrorNumber number) {
  if (innermost != nullptr) innermost->number_ = number;
}

ErrorNumber LastError() { return innermost != nullptr ? innermost->number_ : 0; }
