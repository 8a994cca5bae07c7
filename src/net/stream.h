// Stream (TCP) connections addressed by connection number: open, send, receive lines, close.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "net/connection_table.h"
#include "text/error.h"
#include "text/text.h"

// Hosts and service names longer than this never reach a lookup.
inline constexpr std::size_t kLookupNameLimit = 256;
// A time-out of 0 at the open stands for this one: no practical limit.
inline constexpr std::uint32_t kNoTimeout = 0xFFFFFFFFu;

// Opens a TCP connection on `number` to `host` and `port`, or, for a negative port, to the port of
// `service`. The host is dotted IPv4 text (IPv4 only), a numeric IPv6 address in brackets
// ("[::1]"), or a name: its first IPv4 address, then, when it has none or that connect fails
// before the connect limit is spent, its first IPv6 address, both within the one limit.
// `timeout_1024us` bounds the later send and receive waits, in units of 1,024 microseconds (0: no
// limit). The outcome is the caller's error number: 0 stays 0 on success; after a failure (52, 55,
// 57, 68, 70, 7, 242) nothing of the attempt remains and the number is free.
// The probe passes a port and a time-out of 5: the service and other time-outs are for other users.
void OpenStream(std::int16_t number, std::int32_t port, const Text& host, const Text& service,
                std::uint32_t timeout_1024us);

// Writes exactly the bytes of `text`, each partial send after a fresh bounded wait.
// Errors: 52 not open, 54 not a stream, 24 the wait limit passed, 57 or 70 the system refused.
void SendText(std::int16_t number, std::string_view text);

// The next line the peer sent, without carriage returns and its line feed; at most 65,536 bytes
// are taken per call. A prompt without a line feed comes back once a wait runs out after it; a
// closed peer gives what is left (possibly nothing) without error. Both set the end of data.
// Errors (with an empty result): 7, 52, 54, 24 nothing arrived in time, 57 or 70.
// When `deadline` has passed, no wait is made and the call ends as if its wait limit had passed;
// otherwise a wait is cut short at the deadline. So a peer that drips bytes without a line end
// cannot hold the call past the deadline.
Text ReceiveLine(std::int16_t number,
                 std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

// -1 when the last receive on `number` found the end of data, else 0; 0 and error 53 when not open.
std::int32_t AtEndOfData(std::int16_t number);

// Closes the connection on `number` and frees the number; nothing happens when it is not open.
// A `kind_mask` other than 0 must share a bit with the connection's mode (else error 54).
void CloseConnection(std::int16_t number, std::uint16_t kind_mask);

// The bound of every readiness wait: timeout_1024us / 1024 seconds plus (timeout_1024us mod 1024)
// units of 1,024 microseconds, so 5 gives 5,120 microseconds and 1024 exactly one second.
std::chrono::microseconds WaitLimit(std::uint32_t timeout_1024us);

// The connect step of a client open: connects `socket` and refuses, with 57, a socket that the
// system connected to itself (a loopback connect to a closed port in the ephemeral range can meet
// its own SYN and look like an open port).
ErrorNumber ConnectAsClient(std::intptr_t socket, const SocketEndpoint& target,
                            std::chrono::steady_clock::time_point deadline);
