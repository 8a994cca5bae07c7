// The table of open connections, keyed by connection number, and the allocator of free numbers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "net/socket.h"
#include "text/text.h"

// Received bytes a connection can hold; also the largest piece one receive hands out.
inline constexpr std::uint32_t kConnectionBufferSize = 65536;
// Connection numbers run from 1 to this value.
inline constexpr std::int16_t kHighestConnectionNumber = 32767;

// Every network connection has this device class.
inline constexpr std::uint16_t kNetworkDeviceClass = 2;
// `mode` bits.
inline constexpr std::uint16_t kStreamMode = 0x40;
// No open makes a datagram connection; the bit stays so that the stream checks keep their meaning.
inline constexpr std::uint16_t kDatagramMode = 0x80;
// `flags` bits.
inline constexpr std::uint16_t kEndOfData = 2;
inline constexpr std::uint16_t kShortReadSeen = 8;

using ConnectionBuffer = std::array<std::uint8_t, kConnectionBufferSize>;

struct ConnectionRecord {
  ConnectionRecord* next = nullptr;
  std::int16_t number = 0;
  // -1 until the open has created the socket.
  std::intptr_t socket_handle = -1;
  // Always kNetworkDeviceClass and read by nothing: the record says what it is, for any reader.
  std::uint16_t device_class = 0;
  std::uint16_t mode = 0;
  // Read by nothing; the open's gethostname can fail it, so the step and its result stay.
  Text local_host_name;
  // Received bytes waiting at the front of `buffer`.
  std::uint32_t pending_count = 0;
  std::uint16_t flags = 0;
  // Low 16 bits: the remote port in network byte order.
  std::int32_t port = 0;
  // The remote address, IPv4 or IPv6.
  IpAddress address;
  // The wait limit of the readiness waits, in units of 1,024 microseconds (see WaitLimit).
  std::uint32_t timeout_1024us = 0;
  // Held apart from the record so that an empty record stays small; the open always fills it.
  std::unique_ptr<ConnectionBuffer> buffer;
};

// A connection number (1 to 32767) that no open connection holds now. It is not reserved. Numbers
// climb with every call and start over at 1 after 32767; when every number is open, error 7 and 0.
std::int16_t NextFreeNumber();

// The record open on `number`, newest first, or nullptr when none is. The table lock is held
// for the search only: the record stays the caller's to use until the number is closed.
ConnectionRecord* FindConnection(std::int16_t number);

// Puts `record` at the head of the table; false (and nothing changes) for a missing record.
bool RegisterConnection(ConnectionRecord* record);

// Takes `record` out of the table wherever it stands; false when it is not in the table. The
// caller keeps ownership of the record either way.
bool UnregisterConnection(ConnectionRecord* record);
