// The program's entry point.
#include "console/startup.h"

int main(int argc, char** argv) { return ProcessMain(argc, argv); }
