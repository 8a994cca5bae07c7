// One probe of the target: split, announce, open, Telnet negotiation; and the closing sequence.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/clock_text.h"
#include "text/text.h"

struct ProbeTarget {
  Text host;
  // The full value typed after the colon (low 32 bits); 23 when there is no such colon.
  std::int32_t port = 23;
};

// Splits "host[:port]" at the first colon, and "[ADDR][:port]" after the brackets, which stay in
// the host.
ProbeTarget SplitTarget(std::string_view target_text);
// "Opening connection to HOST (port N) at HH:MM:SS on MM-DD-YYYY", with the time and the date
// from one reading of `read_clock`.
Text AnnouncementLine(const ProbeTarget& target, ClockReading (*read_clock)() = ReadLocalClock);

// Announces and opens a connection to the target; on port 23 also sends the Telnet option
// request and shows what the server says. Returns the open connection's number, or 0 when the
// open failed (its error line has then been printed).
std::int16_t Probe(const Text& target_text);
// Sends "BYE" CR CR LF, waits 10 ms and closes the connection.
void ClosingSequence(std::int16_t connection);
