// The socket calls of the loopback test server, one implementation per platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace loopback_sockets {

inline constexpr std::intptr_t kNone = -1;

// A socket bound to 127.0.0.1 at `port` (0: the system chooses), listening when `listen` is set;
// `bound` is the port it got.
std::intptr_t Bind(std::uint16_t port, bool listen, std::uint16_t* bound);
// 1 when the socket is ready, 0 when `timeout_ms` passed, -1 on failure.
int Wait(std::intptr_t socket, bool for_reading, int timeout_ms);
std::intptr_t Accept(std::intptr_t listener);
// Bytes the system took, or -1.
long Send(std::intptr_t socket, const char* bytes, std::size_t count);
// Bytes read, 0 when the peer closed, or -1.
long Receive(std::intptr_t socket, char* buffer, std::size_t capacity);
// With `reset`, closes with lingering on and a zero time, which sends a reset.
void Close(std::intptr_t socket, bool reset = false);

}  // namespace loopback_sockets
