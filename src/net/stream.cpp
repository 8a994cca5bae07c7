// Stream connections: the open with its clean-up, bounded sends, line assembly, end of data, close.
#include "net/stream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <string_view>

#include "net/line_assembly.h"
#include "net/socket.h"

namespace {

std::uint16_t NetworkOrder16(std::uint16_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
  }
  return value;
}

// Windows gives up on a connection request that gets no answer after about 21 seconds (three
// attempts); so does every build, counted on the monotonic clock from the start of the first
// connect, for every address a probe tries.
constexpr std::chrono::seconds kConnectLimit{21};

// The lookups take a C string: a longer name, or one with a zero byte inside, would be looked up
// as some other name. An empty host would name the local machine to Windows' gethostbyname.
bool UsableLookupName(const Text& name) {
  return !name.empty() && name.size() <= kLookupNameLimit && name.find('\0') == Text::npos;
}

// "[ADDR]", as the target split leaves the bracket form of a target.
bool InBrackets(const Text& host) {
  return host.size() >= 2 && host.front() == '[' && host.back() == ']';
}

// 0.0.0.0, :: and ::ffff:0.0.0.0 name no host: Linux would connect to the local machine instead,
// Windows refuses them; every build refuses them, before any connect. So it does IPv6 multicast
// (ff00::/8), which takes no stream connection: the system refuses that connect itself, and the
// check spares the socket.
bool NamesNoHost(const IpAddress& address) {
  constexpr std::array<std::uint8_t, 16> kMappedAny{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return address.bytes == IpAddress{}.bytes ||
         (address.family == IpFamily::kIPv6 &&
          (address.bytes == kMappedAny || address.bytes[0] == 0xFF));
}

// A socket of the record's address family, lingering off, in the record.
ErrorNumber OpenSocket(ConnectionRecord& record) {
  if (const ErrorNumber error = CreateStreamSocket(record.address.family, &record.socket_handle);
      error != 0) {
    return error;
  }
  return TurnLingerOff(record.socket_handle);
}

// After a failed connect to a name's IPv4 address: its first IPv6 address, on a socket of its own,
// by the same deadline. A name without one keeps the IPv4 connect's error.
ErrorNumber ConnectOverIPv6(ConnectionRecord& record, const Text& host,
                            std::chrono::steady_clock::time_point deadline,
                            ErrorNumber ipv4_error) {
  IpAddress address;
  if (ResolveHostIPv6(host, &address) != 0 || NamesNoHost(address)) return ipv4_error;
  CloseSocket(record.socket_handle);
  record.socket_handle = kNoSocket;
  record.address = address;
  if (const ErrorNumber error = OpenSocket(record); error != 0) return error;
  return ConnectAsClient(record.socket_handle,
                         {record.address, static_cast<std::uint16_t>(record.port)}, deadline);
}

// The address of the host: an IPv6 address in brackets, or a name's or dotted text's IPv4 address,
// else a name's IPv6 one. `try_ipv6` tells whether a name's IPv6 address may follow a failed
// connect to the IPv4 one.
ErrorNumber ResolveTarget(const Text& host, IpAddress* address, bool* try_ipv6) {
  *try_ipv6 = false;
  if (InBrackets(host)) {
    Text inside;
    if (!GuardAllocation([&] { inside.assign(host, 1, host.size() - 2); })) return kErrNoMemory;
    return UsableLookupName(inside) ? ReadIPv6Address(inside, address) : kErrSocket;
  }
  const ErrorNumber error = ResolveHost(host, address, try_ipv6);
  if (error == 0 || !*try_ipv6) return error;
  *try_ipv6 = false;
  return ResolveHostIPv6(host, address);
}

// Everything of the open from the service lookup on. A failure leaves the socket, if one was
// made, in the record for the caller to close.
ErrorNumber ConnectRecord(ConnectionRecord& record, std::int32_t port, const Text& host,
                          const Text& service) {
  std::uint16_t network_port = 0;
  if (port < 0) {
    if (!UsableLookupName(service)) return kErrSocket;
    if (const ErrorNumber error = LookUpService(service, &network_port); error != 0) return error;
  } else if (port > 65535) {
    // Only 16 bits reach the network: 70,000 would quietly become port 4,464.
    return kErrSocket;
  } else {
    network_port = NetworkOrder16(static_cast<std::uint16_t>(port));
  }
  record.port = network_port;

  if (!UsableLookupName(host)) return kErrSocket;
  bool try_ipv6 = false;
  if (const ErrorNumber error = ResolveTarget(host, &record.address, &try_ipv6); error != 0) {
    return error;
  }
  if (NamesNoHost(record.address)) return kErrSocket;
  if (const ErrorNumber error = OpenSocket(record); error != 0) return error;
  char name[kHostNameArea];
  if (const ErrorNumber error = ReadLocalHostName(name); error != 0) return error;

  const auto deadline = std::chrono::steady_clock::now() + kConnectLimit;
  ErrorNumber error =
      ConnectAsClient(record.socket_handle, {record.address, network_port}, deadline);
  // Refused, unreachable, no route: the name may be served over IPv6 (localhost on ::1 alone).
  // With the limit spent the IPv6 connect would fail at once; the clock check spares its lookup.
  if (error != 0 && try_ipv6 && std::chrono::steady_clock::now() < deadline) {
    error = ConnectOverIPv6(record, host, deadline, error);
  }
  if (error != 0) return error;

  const std::string_view local_name(name, std::find(name, name + sizeof name, '\0'));
  if (!GuardAllocation([&] { record.local_host_name.assign(local_name); })) return kErrNoMemory;
  return 0;
}

// The readiness wait of a receive, cut short by the caller's deadline.
ErrorNumber WaitForData(const ConnectionRecord& record,
                        std::optional<std::chrono::steady_clock::time_point> deadline,
                        bool* ready) {
  std::chrono::microseconds limit = WaitLimit(record.timeout_1024us);
  if (deadline.has_value()) {
    const auto left =
        std::chrono::ceil<std::chrono::microseconds>(*deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      *ready = false;
      return 0;
    }
    // Without this the program's 5 ms waits would pass the deadline by 5 ms at most, longer ones
    // by more.
    limit = std::min(limit, left);
  }
  return WaitForSocket(record.socket_handle, SocketWait::kReadable, limit, ready);
}

// The open after the socket library has started. A failure leaves nothing of it behind.
ErrorNumber OpenOnNumber(std::int16_t number, std::int32_t port, const Text& host,
                         const Text& service, std::uint32_t timeout_1024us) {
  // The probe opens only a number NextFreeNumber has just handed it: these are for other callers.
  if (number < 0) return kErrNotOpen;
  if (FindConnection(number) != nullptr) return kErrAlreadyOpen;
  std::unique_ptr<ConnectionRecord> record;
  // The buffer is left unset: only the first pending_count bytes are ever read, and zeroing 64 KiB
  // would cost every probe its time and its memory.
  if (!GuardAllocation([&] {
        record.reset(new ConnectionRecord());
        record->buffer.reset(new ConnectionBuffer);
      })) {
    return kErrNoMemory;
  }
  if (!RegisterConnection(record.get())) return kErrTable;
  record->number = number;
  record->device_class = kNetworkDeviceClass;
  record->mode = kStreamMode;
  record->timeout_1024us = timeout_1024us == 0 ? kNoTimeout : timeout_1024us;
  if (const ErrorNumber error = ConnectRecord(*record, port, host, service); error != 0) {
    if (record->socket_handle != kNoSocket) CloseSocket(record->socket_handle);
    UnregisterConnection(record.get());
    return error;
  }
  // The table owns the record from here until the close.
  record.release();
  return 0;
}

// A line was reserved at full size; hand back only what it holds. Without memory for the smaller
// copy the line keeps its larger storage, which is harmless. libstdc++'s shrink_to_fit catches its
// own allocation failure; the guard is for runtimes whose shrink_to_fit lets it out.
Text Finished(Text& line) {
  GuardAllocation([&] { line.shrink_to_fit(); });
  return std::move(line);
}

}  // namespace

std::chrono::microseconds WaitLimit(std::uint32_t timeout_1024us) {
  return std::chrono::seconds(timeout_1024us / 1024) +
         std::chrono::microseconds((timeout_1024us % 1024) * 1024);
}

ErrorNumber ConnectAsClient(std::intptr_t socket, const SocketEndpoint& target,
                            std::chrono::steady_clock::time_point deadline) {
  if (const ErrorNumber error = ConnectSocket(socket, target, deadline); error != 0) return error;
  // Connected to itself: no server took the connection, so it counts as refused.
  return ConnectedToItself(socket) ? kErrSocket : ErrorNumber{0};
}

void OpenStream(std::int16_t number, std::int32_t port, const Text& host, const Text& service,
                std::uint32_t timeout_1024us) {
  ErrorNumber error = StartSocketLibrary();
  if (error == 0) {
    error = OpenOnNumber(number, port, host, service, timeout_1024us);
    if (error != 0) EndSocketLibrary();
  }
  if (error != 0) RaiseError(error);
}

void SendText(std::int16_t number, std::string_view text) {
  ConnectionRecord* record = FindConnection(number);
  if (record == nullptr) {
    RaiseError(kErrNotOpen);
    return;
  }
  if ((record->mode & kStreamMode) == 0) {
    RaiseError(kErrWrongKind);
    return;
  }
  // The program sends six bytes at a time on a fresh connection, which the system takes whole
  // without a wait; the loop and the time-out are for longer texts and fuller connections.
  std::size_t done = 0;
  do {
    bool ready = false;
    if (const ErrorNumber error = WaitForSocket(record->socket_handle, SocketWait::kWritable,
                                                WaitLimit(record->timeout_1024us), &ready);
        error != 0) {
      RaiseError(error);
      return;
    }
    if (!ready) {
      RaiseError(kErrTimeout);
      return;
    }
    std::size_t sent = 0;
    if (const ErrorNumber error =
            SendSome(record->socket_handle, text.data() + done, text.size() - done, &sent);
        error != 0) {
      RaiseError(error);
      return;
    }
    done += sent;
  } while (done < text.size());
  // Nothing reads it before the next receive, which clears it too: this is for callers that do.
  record->flags &= static_cast<std::uint16_t>(~kEndOfData);
}

Text ReceiveLine(std::int16_t number,
                 std::optional<std::chrono::steady_clock::time_point> deadline) {
  // The whole room a call may fill, taken at once: the line assembly then never asks for more.
  Text line;
  if (!GuardAllocation([&] { line.reserve(kConnectionBufferSize); })) {
    RaiseError(kErrNoMemory);
    return Text();
  }
  ConnectionRecord* record = FindConnection(number);
  if (record == nullptr) {
    RaiseError(kErrNotOpen);
    return Text();
  }
  record->flags &= static_cast<std::uint16_t>(~kEndOfData);
  if ((record->mode & kStreamMode) == 0) {
    RaiseError(kErrWrongKind);
    return Text();
  }

  std::uint8_t* const buffer = record->buffer->data();
  // Carriage returns and the line feed count towards the bytes one call may take.
  std::uint32_t taken = 0;
  for (;;) {
    const LineState state =
        AssembleLine(buffer, record->pending_count, taken, kConnectionBufferSize, line);
    if (state == LineState::kComplete) {
      if (record->pending_count == 0 && (record->flags & kShortReadSeen) != 0) {
        record->flags |= kEndOfData;
      }
      return Finished(line);
    }
    // A full piece without a line feed: the rest of the line comes with the next call.
    if (state == LineState::kFull) return Finished(line);

    bool ready = false;
    if (const ErrorNumber error = WaitForData(*record, deadline, &ready); error != 0) {
      RaiseError(error);
      return Text();
    }
    if (!ready) {
      if (line.empty()) {
        RaiseError(kErrTimeout);
        return Text();
      }
      // Part of a line and then silence: a prompt waiting for an answer.
      record->flags |= kShortReadSeen | kEndOfData;
      return Finished(line);
    }
    std::size_t count = 0;
    if (const ErrorNumber error =
            ReceiveSome(record->socket_handle, buffer, kConnectionBufferSize, &count);
        error != 0) {
      RaiseError(error);
      return Text();
    }
    record->pending_count = static_cast<std::uint32_t>(count);
    if (count < kConnectionBufferSize) record->flags |= kShortReadSeen;
    if (count == 0) {
      // The peer has closed its side.
      record->flags |= kEndOfData;
      return Finished(line);
    }
  }
}

std::int32_t AtEndOfData(std::int16_t number) {
  const ConnectionRecord* record = FindConnection(number);
  // The program asks only about its open connection; the error is for other callers.
  if (record == nullptr) {
    RaiseError(kErrNotOpenAtEnd);
    return 0;
  }
  return (record->flags & kEndOfData) != 0 ? -1 : 0;
}

void CloseConnection(std::int16_t number, std::uint16_t kind_mask) {
  ConnectionRecord* record = FindConnection(number);
  if (record == nullptr) return;
  // The program always closes with kStreamMode; a mask of 0 (any kind) is for other callers.
  if (kind_mask != 0 && (record->mode & kind_mask) == 0) {
    RaiseError(kErrWrongKind);
    return;
  }
  if (!UnregisterConnection(record)) {
    RaiseError(kErrTable);
    return;
  }
  // Lingering is off, so this returns at once and the system ends the connection in the background.
  CloseSocket(record->socket_handle);
  EndSocketLibrary();
  delete record;
}
