// The socket calls that POSIX systems and Windows Sockets share, made alike on both.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// getaddrinfo is declared from Windows XP (0x0501) on.
#if _WIN32_WINNT < 0x0501
#error "getaddrinfo needs _WIN32_WINNT 0x0501 or later"
#endif
using NativeSocket = SOCKET;
using AddressLength = int;
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
using AddressLength = socklen_t;
#endif

#include <cstring>

#include "net/socket_bsd.h"
#include "net/socket_error.h"

namespace {

NativeSocket Native(std::intptr_t socket) { return static_cast<NativeSocket>(socket); }

// The system's address record for `endpoint`, and its length.
AddressLength ToNative(const SocketEndpoint& endpoint, sockaddr_storage* native) {
  std::memset(native, 0, sizeof *native);
  if (endpoint.address.family == IpFamily::kIPv4) {
    sockaddr_in target;
    std::memset(&target, 0, sizeof target);
    target.sin_family = AF_INET;
    target.sin_port = endpoint.port;
    std::memcpy(&target.sin_addr, endpoint.address.bytes.data(), sizeof target.sin_addr);
    std::memcpy(native, &target, sizeof target);
    return sizeof target;
  }
  sockaddr_in6 target;
  std::memset(&target, 0, sizeof target);
  target.sin6_family = AF_INET6;
  target.sin6_port = endpoint.port;
  std::memcpy(&target.sin6_addr, endpoint.address.bytes.data(), sizeof target.sin6_addr);
  target.sin6_scope_id = endpoint.address.scope_id;
  std::memcpy(native, &target, sizeof target);
  return sizeof target;
}

// False for a record of another family than IPv4 and IPv6, or one too short for its family.
bool FromNative(const sockaddr* native, std::size_t length, SocketEndpoint* endpoint) {
  SocketEndpoint read;
  if (native->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
    sockaddr_in record;
    std::memcpy(&record, native, sizeof record);
    std::memcpy(read.address.bytes.data(), &record.sin_addr, sizeof record.sin_addr);
    read.port = record.sin_port;
  } else if (native->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
    sockaddr_in6 record;
    std::memcpy(&record, native, sizeof record);
    read.address.family = IpFamily::kIPv6;
    std::memcpy(read.address.bytes.data(), &record.sin6_addr, sizeof record.sin6_addr);
    read.address.scope_id = record.sin6_scope_id;
    read.port = record.sin6_port;
  } else {
    return false;
  }
  *endpoint = read;
  return true;
}

// The socket's own endpoint, or with `peer` the one it is connected to.
bool ReadEndpoint(std::intptr_t socket, bool peer, SocketEndpoint* endpoint) {
  sockaddr_storage native;
  AddressLength length = sizeof native;
  auto* record = reinterpret_cast<sockaddr*>(&native);
  return (peer ? getpeername(Native(socket), record, &length)
               : getsockname(Native(socket), record, &length)) == 0 &&
         FromNative(record, static_cast<std::size_t>(length), endpoint);
}

}  // namespace

int NativeFamily(IpFamily family) { return family == IpFamily::kIPv6 ? AF_INET6 : AF_INET; }

bool StartConnect(std::intptr_t socket, const SocketEndpoint& target) {
  sockaddr_storage native;
  const AddressLength length = ToNative(target, &native);
  return connect(Native(socket), reinterpret_cast<const sockaddr*>(&native), length) == 0;
}

ErrorNumber ConnectOutcome(std::intptr_t socket) {
  int pending = 0;
  AddressLength length = sizeof pending;
  if (getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending),
                 &length) != 0) {
    return LastSocketError();
  }
  return pending == 0 ? 0 : SocketErrorNumber(static_cast<std::uint32_t>(pending));
}

bool ReadEndpoints(std::intptr_t socket, SocketEndpoint* local, SocketEndpoint* peer) {
  return ReadEndpoint(socket, false, local) && ReadEndpoint(socket, true, peer);
}

bool ConnectedToItself(std::intptr_t socket) {
  SocketEndpoint local;
  SocketEndpoint peer;
  return ReadEndpoints(socket, &local, &peer) && local == peer;
}

ErrorNumber LookUpService(const Text& service, std::uint16_t* port) {
  const servent* entry = getservbyname(service.c_str(), "tcp");
  // 57 on both: POSIX's getservbyname sets no errno, and of Windows' codes only WSAEINPROGRESS
  // (a Winsock 1.1 blocking call in progress, which one thread without blocking hooks never
  // meets) would map to another number.
  if (entry == nullptr) return kErrSocket;
  // The entry holds the port in network byte order already.
  *port = static_cast<std::uint16_t>(entry->s_port);
  return 0;
}

ErrorNumber ReadLocalHostName(char (&area)[kHostNameArea]) {
  std::memset(area, 0, sizeof area);
  if (gethostname(area, static_cast<int>(sizeof area)) != 0) return LastSocketError();
  return 0;
}

int LookUpAddress(const Text& host, IpFamily family, int flags, IpAddress* address) {
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = NativeFamily(family);
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0) return result;
  SocketEndpoint first;
  const bool read = found != nullptr && found->ai_addr != nullptr &&
                    FromNative(found->ai_addr, found->ai_addrlen, &first) &&
                    first.address.family == family;
  freeaddrinfo(found);
  if (!read) return EAI_NONAME;
  *address = first.address;
  return 0;
}

bool AnswerHeldNoAddress(int code) {
  return code == EAI_NONAME
#ifdef EAI_NODATA
         || code == EAI_NODATA
#endif
#ifdef EAI_ADDRFAMILY
         || code == EAI_ADDRFAMILY
#endif
      ;
}

ErrorNumber ResolveHostIPv6(const Text& host, IpAddress* address) {
  // IPv4 address text names no host that has an IPv6 address, and a resolver asked for one could
  // send the text off as a name. The open reads dotted text without a lookup, and glibc gives no
  // IPv6 address for other IPv4 text: the check is for resolvers that would look it up.
  IpAddress ipv4;
  if (LookUpAddress(host, IpFamily::kIPv4, AI_NUMERICHOST, &ipv4) == 0) return kErrSocket;
  return LookUpAddress(host, IpFamily::kIPv6, 0, address) == 0 ? 0 : kErrSocket;
}

ErrorNumber ReadIPv6Address(const Text& text, IpAddress* address) {
  return LookUpAddress(text, IpFamily::kIPv6, AI_NUMERICHOST, address) == 0 ? 0 : kErrSocket;
}
