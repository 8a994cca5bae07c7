// Process-wide state: the one instance.
#include "system/process_state.h"

ProcessState& Process() {
  static ProcessState state;
  return state;
}
