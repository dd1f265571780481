#pragma once
// The 96-bit signed integer of wide exact decimals, and the unsigned 256-bit intermediate that decimal
// multiplication and division need to stay exact before they saturate to the 96-bit range.

#include <cstdint>

#include "base/Int128.h"

namespace vela {

/// A signed 96-bit integer in 12 bytes: the low 64 bits (unsigned), then the high 32 bits (signed); the
/// value is high * 2^64 + low. Packed, so that a column of n values is exactly 12n bytes and a value may
/// start at any byte (columns, constant operands, row stacks). Arithmetic is done on the 128-bit
/// integer of the compiler; fromInt128 keeps the low 96 bits (two's-complement wrap).
struct __attribute__((packed)) Int96 {
  std::uint64_t low = 0;
  std::int32_t high = 0;

  static constexpr int128_t kMax = (static_cast<int128_t>(1) << 95) - 1;
  static constexpr int128_t kMin = -kMax - 1;

  constexpr Int96() = default;
  constexpr Int96(std::uint64_t lowBits, std::int32_t highBits) : low(lowBits), high(highBits) {}
  /// Sign-extends a 64-bit value (always exact).
  static constexpr Int96 fromInt64(std::int64_t v) {
    return Int96(static_cast<std::uint64_t>(v), v < 0 ? -1 : 0);
  }
  /// The low 96 bits of `v`: values outside the range wrap.
  static constexpr Int96 fromInt128(int128_t v) { return fromBits(static_cast<uint128_t>(v)); }
  static constexpr Int96 fromBits(uint128_t bits) {
    return Int96(static_cast<std::uint64_t>(bits),
                 static_cast<std::int32_t>(static_cast<std::uint32_t>(bits >> 64)));
  }
  /// `v` clamped to [kMin, kMax].
  static constexpr Int96 saturate(int128_t v) { return fromInt128(v > kMax ? kMax : v < kMin ? kMin : v); }

  constexpr int128_t toInt128() const {
    // The high word sign-extended to 64 bits fills bits 64..127 of the two's-complement 128-bit value.
    const auto upper = static_cast<std::uint64_t>(static_cast<std::int64_t>(high));
    return static_cast<int128_t>((static_cast<uint128_t>(upper) << 64) | low);
  }
  constexpr bool isNegative() const { return high < 0; }
  constexpr bool isZero() const { return low == 0 && high == 0; }

  friend constexpr bool operator==(const Int96& a, const Int96& b) {
    return a.low == b.low && a.high == b.high;
  }
  friend constexpr bool operator<(const Int96& a, const Int96& b) { return a.toInt128() < b.toInt128(); }
};
static_assert(sizeof(Int96) == 12 && alignof(Int96) == 1);

/// `v` reduced to its low 96 bits and sign-extended again: the 96-bit two's-complement wrap.
constexpr int128_t wrapToInt96(uint128_t v) {
  return Int96::fromBits(v).toInt128();
}

namespace wide {

/// An unsigned 256-bit integer, four 64-bit words, least significant first. Only what exact decimal
/// multiplication and division need: products of two 128-bit magnitudes, sums, comparison, shifts and
/// a rounded quotient that is known to be small.
struct Uint256 {
  std::uint64_t w[4] = {0, 0, 0, 0};

  static constexpr Uint256 from(uint128_t v) {
    Uint256 r;
    r.w[0] = static_cast<std::uint64_t>(v);
    r.w[1] = static_cast<std::uint64_t>(v >> 64);
    return r;
  }
  static constexpr Uint256 mul(uint128_t a, uint128_t b) {
    const std::uint64_t x[2] = {static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(a >> 64)};
    const std::uint64_t y[2] = {static_cast<std::uint64_t>(b), static_cast<std::uint64_t>(b >> 64)};
    Uint256 r;
    for (int i = 0; i < 2; ++i) {
      std::uint64_t carry = 0;
      for (int j = 0; j < 2; ++j) {
        const uint128_t t = static_cast<uint128_t>(x[i]) * y[j] + r.w[i + j] + carry;
        r.w[i + j] = static_cast<std::uint64_t>(t);
        carry = static_cast<std::uint64_t>(t >> 64);
      }
      r.w[i + 2] = carry;
    }
    return r;
  }
  constexpr bool fits128() const { return w[2] == 0 && w[3] == 0; }
  constexpr uint128_t low128() const { return (static_cast<uint128_t>(w[1]) << 64) | w[0]; }

  friend constexpr Uint256 operator+(const Uint256& a, const Uint256& b) {
    Uint256 r;
    std::uint64_t carry = 0;
    for (int i = 0; i < 4; ++i) {
      const uint128_t t = static_cast<uint128_t>(a.w[i]) + b.w[i] + carry;
      r.w[i] = static_cast<std::uint64_t>(t);
      carry = static_cast<std::uint64_t>(t >> 64);
    }
    return r;
  }
  friend constexpr Uint256 operator-(const Uint256& a, const Uint256& b) {
    Uint256 r;
    std::uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
      const std::uint64_t d = a.w[i] - b.w[i] - borrow;
      borrow = (a.w[i] < b.w[i] || (a.w[i] == b.w[i] && borrow)) ? 1 : 0;
      r.w[i] = d;
    }
    return r;
  }
  friend constexpr bool operator<(const Uint256& a, const Uint256& b) {
    for (int i = 3; i >= 0; --i)
      if (a.w[i] != b.w[i])
        return a.w[i] < b.w[i];
    return false;
  }
  /// Shift left by 0 <= k < 64 + 192; bits shifted out of the top are lost.
  constexpr Uint256 shl(int k) const {
    Uint256 r;
    const int words = k / 64, bits = k % 64;
    for (int i = 3; i >= words; --i) {
      std::uint64_t v = w[i - words] << bits;
      if (bits != 0 && i - words - 1 >= 0)
        v |= w[i - words - 1] >> (64 - bits);
      r.w[i] = v;
    }
    return r;
  }
  constexpr Uint256 shr1() const {
    Uint256 r;
    for (int i = 0; i < 4; ++i)
      r.w[i] = (w[i] >> 1) | (i < 3 ? w[i + 1] << 63 : 0);
    return r;
  }
};

/// (n + floor(d / 2)) / d, truncated, capped at 2^95: the magnitude of a quotient rounded half away
/// from zero, where any result of 2^95 or more means "saturate". Requires d != 0 and d < 2^160.
/// The common case, where both fit 128 bits, is one native division; the rest is a restoring binary
/// division over the 95 quotient bits that can matter.
constexpr uint128_t roundedQuotientCapped(const Uint256& n, const Uint256& d) {
  constexpr uint128_t kCap = static_cast<uint128_t>(1) << 95;
  const Uint256 sum = n + d.shr1();
  if (sum.fits128() && d.fits128()) {
    const uint128_t q = sum.low128() / d.low128();
    return q < kCap ? q : kCap;
  }
  Uint256 rest = sum;
  Uint256 shifted = d.shl(95);
  if (!(rest < shifted))
    return kCap;
  uint128_t q = 0;
  for (int bit = 94; bit >= 0; --bit) {
    shifted = shifted.shr1();
    if (!(rest < shifted)) {
      rest = rest - shifted;
      q |= static_cast<uint128_t>(1) << bit;
    }
  }
  return q;
}

} // namespace wide

} // namespace vela
