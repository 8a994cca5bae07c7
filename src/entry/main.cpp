// The program's entry point.
#include "entry/startup.h"

int main(int argc, char** argv) { return ProcessMain(argc, argv); }
