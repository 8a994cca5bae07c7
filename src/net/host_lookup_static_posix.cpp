// Host-name lookup in the static program: pinned to the C library's own sources.
#include <nss.h>

#include "net/host_lookup.h"

// A static glibc program that follows an nsswitch.conf naming other modules (mdns4_minimal,
// myhostname, resolve, sss, ldap) loads them from the system's own C library, built for another
// version than the one inside the program: they crash it (SIGFPE, or an assertion's SIGABRT) at
// every lookup. Its lookups therefore use /etc/hosts and the DNS servers of /etc/resolv.conf only,
// both inside the program, whatever nsswitch.conf says, and it never loads a module.
void PrepareHostLookup() {
  // It fails only for an unknown database or a line it cannot parse, neither of them here.
  __nss_configure_lookup("hosts", "files dns");
}
