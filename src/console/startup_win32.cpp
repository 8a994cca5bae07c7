// Start-up and shutdown on Windows.
#include "console/startup.h"

int ProcessMain(int, char**) { return 0; }
