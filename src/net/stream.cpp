// Stream connections: the open with its clean-up, bounded sends, line assembly, end of data, close.
#include "net/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "net/socket.h"

namespace {

constexpr int kListenBacklog = 5;
constexpr std::uint8_t kCarriageReturn = 13;
constexpr std::uint8_t kLineFeed = 10;

std::uint16_t NetworkOrder16(std::uint16_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
  }
  return value;
}

// The lookups take a C string: a longer name, or one with a zero byte inside, would be looked up
// as some other name. An empty host would name the local machine to Windows' gethostbyname.
bool UsableLookupName(const Text& name) {
  return !name.empty() && name.size() <= kLookupNameLimit && name.find('\0') == Text::npos;
}

// Everything of the open from the service lookup on. A failure leaves the socket, if one was
// made, in the record for the caller to close.
ErrorNumber ConnectRecord(ConnectionRecord& record, std::int32_t port, const Text& host,
                          const Text& service, std::uint32_t local_address) {
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
  if (const ErrorNumber error = ResolveHost(host, &record.address); error != 0) return error;
  if (const ErrorNumber error = CreateStreamSocket(&record.socket_handle); error != 0) return error;
  if (const ErrorNumber error = TurnLingerOff(record.socket_handle); error != 0) return error;
  char name[kHostNameArea];
  if (const ErrorNumber error = ReadLocalHostName(name); error != 0) return error;

  const ErrorNumber error =
      local_address == 0
          ? ConnectAsClient(record.socket_handle, record.address, network_port)
          : BindAndListen(record.socket_handle,
                          local_address == 0xFFFFFFFFu ? record.address : local_address,
                          network_port, kListenBacklog);
  if (error != 0) return error;

  try {
    record.local_host_name.assign(name, std::find(name, name + sizeof name, '\0'));
  } catch (const std::bad_alloc&) {
    return kErrNoMemory;
  }
  return 0;
}

// The readiness wait of a receive, cut short by the caller's deadline.
ErrorNumber WaitForData(const ConnectionRecord& record,
                        std::optional<std::chrono::steady_clock::time_point> deadline,
                        bool* ready) {
  std::chrono::microseconds limit = WaitLimit(record.timeout_ms);
  if (deadline.has_value()) {
    const auto left =
        std::chrono::ceil<std::chrono::microseconds>(*deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      *ready = false;
      return 0;
    }
    limit = std::min(limit, left);
  }
  return WaitForSocket(record.socket_handle, SocketWait::kReadable, limit, ready);
}

// A line was reserved at full size; hand back only what it holds.
Text Finished(Text& line) {
  try {
    line.shrink_to_fit();
  } catch (...) {
    // Keeping the larger storage is harmless.
  }
  return std::move(line);
}

}  // namespace

std::chrono::microseconds WaitLimit(std::uint32_t timeout_ms) {
  return std::chrono::seconds(timeout_ms / 1024) +
         std::chrono::microseconds((timeout_ms % 1024) * 1024);
}

ErrorNumber ConnectAsClient(std::intptr_t socket, std::uint32_t address, std::uint16_t port) {
  if (const ErrorNumber error = ConnectSocket(socket, address, port); error != 0) return error;
  // Connected to itself: no server took the connection, so it counts as refused.
  return ConnectedToItself(socket) ? kErrSocket : ErrorNumber{0};
}

void OpenStream(std::int16_t number, std::int32_t port, const Text& host, const Text& service,
                std::uint32_t local_address, std::uint32_t timeout_ms) {
  if (timeout_ms == 0) timeout_ms = kNoTimeout;
  if (const ErrorNumber error = StartSocketLibrary(); error != 0) {
    RaiseError(error);
    return;
  }
  ErrorNumber early_failure = 0;
  if (number < 0) {
    early_failure = kErrNotOpen;
  } else if (FindConnection(number) != nullptr) {
    early_failure = kErrAlreadyOpen;
  }
  std::unique_ptr<ConnectionRecord> record;
  if (early_failure == 0) {
    record.reset(new (std::nothrow) ConnectionRecord());
    if (record != nullptr) record->buffer.reset(new (std::nothrow) ConnectionBuffer());
    if (record == nullptr || record->buffer == nullptr) {
      early_failure = kErrNoMemory;
    } else if (!RegisterConnection(record.get())) {
      early_failure = kErrTable;
    }
  }
  if (early_failure != 0) {
    EndSocketLibrary();
    RaiseError(early_failure);
    return;
  }

  record->number = number;
  record->device_class = kNetworkDeviceClass;
  record->mode = kStreamMode;
  record->timeout_ms = timeout_ms;
  if (const ErrorNumber error = ConnectRecord(*record, port, host, service, local_address);
      error != 0) {
    if (record->socket_handle != kNoSocket) CloseSocket(record->socket_handle);
    EndSocketLibrary();
    UnregisterConnection(record.get());
    RaiseError(error);
    return;
  }
  // The table owns the record from here until the close.
  record.release();
}

void SendText(std::int16_t number, const Text& text) {
  ConnectionRecord* record = FindConnection(number);
  if (record == nullptr) {
    RaiseError(kErrNotOpen);
    return;
  }
  if ((record->mode & kStreamMode) == 0) {
    RaiseError(kErrWrongKind);
    return;
  }
  std::size_t done = 0;
  do {
    bool ready = false;
    if (const ErrorNumber error = WaitForSocket(record->socket_handle, SocketWait::kWritable,
                                                WaitLimit(record->timeout_ms), &ready);
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
  record->flags &= static_cast<std::uint16_t>(~kEndOfData);
}

Text ReceiveLine(std::int16_t number,
                 std::optional<std::chrono::steady_clock::time_point> deadline) {
  Text line;
  try {
    line.reserve(kConnectionBufferSize);
  } catch (...) {
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
    std::uint32_t index = 0;
    bool complete = false;
    while (index < record->pending_count && taken < kConnectionBufferSize) {
      const std::uint8_t byte = buffer[index++];
      ++taken;
      if (byte == kCarriageReturn) continue;
      if (byte == kLineFeed) {
        complete = true;
        break;
      }
      line.push_back(static_cast<char>(byte));
    }
    std::memmove(buffer, buffer + index, record->pending_count - index);
    record->pending_count -= index;

    if (complete) {
      if (record->pending_count == 0 && (record->flags & kShortReadSeen) != 0) {
        record->flags |= kEndOfData;
      }
      return Finished(line);
    }
    // A full piece without a line feed: the rest of the line comes with the next call.
    if (taken >= kConnectionBufferSize) return Finished(line);

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
  if (record == nullptr) {
    RaiseError(kErrNotOpenAtEnd);
    return 0;
  }
  return (record->flags & kEndOfData) != 0 ? -1 : 0;
}

void CloseConnection(std::int16_t number, std::uint16_t kind_mask) {
  ConnectionRecord* record = FindConnection(number);
  if (record == nullptr) return;
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
