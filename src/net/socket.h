// The socket seam: the socket calls of the stream connections, free of any platform header.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "text/error.h"
#include "text/text.h"

// The IPv4 any-address, 0.0.0.0 (the same in either byte order).
inline constexpr std::uint32_t kAnyAddress = 0;

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

// The TCP port of a service name such as "telnet".
ErrorNumber LookUpService(const Text& service, std::uint16_t* port);
// The first IPv4 address of a host name or of dotted address text. `host` holds no zero byte.
ErrorNumber ResolveHost(const Text& host, std::uint32_t* address);

ErrorNumber CreateStreamSocket(std::intptr_t* socket);
// Makes a close return at once and leaves the orderly shutdown to the system.
ErrorNumber TurnLingerOff(std::intptr_t socket);
// The local machine's name into `area`; it may fill the area without a zero byte.
ErrorNumber ReadLocalHostName(char (&area)[kHostNameArea]);

// The connect call itself, to an IPv4 address and port: true when it succeeded at once, else the
// system's error (errno; WSAGetLastError on Windows) tells why. Shared by both platforms' files.
bool StartConnect(std::intptr_t socket, std::uint32_t address, std::uint16_t port);
// Blocks until the system has made the connection or given up.
ErrorNumber ConnectSocket(std::intptr_t socket, std::uint32_t address, std::uint16_t port);
struct SocketEndpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};
// The local and the peer IPv4 endpoint of a connected socket; false when either cannot be read.
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
