// Host-name lookups in the static program: pinned to the C library's own sources.
#include <netdb.h>
#include <nss.h>

// A static glibc program that follows an nsswitch.conf naming other modules (mdns4_minimal,
// myhostname, resolve, sss, ldap) loads them from the system's own C library, built for another
// version than the one inside the program: they crash it (SIGFPE, or an assertion's SIGABRT) at
// every lookup. So its lookups use /etc/hosts and the DNS servers of /etc/resolv.conf only, both
// inside the program, whatever nsswitch.conf says, and it never loads a module.
//
// The static build links every getaddrinfo call to this one (ld --wrap), which pins the lookup
// before the first of them: pinning reads nsswitch.conf, a cost that a run probing a dotted
// address, which looks nothing up, does not pay.
extern "C" int __real_getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                                  addrinfo** found);

extern "C" int __wrap_getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                                  addrinfo** found) {
  // It fails only for an unknown database or a line it cannot parse, neither of them here.
  static const bool pinned = __nss_configure_lookup("hosts", "files dns") == 0;
  static_cast<void>(pinned);
  return __real_getaddrinfo(node, service, hints, found);
}
