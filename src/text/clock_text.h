// Clock text: the local time as HH:MM:SS and the local date as MM-DD-YYYY.
#pragma once

#include "system/clock.h"
#include "text/text.h"

// A reading's time, 24-hour, 8 bytes, and its date, month first, 10 bytes. A line that shows both
// takes them from one reading, so that it never pairs a time with another moment's date. Neither
// touches the error number: without storage they return empty text.
Text TimeText(const ClockReading& reading);
Text DateText(const ClockReading& reading);
