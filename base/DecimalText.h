#pragma once
// Exact-decimal services of the base library: the shared powers of ten that turn a scale into a
// factor, and the plain decimal text of an unscaled value at a scale.

#include <cstdint>
#include <cstring>
#include <string>

#include "base/Int128.h"

namespace vela {

/// Powers of ten for scales 0 to 18, the largest that fit a signed 64-bit factor. It is indexed with
/// 0..18 only; factorForScale maps every other scale to the factor 1 (no rescaling).
struct scaleFactorForScale {
  static constexpr std::int64_t factors_of_ten[19] = {1LL,
                                                      10LL,
                                                      100LL,
                                                      1000LL,
                                                      10000LL,
                                                      100000LL,
                                                      1000000LL,
                                                      10000000LL,
                                                      100000000LL,
                                                      1000000000LL,
                                                      10000000000LL,
                                                      100000000000LL,
                                                      1000000000000LL,
                                                      10000000000000LL,
                                                      100000000000000LL,
                                                      1000000000000000LL,
                                                      10000000000000000LL,
                                                      100000000000000000LL,
                                                      1000000000000000000LL};
};

/// 10^scale for 0 <= scale <= 18; 1 for any other scale.
constexpr std::int64_t factorForScale(int scale) {
  return scale >= 0 && scale <= 18 ? scaleFactorForScale::factors_of_ten[scale] : 1;
}

/// 10^0 to 10^38 as unsigned 128-bit values (10^38 < 2^127): the steps of 96-bit decimal rounding,
/// whose exponents reach past the 64-bit table.
struct PowersOfTen128 {
  uint128_t values[39];
  constexpr PowersOfTen128() : values() {
    values[0] = 1;
    for (int i = 1; i < 39; ++i)
      values[i] = values[i - 1] * 10;
  }
};
inline constexpr PowersOfTen128 kPowersOfTen128{};

/// Plain decimal text of unscaled / 10^scale: an optional '-', at least one digit before the point,
/// and for a positive scale a '.' followed by exactly `scale` digits ("-0.05", "12.50", "0.000").
/// A scale of 0 gives an integer; a negative scale appends -scale zeros to a non-zero value
/// (unscaled 12 at scale -2 is "1200"). No exponent form is ever produced.
std::string decimal_as_string(int128_t unscaled, int scale);

/// Decimal digits written last-first (the ones digit at out[0]), the way text is built for the reversed
/// fixed-width layout and for right-to-left formatting. Two digits per table entry, the ones digit
/// first, copied as one 16-bit word.
namespace decimal_digits {
struct DigitPairs {
  char v[200];
  constexpr DigitPairs() : v() {
    for (int k = 0; k < 100; ++k) {
      v[2 * k] = static_cast<char>('0' + k % 10);
      v[2 * k + 1] = static_cast<char>('0' + k / 10);
    }
  }
};
inline constexpr DigitPairs kDigitPairs{};

/// Writes the digits of v last-first from out[0]; returns their count (at least 1). Room for 20.
inline int writeLastFirst(std::uint64_t v, char* out) {
  int n = 0;
  while (v >= 100) {
    std::memcpy(out + n, kDigitPairs.v + 2 * (v % 100), 2);
    v /= 100;
    n += 2;
  }
  if (v >= 10) {
    std::memcpy(out + n, kDigitPairs.v + 2 * v, 2);
    return n + 2;
  }
  out[n] = static_cast<char>('0' + v);
  return n + 1;
}

/// As above for a 128-bit value; room for 39.
inline int writeLastFirst(uint128_t v, char* out) {
  constexpr std::uint64_t k19 = 10000000000000000000ULL;
  int n = 0;
  while (v >> 64 != 0) {
    std::uint64_t chunk = static_cast<std::uint64_t>(v % k19);
    v /= k19;
    for (int k = 0; k < 19; ++k, chunk /= 10)
      out[n++] = static_cast<char>('0' + chunk % 10);
  }
  return n + writeLastFirst(static_cast<std::uint64_t>(v), out + n);
}
} // namespace decimal_digits

} // namespace vela
