// Clock text: fixed-width renderings of a clock reading.
#include "text/clock_text.h"

namespace {

void AppendTwoDigits(Text& out, int value) {
  out.push_back(static_cast<char>('0' + (value / 10) % 10));
  out.push_back(static_cast<char>('0' + value % 10));
}

template <typename Make>
Text WithoutErrorNumber(Make&& make) {
  Text text;
  if (!GuardAllocation([&] { text = make(); })) return Text();
  return text;
}

}  // namespace

Text TimeText(const ClockReading& reading) {
  return WithoutErrorNumber([&] {
    Text out;
    AppendTwoDigits(out, reading.hour);
    out.push_back(':');
    AppendTwoDigits(out, reading.minute);
    out.push_back(':');
    AppendTwoDigits(out, reading.second);
    return out;
  });
}

Text DateText(const ClockReading& reading) {
  return WithoutErrorNumber([&] {
    Text out;
    AppendTwoDigits(out, reading.month);
    out.push_back('-');
    AppendTwoDigits(out, reading.day);
    out.push_back('-');
    AppendTwoDigits(out, reading.year / 100);
    AppendTwoDigits(out, reading.year % 100);
    return out;
  });
}
