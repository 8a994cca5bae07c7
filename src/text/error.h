// Error numbers: one unsigned 8-bit value per routine invocation, set by failing operations.
#pragma once

#include <cstdint>

using ErrorNumber = std::uint8_t;

// Error numbers the program produces.
inline constexpr ErrorNumber kErrNoMemory = 7;
inline constexpr ErrorNumber kErrOverflow = 5;
inline constexpr ErrorNumber kErrTimeout = 24;
inline constexpr ErrorNumber kErrBadHandle = 51;
inline constexpr ErrorNumber kErrNotOpen = 52;
inline constexpr ErrorNumber kErrNotOpenAtEnd = 53;
inline constexpr ErrorNumber kErrWrongKind = 54;
inline constexpr ErrorNumber kErrAlreadyOpen = 55;
inline constexpr ErrorNumber kErrSocket = 57;
inline constexpr ErrorNumber kErrShortWrite = 61;
inline constexpr ErrorNumber kErrNoLibrary = 68;
// Line output: access denied, and the like.
inline constexpr ErrorNumber kErrAccess = 70;
// A socket call: the system reported an operation in progress (WSAEINPROGRESS, EINPROGRESS).
inline constexpr ErrorNumber kErrInProgress = 70;
inline constexpr ErrorNumber kErrIo = 75;
inline constexpr ErrorNumber kErrTable = 242;

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
