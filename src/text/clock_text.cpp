// Clock text: fixed-width renderings of a clock reading.
#include "text/clock_text.h"

#include <initializer_list>

namespace {

// The pattern with each "00" in turn replaced by the next value's two digits.
Text TwoDigitFields(std::string_view pattern, std::initializer_list<int> values) {
  return TextOrEmpty([&] {
    Text out(pattern);
    const int* value = values.begin();
    for (std::size_t i = 0; i + 1 < out.size() && value != values.end(); ++i) {
      if (out[i] != '0' || out[i + 1] != '0') continue;
      out[i] = static_cast<char>('0' + (*value / 10) % 10);
      out[++i] = static_cast<char>('0' + *value++ % 10);
    }
    return out;
  });
}

}  // namespace

Text TimeText(const ClockReading& reading) {
  return TwoDigitFields("00:00:00", {reading.hour, reading.minute, reading.second});
}

Text DateText(const ClockReading& reading) {
  return TwoDigitFields("00-00-0000",
                        {reading.month, reading.day, reading.year / 100, reading.year % 100});
}
