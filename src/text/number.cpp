// Number conversion: reading numbers from Text, rounding to integers, writing number text.
#include "text/number.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// 10^0 to 10^7 are exact small integers; the larger steps are the extended values nearest to
// 10^(8·2^i), of which 10^8 and 10^16 are exact.
constexpr std::uint32_t kSmallPowers[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
constexpr Number kLargePowers[10] = {1e8L,   1e16L,  1e32L,   1e64L,   1e128L,
                                     1e256L, 1e512L, 1e1024L, 1e2048L, 1e4096L};
constexpr Number kHugeText = 0x1p127L;  // what a decimal text of 10^4932 or more reads as

// With m the decimal exponent of 0.d1d2... x 10^m, a text with m >= 4933 reads as kHugeText and
// one with m <= -4933 as 0.
constexpr std::int64_t kExponentBound = 4933;
constexpr std::int64_t kExponentLimit = 9999;  // written exponents saturate here
constexpr int kGatheredDigits = 18;

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// The byte at `pos` (0 to 255), or -1 past the end of the text.
int ByteAt(std::string_view text, std::size_t pos) {
  return pos < text.size() ? static_cast<unsigned char>(text[pos]) : -1;
}

// Ten to the power n, n >= 0, built in a fixed order so that every build rounds the same way.
Number PowerOfTen(std::int64_t n) {
  const bool beyond_table = n > 4096;
  if (beyond_table) n -= 4096;
  Number power = kSmallPowers[n % 8];
  if (beyond_table) power *= kLargePowers[9];
  const std::int64_t steps = n / 8;
  for (int i = 0; i < 10; ++i) {
    if ((steps >> i) & 1) power *= kLargePowers[i];
  }
  return power;
}

// Digit value of 0-9, A-Z or a-z (10 to 35); -1 for any other byte.
int RadixDigit(int c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return -1;
}

// The radix form after its "&": base letter, digits, type suffix.
Number ReadRadix(std::string_view text, std::size_t pos) {
  int base = 8;
  int shift = 3;
  switch (ByteAt(text, pos)) {
    case 'H':
    case 'h':
      base = 16, shift = 4, ++pos;
      break;
    case 'O':
    case 'o':
    case 'Q':
    case 'q':
      ++pos;
      break;
    case 'B':
    case 'b':
      base = 2, shift = 1, ++pos;
      break;
    default:  // "&" straight before digits means octal; the byte stays for the digit loop
      break;
  }

  std::uint64_t v = 0;
  int digit_count = 0;
  bool first_is_zero = false;
  bool overflow = false;
  for (;; ++pos) {
    const int c = ByteAt(text, pos);
    const int digit = RadixDigit(c);
    if (digit < 0 || digit >= base) break;
    if (digit_count == 0) {
      first_is_zero = c == '0';
      v = static_cast<std::uint64_t>(digit);
    } else {
      if ((v >> (64 - shift)) != 0) overflow = true;
      v = (v << shift) | static_cast<std::uint64_t>(digit);
    }
    ++digit_count;
  }
  if (digit_count == 0 || overflow) return 0;

  int question_marks = 0;
  int ampersands = 0;
  if (ByteAt(text, pos) == '?') {
    while (question_marks < 3 && ByteAt(text, pos + question_marks) == '?') ++question_marks;
  } else if (ByteAt(text, pos) == '&') {
    ampersands = ByteAt(text, pos + 1) == '&' ? 2 : 1;
  }  // "%" changes nothing below, and nothing is read after the suffix.

  constexpr std::uint64_t kSign64 = std::uint64_t{1} << 63;
  auto as_signed64 = [](std::uint64_t bits) -> std::int64_t {
    return bits < kSign64 ? static_cast<std::int64_t>(bits) : -static_cast<std::int64_t>(~bits) - 1;
  };
  std::int64_t result;
  if (question_marks > 0) {
    result = v < kSign64 ? static_cast<std::int64_t>(v) : 0;
  } else if (first_is_zero || v >= (std::uint64_t{1} << 32)) {
    result = as_signed64(v);
  } else if (ampersands == 2) {
    result = static_cast<std::int64_t>(v);
  } else if (v >= 65536) {
    result = static_cast<std::int64_t>(v) - ((v & 0x80000000u) ? (std::int64_t{1} << 32) : 0);
  } else if (ampersands == 1) {
    result = static_cast<std::int64_t>(v);
  } else {
    result = static_cast<std::int64_t>(v) - ((v & 0x8000u) ? 65536 : 0);
  }
  return static_cast<Number>(result);
}

// Consumes at most one "+" or "-"; true when it was "-".
bool ReadSign(std::string_view text, std::size_t& pos) {
  const int c = ByteAt(text, pos);
  if (c != '+' && c != '-') return false;
  ++pos;
  return c == '-';
}

// The decimal form: sign, mantissa with an optional point, optional E/D exponent.
Number ReadDecimal(std::string_view text, std::size_t pos) {
  const bool negative = ReadSign(text, pos);

  std::uint64_t gathered = 0;          // the first 18 significant digits
  std::int64_t significant = 0;        // all significant digits, gathered or not
  std::int64_t before_point = 0;       // significant digits before the point
  std::int64_t zeros_after_point = 0;  // zeros between the point and the first significant digit
  bool point = false;
  for (;; ++pos) {
    const int c = ByteAt(text, pos);
    if (IsDigit(c)) {
      if (significant == 0 && c == '0') {
        if (point) ++zeros_after_point;
        continue;
      }
      if (significant < kGatheredDigits) gathered = gathered * 10 + static_cast<unsigned>(c - '0');
      ++significant;
      if (!point) ++before_point;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (significant == 0) return 0;
  const std::int64_t q = before_point > 0 ? before_point : -zeros_after_point;

  std::int64_t exponent = 0;
  const int letter = ByteAt(text, pos);
  if (letter == 'E' || letter == 'e' || letter == 'D' || letter == 'd') {
    ++pos;
    const bool exponent_negative = ReadSign(text, pos);
    for (int c = ByteAt(text, pos); IsDigit(c); c = ByteAt(text, ++pos)) {
      exponent = std::min<std::int64_t>(exponent * 10 + (c - '0'), kExponentLimit);
    }
    if (exponent_negative) exponent = -exponent;
  }

  const std::int64_t m = q + exponent;
  if (m >= kExponentBound) return negative ? -kHugeText : kHugeText;
  if (m <= -kExponentBound) return 0;
  const std::int64_t t = m - std::min<std::int64_t>(significant, kGatheredDigits);
  Number value = static_cast<Number>(gathered);
  if (t > 0) value *= PowerOfTen(t);
  if (t < 0) value /= PowerOfTen(-t);
  return negative ? -value : value;
}

// Nearest integer to a finite value, ties to even. Truncation and the fraction it leaves are
// exact, so no rounding mode is involved.
Number RoundHalfEven(Number value) {
  Number whole = std::trunc(value);
  const Number fraction = std::fabs(value - whole);
  // Halving an integer below 2^64 is exact, so this tells an odd one without fmodl (and libm).
  const bool odd = std::trunc(whole / 2) * 2 != whole;
  if (fraction > 0.5L || (fraction == 0.5L && odd)) {
    whole += value < 0 ? -1 : 1;
  }
  return whole;
}

// A big unsigned integer in base 10^9, least significant limb first, so that its decimal digits
// can be read off directly.
using DecimalLimbs = std::vector<std::uint32_t>;
constexpr std::uint64_t kLimbBase = 1000000000;

// limbs = limbs × factor + addend, with factor and addend at most 2^32.
void MultiplyAdd(DecimalLimbs& limbs, std::uint64_t factor, std::uint64_t addend) {
  std::uint64_t carry = addend;
  for (std::uint32_t& limb : limbs) {
    const std::uint64_t product = limb * factor + carry;
    limb = static_cast<std::uint32_t>(product % kLimbBase);
    carry = product / kLimbBase;
  }
  for (; carry != 0; carry /= kLimbBase) {
    limbs.push_back(static_cast<std::uint32_t>(carry % kLimbBase));
  }
}

void AppendDecimal(Text& text, std::uint64_t value, int min_width = 1) {
  char buffer[20];
  int length = 0;
  do {
    buffer[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 || length < min_width);
  while (length > 0) text.push_back(buffer[--length]);
}

// A value taken apart: how it is written, and for kFinite the exact magnitude
// significand × 2^exponent with the significand in 32-bit chunks, most significant first.
struct BinaryParts {
  enum class Kind { kZero, kInfinity, kFinite } kind = Kind::kZero;  // NaNs write as zero
  bool negative = false;
  std::uint32_t chunks[4] = {};
  int chunk_count = 0;
  int exponent = 0;
};

BinaryParts SplitBinary(Number value) {
  BinaryParts parts;
  parts.negative = std::signbit(value);
  if constexpr (std::numeric_limits<Number>::digits == 64 &&
                std::endian::native == std::endian::little) {
    // x87 extended format, read from its bits so that every encoding has a defined outcome:
    // exponent field 0 (zero, denormal) writes as 0; an all-ones exponent field is infinity
    // when the significand's top 16 bits are 8000 hex, whatever its low bits hold.
    std::uint64_t significand;
    std::uint16_t sign_exponent;
    std::memcpy(&significand, &value, sizeof significand);
    std::memcpy(&sign_exponent, reinterpret_cast<const unsigned char*>(&value) + 8,
                sizeof sign_exponent);
    const int field = sign_exponent & 0x7FFF;
    if (field == 0x7FFF && (significand >> 48) == 0x8000) parts.kind = BinaryParts::Kind::kInfinity;
    if (field == 0 || field == 0x7FFF || significand == 0) return parts;
    parts.chunks[0] = static_cast<std::uint32_t>(significand >> 32);
    parts.chunks[1] = static_cast<std::uint32_t>(significand);
    parts.chunk_count = 2;
    parts.exponent = field - 16383 - 63;
  } else {
    if (std::isinf(value)) parts.kind = BinaryParts::Kind::kInfinity;
    const int kind = std::fpclassify(value);
    if (kind != FP_NORMAL) return parts;
    Number rest = std::frexp(std::fabs(value), &parts.exponent);
    constexpr int kChunks = (std::numeric_limits<Number>::digits + 31) / 32;
    static_assert(kChunks <= 4);
    for (int i = 0; i < kChunks; ++i) {
      rest = std::ldexp(rest, 32);
      parts.chunks[i] = static_cast<std::uint32_t>(rest);
      rest -= parts.chunks[i];
    }
    parts.chunk_count = kChunks;
    parts.exponent -= 32 * kChunks;
  }
  parts.kind = BinaryParts::Kind::kFinite;
  return parts;
}

// The exact decimal expansion of a finite non-zero magnitude: digits × 10^scale, where digits
// has no leading zero.
struct ExactDecimal {
  Text digits;
  std::int64_t scale = 0;
};

ExactDecimal ExpandExactly(const BinaryParts& parts) {
  DecimalLimbs limbs;
  for (int i = 0; i < parts.chunk_count; ++i) {
    MultiplyAdd(limbs, std::uint64_t{1} << 32, parts.chunks[i]);
  }
  ExactDecimal result;
  int exponent = parts.exponent;
  if (exponent >= 0) {
    for (; exponent > 0; exponent -= std::min(exponent, 32)) {
      MultiplyAdd(limbs, std::uint64_t{1} << std::min(exponent, 32), 0);
    }
  } else {
    // f / 2^k = f × 5^k / 10^k
    result.scale = exponent;
    constexpr int kFiveStep = 13;  // 5^13 < 2^32
    for (int k = -exponent; k > 0; k -= std::min(k, kFiveStep)) {
      std::uint64_t factor = 1;
      for (int i = std::min(k, kFiveStep); i > 0; --i) factor *= 5;
      MultiplyAdd(limbs, factor, 0);
    }
  }
  result.digits.reserve(limbs.size() * 9);
  AppendDecimal(result.digits, limbs.back());
  for (auto it = limbs.rbegin() + 1; it != limbs.rend(); ++it) AppendDecimal(result.digits, *it, 9);
  return result;
}

// Adds one unit in the last place of a digit string; on a carry out of the first digit the
// string becomes 1 followed by zeros and true is returned.
bool IncrementDigits(Text& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return false;
    }
    *it = '0';
  }
  digits.front() = '1';
  return true;
}

// 15 significant digits: round to 18 digits, then let the 16th digit alone round the first 15.
// Integers below 10^15 come out as plain digits through the first layout.
// The program writes only 32-bit integers: the other layouts serve any other value it is given.
Text FormatNumber(Number value) {
  // The integers the messages show (ports, loop times, error numbers) need no expansion.
  if (std::fabs(value) < 1e15L && std::trunc(value) == value && value != 0) {
    Text text = value < 0 ? "-" : "";
    AppendDecimal(text, static_cast<std::uint64_t>(std::fabs(value)));
    return text;
  }
  const BinaryParts parts = SplitBinary(value);
  if (parts.kind == BinaryParts::Kind::kZero) return "0";
  if (parts.kind == BinaryParts::Kind::kInfinity) {
    return parts.negative ? "-9.99999999999999E+998" : "9.99999999999999E+998";
  }

  const ExactDecimal exact = ExpandExactly(parts);
  const Text& all = exact.digits;
  std::int64_t e = static_cast<std::int64_t>(all.size()) + exact.scale;

  Text digits = all.substr(0, kGatheredDigits);
  digits.resize(kGatheredDigits, '0');
  if (all.size() > static_cast<std::size_t>(kGatheredDigits)) {
    const char next = all[kGatheredDigits];
    const bool beyond = all.find_first_not_of('0', kGatheredDigits + 1) != Text::npos;
    const bool odd = (digits.back() - '0') % 2 != 0;
    if ((next > '5' || (next == '5' && (beyond || odd))) && IncrementDigits(digits)) ++e;
  }
  const char sixteenth = digits[15];
  digits.resize(15);
  const bool odd = (digits.back() - '0') % 2 != 0;
  if ((sixteenth > '5' || (sixteenth == '5' && odd)) && IncrementDigits(digits)) ++e;
  digits.erase(digits.find_last_not_of('0') + 1);
  const auto s = static_cast<std::int64_t>(digits.size());

  Text text = parts.negative ? "-" : "";
  if (e >= s && e <= 15) {
    text += digits;
    text.append(static_cast<std::size_t>(e - s), '0');
  } else if (e < s && s - e <= 15) {
    const std::size_t whole = e > 0 ? static_cast<std::size_t>(e) : 0;
    text.append(digits, 0, whole);
    text += '.';
    if (e < 0) text.append(static_cast<std::size_t>(-e), '0');
    text.append(digits, whole);
  } else {
    text += digits[0];
    if (s > 1) {
      text += '.';
      text.append(digits, 1);
    }
    text += e > 15 ? "E+" : "E-";
    AppendDecimal(text, static_cast<std::uint64_t>(e > 15 ? e - 1 : 1 - e));
  }
  return text;
}

}  // namespace

void SetNumberEnvironment() {
#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
  // 64-bit significand, round to nearest, all exceptions masked. 32-bit Windows starts threads
  // with a 53-bit significand, which would round every long double result too early.
  const std::uint16_t control_word = 0x133F;
  __asm__ volatile("fldcw %0" : : "m"(control_word));
#endif
}

Number TextToNumber(std::string_view text) {
  std::size_t pos = 0;
  while (IsBlank(ByteAt(text, pos))) ++pos;
  if (ByteAt(text, pos) == '&') return ReadRadix(text, pos + 1);
  return ReadDecimal(text, pos);
}

namespace {

// Rounded to nearest, ties to even; the most negative value when the rounded value does not fit.
template <typename Integer>
Integer RoundToInteger(Number value) {
  constexpr Integer kInvalid = std::numeric_limits<Integer>::min();
  constexpr Number kBound = -static_cast<Number>(kInvalid);  // 2^31 or 2^63, exactly
  if (!(std::fabs(value) < 2 * kBound)) return kInvalid;     // NaN included
  const Number rounded = RoundHalfEven(value);
  // Only the loop time is rounded to 32 bits, and 2^31, which the bound refuses, is no loop time
  // however the cast would convert it (x87: -2^31, aarch64: 2^31 - 1).
  if (rounded < -kBound || rounded >= kBound) return kInvalid;
  return static_cast<Integer>(rounded);
}

}  // namespace

std::int32_t NumberToInt32(Number value) { return RoundToInteger<std::int32_t>(value); }

std::int64_t NumberToInt64(Number value) { return RoundToInteger<std::int64_t>(value); }

Number Int32ToNumber(std::int32_t value) { return static_cast<Number>(value); }

Text NumberToText(Number value) {
  return TextOrEmpty([&] { return FormatNumber(value); });
}
