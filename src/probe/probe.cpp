// One probe of the target and the closing sequence.
#include "probe/probe.h"

#include <chrono>

#include "console/console_echo.h"
#include "console/line_output.h"
#include "net/stream.h"
#include "system/sleep.h"
#include "text/clock_text.h"
#include "text/fields.h"
#include "text/number.h"

namespace {

constexpr std::int32_t kTelnetPort = 23;
// The send and receive waits last 5 units of 1,024 microseconds.
constexpr std::uint32_t kOpenTimeout1024us = 5;
constexpr std::uint32_t kReceivePauseMs = 100;
constexpr std::uint32_t kClosePauseMs = 10;
// A Telnet server that says nothing for this many receives in a row (about 3 seconds), or
// keeps talking past the time limit, does not hold the probe any longer. A receive that found no
// memory for the line brought nothing either: a shortage that lasts ends the loop as silence
// does, one that passes costs a bare line.
constexpr int kMaxSilentReceives = 30;
constexpr auto kTelnetTimeLimit = std::chrono::seconds(30);
// The bytes the probe sends are fixed views, so they go out whole however short memory is.
// IAC DONT ECHO, IAC DONT SUPPRESS-GO-AHEAD.
constexpr std::string_view kOptionRequest = "\xFF\xFE\x01\xFF\xFE\x03";
// "BYE", a carriage return, and the line end.
constexpr std::string_view kClosingLine = "BYE\r\r\n";

Text NumberText(std::int32_t value) { return NumberToText(Int32ToNumber(value)); }

// Prints the server's lines as " + " lines until it has nothing more to say.
void ShowTelnetLines(std::int16_t connection) {
  const auto deadline = std::chrono::steady_clock::now() + kTelnetTimeLimit;
  int silent_receives = 0;
  while (AtEndOfData(connection) == 0) {
    Text line;
    ErrorNumber receive_error = 0;
    {
      ErrorScope receive;
      line = ReceiveLine(connection, deadline);
      receive_error = LastError();
    }
    PrintLine(ConcatText(" + ", line));
    // A reset connection fails every receive from now on.
    if (receive_error == kErrSocket || receive_error == kErrInProgress) return;
    const bool brought_nothing = receive_error == kErrTimeout || receive_error == kErrNoMemory;
    silent_receives = brought_nothing ? silent_receives + 1 : 0;
    if (silent_receives >= kMaxSilentReceives) return;
    if (std::chrono::steady_clock::now() >= deadline) return;
    SleepMs(kReceivePauseMs);
  }
}

// The position of the colon before the port, 0 for none. An IPv6 address holds colons of its
// own, so "[ADDR]:PORT" and "[ADDR]" (a "[" first, and its first "]" followed by ":" or by
// nothing) keep the brackets and what they hold together; every other text, "[::1" and "[::1]x80"
// included, is split at its first colon.
std::int32_t PortColon(std::string_view target_text) {
  if (target_text.starts_with('[')) {
    const std::int32_t close = FindText(1, target_text, "]");
    if (close > 0 && static_cast<std::size_t>(close) == target_text.size()) return 0;
    if (close > 0 && target_text[static_cast<std::size_t>(close)] == ':') return close + 1;
  }
  return FindText(1, target_text, ":");
}

}  // namespace

ProbeTarget SplitTarget(std::string_view target_text) {
  ProbeTarget target;
  // The caller's text is read, never changed, so the split needs no copy of it beforehand: only
  // the host is made, and only the guarded operations make it.
  const std::int32_t colon = PortColon(target_text);
  if (colon > 0) {
    const std::int64_t port =
        NumberToInt64(TextToNumber(MidText(target_text, colon + 1, 2147483647)));
    target.port = static_cast<std::int32_t>(static_cast<std::uint32_t>(port));
    target.host = MidText(target_text, 1, colon - 1);
  } else {
    target.host = CopyText(target_text);
  }
  return target;
}

Text AnnouncementLine(const ProbeTarget& target, ClockReading (*read_clock)()) {
  const ClockReading now = read_clock();
  return ConcatText("Opening connection to ", target.host, " (port ", NumberText(target.port),
                    ") at ", TimeText(now), " on ", DateText(now));
}

std::int16_t Probe(const Text& target_text) {
  ErrorScope routine;
  const ProbeTarget target = SplitTarget(target_text);
  // One line for both, so that the echo shows the same time as standard output.
  const Text announcement = AnnouncementLine(target);
  PrintLine(announcement);
  if (StdoutIsConsole() == 0) ConsolePrintLine(announcement);

  // The open is judged by its own outcome only: a print that failed above (standard output
  // closed, say) must not turn an open connection into a reported failure.
  std::int16_t connection = 0;
  ErrorNumber open_error = 0;
  {
    ErrorScope open;
    connection = NextFreeNumber();
    if (LastError() == 0) {
      OpenStream(connection, target.port, target.host, Text(), kOpenTimeout1024us);
    }
    open_error = LastError();
  }
  if (open_error != 0) {
    RaiseError(open_error);
    PrintLine(
        ConcatText("Error connecting to ", target.host, " (Err:", NumberText(open_error), ")"));
    return 0;
  }
  if (target.port != kTelnetPort) return connection;

  PrintLine("Negotiating connection");
  SendText(connection, kOptionRequest);
  ShowTelnetLines(connection);
  return connection;
}

void ClosingSequence(std::int16_t connection) {
  ErrorScope routine;
  SendText(connection, kClosingLine);
  SleepMs(kClosePauseMs);
  CloseConnection(connection, kStreamMode);
}
