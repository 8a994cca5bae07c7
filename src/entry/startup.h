// Process start-up and shutdown around the one run of the driver.
#pragma once

// Prepares the process, runs the driver once and returns its exit code (255 when the process
// cannot be prepared). On Windows the command line comes from the system, not from argv.
int ProcessMain(int argc, char** argv);
