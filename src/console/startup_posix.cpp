// Start-up and shutdown on POSIX systems.
#include "console/startup.h"

int ProcessMain(int, char**) { return 0; }
