#include "TypeManagement/ExactNumericType.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <log4cplus/logger.h>

#include "base/Logging.h"
#include "base/VelaException.h"

namespace vela {

namespace {

constexpr const char* kSourcePath = "TypeManagement/ExactNumericType";
constexpr int kParseErrorLevel = 25000;
constexpr const char* kParseFunction = "ExactNumericType<T>::convert_charN1";

// Every parse failure: the caller's flag first, then the log line under "Type", then the throw. The
// text carries the location suffix like every other message of the libraries.
[[noreturn]] __attribute__((cold, noinline)) void raiseParseError(const std::string& message, int line,
                                                                  bool* error) {
  if (error != nullptr)
    *error = true;
  const std::string text = message + locationSuffix(kSourcePath, line);
  log4cplus::Logger logger = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("Type"));
  if (logger.isEnabledFor(kParseErrorLevel))
    logger.forcedLog(kParseErrorLevel, LOG4CPLUS_STRING_TO_TSTRING(text), kSourcePath, line, kParseFunction);
  throw VelaException(VelaWhat::Evaluation, text);
}

bool isBlank(unsigned char c) {
  return c == ' ' || (c >= 9 && c <= 13);
}

// Exponents beyond this only matter through the precision check, which they fail either way; the cap
// keeps the arithmetic on digit counts far from overflow.
constexpr long kExponentCap = 100000;
// Digits kept in the 128-bit accumulator (10^38 < 2^128). A longer text passes the precision check
// only when at least nine more digits are rounded away than were dropped, so dropped digits never
// decide the rounding (see the rescaling step).
constexpr int kAccumulatedDigits = 38;

} // namespace

template <class T>
template <bool HeapText>
T ExactNumericType<T>::convert_charN1(const char* text, std::size_t length, std::uint8_t precision,
                                      std::int8_t scale, bool* error) {
  // Declared precisions go up to 18 (28 for the 96-bit form); scales up to 18, the end of the
  // powers-of-ten table. Refused before any character is read.
  if (precision > kMaxPrecision || scale >= 19 || (precision != 0 && precision < scale))
    raiseParseError("unable to convert string to DECIMAL with unsupported precision/scale (" +
                        std::to_string(precision) + ", " + std::to_string(scale) + ")",
                    __LINE__, error);

  // The text in reading order. A charN cell ends at its first NUL (no NUL occurs inside a string); a
  // heap string is padded with trailing NULs at most.
  std::size_t n = length;
  auto at = [&](std::size_t i) -> unsigned char {
    return static_cast<unsigned char>(HeapText ? text[i] : text[length - 1 - i]);
  };
  if constexpr (HeapText) {
    while (n > 0 && at(n - 1) == 0)
      --n;
  } else {
    for (std::size_t i = 0; i < length; ++i)
      if (at(i) == 0) {
        n = i;
        break;
      }
  }
  auto quoted = [&]() {
    std::string s;
    s.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
      s.push_back(static_cast<char>(at(i)));
    return "unable to convert string '" + s + "' to DECIMAL";
  };

  std::size_t i = 0;
  while (i < n && isBlank(at(i)))
    ++i;
  if (i == n)
    return ExactNumericType().value;

  bool negative = false;
  if (at(i) == '+' || at(i) == '-')
    negative = at(i++) == '-';

  uint128_t acc = 0;
  long significant = 0; // digits from the first non-zero one
  long fraction = 0;    // digits after the point, less the exponent
  long dropped = 0;     // significant digits beyond the accumulator's reach
  bool point = false;
  for (; i < n; ++i) {
    const unsigned char c = at(i);
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9')
      break;
    if (point)
      ++fraction;
    if (significant == 0 && c == '0')
      continue;
    if (significant < kAccumulatedDigits)
      acc = acc * 10 + (c - '0');
    else
      ++dropped;
    ++significant;
  }

  // An exponent needs at least one digit; a bare 'e' is left over and fails below.
  if (i < n && (at(i) == 'e' || at(i) == 'E')) {
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < n && (at(j) == '+' || at(j) == '-'))
      negativeExponent = at(j++) == '-';
    if (j < n && at(j) >= '0' && at(j) <= '9') {
      long exponent = 0;
      for (; j < n && at(j) >= '0' && at(j) <= '9'; ++j)
        exponent = std::min(kExponentCap, exponent * 10 + (at(j) - '0'));
      fraction += negativeExponent ? exponent : -exponent;
      i = j;
    }
  }

  while (i < n && at(i) == ' ')
    ++i;
  if (i < n)
    raiseParseError(quoted() + " due to extra characters", __LINE__, error);

  // Digits the value needs at the target scale: the significant digits, plus the zeros the scale adds
  // or less the digits it rounds away (never fewer than none). One digit more than the declared
  // maximum is let through to the range check, which then decides: 19 digits reach 2^63 - 1, 29 reach
  // 2^95 - 1. That holds for an undeclared precision (19 or 29 digits) and for a declared precision
  // at the maximum (18 or 28).
  const long shift = scale - fraction;
  const long required = significant + std::max(shift, -significant);
  const bool fits =
      precision == 0 ? required <= kMaxPrecision + 1
                     : required <= precision || (precision == kMaxPrecision && required == kMaxPrecision + 1);
  if (!fits) {
    if (precision == 0)
      raiseParseError(quoted() + " requiring precision " + std::to_string(required) + " (max " +
                          std::to_string(kMaxPrecision) + ")",
                      __LINE__, error);
    raiseParseError(quoted() + "(" + std::to_string(precision) + ", " + std::to_string(scale) + ")", __LINE__,
                    error);
  }

  // To the target scale. The precision check bounds the result to kMaxPrecision + 1 digits, so the
  // multiplications cannot overflow; a shift below -18 rounds everything away.
  if (shift > 0) {
    for (long left = shift; left > 0; left -= 18)
      acc *= static_cast<uint128_t>(factorForScale(static_cast<int>(std::min(18L, left))));
  } else if (shift < -18) {
    acc = 0;
  } else if (shift < 0) {
    // Dropped digits were truncated from the accumulator: they shorten the division. Whenever any was
    // dropped, at least nine further digits are rounded away, so the rounding digit itself was kept
    // and the dropped ones (all below it) cannot change a half-up decision.
    const long digits = -shift - dropped;
    if (digits > 0) {
      const auto divisor = static_cast<uint128_t>(factorForScale(static_cast<int>(digits)));
      const uint128_t remainder = acc % divisor;
      acc /= divisor;
      if (remainder >= divisor / 2)
        ++acc;
    }
  }

  const uint128_t limit = static_cast<uint128_t>(kMaxUnscaled) + (negative ? 1 : 0);
  if (acc > limit)
    raiseParseError(quoted() + " due to the number being too large", __LINE__, error);
  const uint128_t bits = negative ? uint128_t(0) - acc : acc;
  return fromWrapped(bits).value;
}

namespace {

using decimal_digits::kDigitPairs;
inline int digitsLastFirst(std::uint64_t m, char* out) {
  return decimal_digits::writeLastFirst(m, out);
}
inline int digitsLastFirst(uint128_t m, char* out) {
  return decimal_digits::writeLastFirst(m, out);
}

} // namespace

template <class T>
int ExactNumericType<T>::to_char32(std::int8_t scale, T unscaled, unsigned char* cell) {
  char text[48 + 2 * 128];
  int len = 0;
  if constexpr (!kWide) {
    if (scale >= 0 && scale <= 18) {
      // The usual case, kept to 64-bit arithmetic: the fraction digits (exactly `scale` of them) first,
      // then the point and the integer digits.
      const bool negative = unscaled < 0;
      const std::uint64_t m =
          negative ? 0 - static_cast<std::uint64_t>(unscaled) : static_cast<std::uint64_t>(unscaled);
      if (scale > 0) {
        const auto f = static_cast<std::uint64_t>(factorForScale(scale));
        std::uint64_t fraction = m % f;
        int k = scale;
        for (; k >= 2; k -= 2, fraction /= 100, len += 2)
          std::memcpy(text + len, kDigitPairs.v + 2 * (fraction % 100), 2);
        if (k != 0)
          text[len++] = static_cast<char>('0' + fraction % 10);
        text[len++] = '.';
        len += digitsLastFirst(m / f, text + len);
      } else {
        len = digitsLastFirst(m, text);
      }
      if (negative)
        text[len++] = '-';
      std::memset(cell, 0, static_cast<std::size_t>(32 - len));
      std::memcpy(cell + (32 - len), text, static_cast<std::size_t>(len));
      return len;
    }
  }
  const int128_t v = ExactNumericType(unscaled).toInt128();
  const bool negative = v < 0;
  const uint128_t m = negative ? uint128_t(0) - static_cast<uint128_t>(v) : static_cast<uint128_t>(v);
  // The text last-first: the digits (zero-padded to one more than the scale), with the '.' put in
  // after the `scale` fraction digits, or -scale zeros after a non-zero value of negative scale.
  char digits[136]; // up to 39 digits, or zero-padded past a scale of up to 127
  int n = kWide ? digitsLastFirst(m, digits) : digitsLastFirst(static_cast<std::uint64_t>(m), digits);
  if (scale > 0) {
    const int fraction = scale;
    while (n <= fraction)
      digits[n++] = '0';
    std::memcpy(text, digits, static_cast<std::size_t>(fraction));
    text[fraction] = '.';
    std::memcpy(text + fraction + 1, digits + fraction, static_cast<std::size_t>(n - fraction));
    len = n + 1;
  } else {
    if (scale < 0 && m != 0) {
      std::memset(text, '0', static_cast<std::size_t>(-scale));
      len = -scale;
    }
    std::memcpy(text + len, digits, static_cast<std::size_t>(n));
    len += n;
  }
  if (negative)
    text[len++] = '-';
  if (len >= 32) {
    std::memcpy(cell, text + (len - 32), 32);
  } else {
    std::memset(cell, 0, static_cast<std::size_t>(32 - len));
    std::memcpy(cell + (32 - len), text, static_cast<std::size_t>(len));
  }
  return len;
}

template int ExactNumericType<long>::to_char32(std::int8_t, long, unsigned char*);
template int ExactNumericType<Int96>::to_char32(std::int8_t, Int96, unsigned char*);

template long ExactNumericType<long>::convert_charN1<true>(const char*, std::size_t, std::uint8_t,
                                                           std::int8_t, bool*);
template long ExactNumericType<long>::convert_charN1<false>(const char*, std::size_t, std::uint8_t,
                                                            std::int8_t, bool*);
template Int96 ExactNumericType<Int96>::convert_charN1<true>(const char*, std::size_t, std::uint8_t,
                                                             std::int8_t, bool*);
template Int96 ExactNumericType<Int96>::convert_charN1<false>(const char*, std::size_t, std::uint8_t,
                                                              std::int8_t, bool*);

} // namespace vela
