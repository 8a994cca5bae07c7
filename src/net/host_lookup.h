// Preparing the system's host-name lookup before the program's first lookup.
#pragma once

// Called once at start-up, before anything could look a name up.
void PrepareHostLookup();
