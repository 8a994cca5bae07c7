// The socket calls both platforms' socket files make alike, for those files alone.
#pragma once

#include <cstdint>

#include "net/socket.h"
#include "text/error.h"
#include "text/text.h"

// The system's address family constant (AF_INET, AF_INET6).
int NativeFamily(IpFamily family);

// The connect call itself: true when it succeeded at once, else the system's error (errno;
// WSAGetLastError on Windows) tells why.
bool StartConnect(std::intptr_t socket, const SocketEndpoint& target);
// The outcome the system has reached for a connect it went on with: 0 when connected, else the
// error number of the refusal or failure.
ErrorNumber ConnectOutcome(std::intptr_t socket);

// The first address of `family` that getaddrinfo gives for `host` with the AI_ flags `flags`:
// getaddrinfo's result code, and EAI_NONAME when its answer held no address of the family.
int LookUpAddress(const Text& host, IpFamily family, int flags, IpAddress* address);
// True for a lookup's code (getaddrinfo's; gethostbyname's on Windows) that says the resolver
// answered but had no address of the family asked for, or no such name.
bool AnswerHeldNoAddress(int code);
