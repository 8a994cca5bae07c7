// The socket seam: the socket calls of the stream connections, free of any platform header.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "text/error.h"
#include "text/text.h"

enum class IpFamily : std::uint8_t { kIPv4, kIPv6 };

// An IPv4 or IPv6 address, free of the system's address records: the bytes in network order (an
// IPv4 address uses the first four) and, for IPv6, the zone (scope id) it was given.
struct IpAddress {
  IpFamily family = IpFamily::kIPv4;
  std::array<std::uint8_t, 16> bytes{};
  std::uint32_t scope_id = 0;
  bool operator==(const IpAddress&) const = default;
};

struct SocketEndpoint {
  IpAddress address;
  // In network byte order.
  std::uint16_t port = 0;
  bool operator==(const SocketEndpoint&) const = default;
};

// Sockets cross the seam as integers; -1 is "no socket" (INVALID_SOCKET on Windows is all ones).
inline constexpr std::intptr_t kNoSocket = -1;

// The size of the area that receives the local host name.
inline constexpr std::size_t kHostNameArea = 256;

// Every call below that returns an ErrorNumber gives 0 on success, otherwise the program's error
// number for the system error: kErrInProgress for an operation in progress, kErrSocket (57) for
// every other failure. Addresses and ports are in network byte order throughout.

// Starts the socket library for one connection; 0 or kErrNoLibrary (68). Each successful start is
// ended by exactly one EndSocketLibrary.
ErrorNumber StartSocketLibrary();
void EndSocketLibrary();

// The TCP port of a service name such as "telnet"; kErrSocket when the system knows none.
ErrorNumber LookUpService(const Text& service, std::uint16_t* port);
// The hosts and texts below hold no zero byte.
//
// The first IPv4 address of a host name or of IPv4 address text. `name_answered` tells whether
// the host was looked up as a name and the resolver answered, with an address or with none: only
// then may an IPv6 lookup of the same name find something. A resolver that could not be reached
// leaves it false, so that its time-out is never waited out twice.
ErrorNumber ResolveHost(const Text& host, IpAddress* address, bool* name_answered);
// The first IPv6 address of a host name; IPv4 address text has none.
ErrorNumber ResolveHostIPv6(const Text& host, IpAddress* address);
// Numeric IPv6 address text only, such as "::1" (and a zone index, "fe80::1%lo", where the system
// takes one); names and IPv4 text fail without a lookup.
ErrorNumber ReadIPv6Address(const Text& text, IpAddress* address);

ErrorNumber CreateStreamSocket(IpFamily family, std::intptr_t* socket);
// Makes a close return at once and leaves the orderly shutdown to the system.
ErrorNumber TurnLingerOff(std::intptr_t socket);
// The local machine's name into `area`; it may fill the area without a zero byte.
ErrorNumber ReadLocalHostName(char (&area)[kHostNameArea]);

// Blocks until the system has made the connection or given up, or fails with 57 at `deadline`
// (the monotonic clock). Windows makes an IPv4 connect as it always has, leaving it to the system,
// which gives up after about 21 seconds.
ErrorNumber ConnectSocket(std::intptr_t socket, const SocketEndpoint& target,
                          std::chrono::steady_clock::time_point deadline);
// The local and the peer endpoint of a connected socket; false when either cannot be read.
bool ReadEndpoints(std::intptr_t socket, SocketEndpoint* local, SocketEndpoint* peer);
// True when the connected socket's local address and port equal its peer's.
bool ConnectedToItself(std::intptr_t socket);

enum class SocketWait { kReadable, kWritable };
// Waits at most `limit` for the socket; `ready` tells whether it became ready in time.
ErrorNumber WaitForSocket(std::intptr_t socket, SocketWait what, std::chrono::microseconds limit,
                          bool* ready);

// One send of up to `count` bytes; `sent` is how many the system took (possibly fewer).
ErrorNumber SendSome(std::intptr_t socket, const char* bytes, std::size_t count, std::size_t* sent);
// One read of up to `capacity` bytes; a `count` of 0 means the peer has closed its side.
ErrorNumber ReceiveSome(std::intptr_t socket, std::uint8_t* buffer, std::size_t capacity,
                        std::size_t* count);

// Closes the socket; the outcome is of no interest to any caller.
void CloseSocket(std::intptr_t socket);
