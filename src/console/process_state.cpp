// Process-wide state: the one instance.
#include "console/process_state.h"

ProcessState& Process() {
  static ProcessState state;
  return state;
}
