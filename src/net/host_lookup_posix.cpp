// Host-name lookup in a program linked to the system's C library: nothing to prepare.
#include "net/host_lookup.h"

// The system's resolver is set up by the system (nsswitch.conf and the modules it names).
void PrepareHostLookup() {}
