// Error numbers: one unsigned 8-bit value per routine invocation, set by failing operations.
#pragma once

#include <cstdint>

using ErrorNumber = std::uint8_t;

// Error numbers the program produces.
inline constexpr ErrorNumber kErrOverflow = 5;    // a text would grow past its limit
inline constexpr ErrorNumber kErrNoMemory = 7;    // storage ran out
inline constexpr ErrorNumber kErrTimeout = 24;    // a socket wait ran out
inline constexpr ErrorNumber kErrBadHandle = 51;  // output: no usable handle
inline constexpr ErrorNumber kErrNotOpen = 52;    // no connection on the number (or a negative one)
inline constexpr ErrorNumber kErrFileNotFound = 53;   // output
inline constexpr ErrorNumber kErrNotOpenAtEnd = 53;   // the end-of-data test: no connection
inline constexpr ErrorNumber kErrWrongKind = 54;      // not a stream connection
inline constexpr ErrorNumber kErrAlreadyOpen = 55;    // a connection is open on the number already
inline constexpr ErrorNumber kErrSocket = 57;         // a socket call failed
inline constexpr ErrorNumber kErrShortWrite = 61;     // output: fewer bytes written, or a full disk
inline constexpr ErrorNumber kErrPastEnd = 62;        // output
inline constexpr ErrorNumber kErrTooManyFiles = 67;   // output
inline constexpr ErrorNumber kErrNoLibrary = 68;      // the socket library did not start
inline constexpr ErrorNumber kErrNoDevice = 68;       // output
inline constexpr ErrorNumber kErrAccess = 70;         // output: access denied, and the like
inline constexpr ErrorNumber kErrInProgress = 70;     // a socket call: an operation in progress
inline constexpr ErrorNumber kErrNotReady = 71;       // output
inline constexpr ErrorNumber kErrMedia = 72;          // output: the device's medium failed
inline constexpr ErrorNumber kErrOtherDevice = 74;    // output
inline constexpr ErrorNumber kErrIo = 75;             // output: any other failure
inline constexpr ErrorNumber kErrPathNotFound = 76;   // output
inline constexpr ErrorNumber kErrSystemMemory = 241;  // output: the system's memory is damaged
inline constexpr ErrorNumber kErrTable = 242;         // the connection table is inconsistent

// Opened at the top of a routine that owns an error number; while it is the innermost open
// scope, RaiseError and LastError act on it. Scopes nest strictly (one thread).
class ErrorScope {
 public:
  ErrorScope();
  ~ErrorScope();
  ErrorScope(const ErrorScope&) = delete;
  ErrorScope& operator=(const ErrorScope&) = delete;

 private:
  friend void RaiseError(ErrorNumber number);
  friend ErrorNumber LastError();
  ErrorNumber number_ = 0;
  ErrorScope* outer_;
};

// Stores `number` into the innermost open scope, replacing any earlier value.
void RaiseError(ErrorNumber number);
// The innermost open scope's error number (0 when no scope is open).
ErrorNumber LastError();
