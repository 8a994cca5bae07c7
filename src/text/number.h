// Number conversion between Text and integers through one extended-precision type.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

#include "text/text.h"

using Number = long double;
static_assert(std::numeric_limits<Number>::digits >= 64,
              "Number needs a 64-bit significand (x87 extended precision)");

// Sets the floating-point unit to 64-bit precision, round to nearest, all exceptions masked
// (x87 control word 0x133F on x86; elsewhere the default environment already rounds to nearest).
void SetNumberEnvironment();

// The value of the number at the start of `text`; text that holds no number reads as 0.
Number TextToNumber(std::string_view text);
// Rounded to nearest, ties to even; out of range or NaN gives the most negative value.
std::int32_t NumberToInt32(Number value);
std::int64_t NumberToInt64(Number value);
Number Int32ToNumber(std::int32_t value);
// Plain decimal digits for integers below 10^15; 15 significant digits otherwise.
Text NumberToText(Number value);
