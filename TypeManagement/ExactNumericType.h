#pragma once
// Exact decimals (SQL DECIMAL): an unscaled two's-complement integer whose scale (digits after the
// point) belongs to the column or program element, never to the value. Two widths:
//   ExactNumericType<long>   64-bit unscaled value, 8 bytes, up to 18 declared digits;
//   ExactNumericType<Int96>  96-bit unscaled value, 12 packed bytes, up to 28 declared digits.
// The text parser, the rounding helpers and the rescaling rules shared by the decimal kernels live
// here; the powers of ten and the text form of a value are the base library's (base/DecimalText.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "TypeManagement/Int96.h"
#include "base/DecimalText.h"
#include "base/Int128.h"

namespace vela {

template <class T>
struct ExactNumericType {
  static_assert(std::is_same_v<T, long> || std::is_same_v<T, Int96>, "decimals are 64 or 96 bits wide");
  using value_type = T;

  static constexpr bool kWide = std::is_same_v<T, Int96>;
  /// Largest declared precision; the parser's messages quote it.
  static constexpr int kMaxPrecision = kWide ? 28 : 18;
  static constexpr int128_t kMaxUnscaled = kWide ? Int96::kMax : static_cast<int128_t>(INT64_MAX);
  static constexpr int128_t kMinUnscaled = kWide ? Int96::kMin : static_cast<int128_t>(INT64_MIN);

  T value{};

  constexpr ExactNumericType() = default;
  constexpr ExactNumericType(T unscaled) : value(unscaled) {}

  constexpr int128_t toInt128() const {
    if constexpr (kWide)
      return value.toInt128();
    else
      return value;
  }
  /// The low 64 or 96 bits of `bits`, sign-extended: the two's-complement wrap of the width.
  static constexpr ExactNumericType fromWrapped(uint128_t bits) {
    if constexpr (kWide)
      return ExactNumericType(Int96::fromBits(bits));
    else
      return ExactNumericType(static_cast<long>(static_cast<std::uint64_t>(bits)));
  }
  /// `v` clamped to the range of the width.
  static constexpr ExactNumericType saturate(int128_t v) {
    return fromWrapped(static_cast<uint128_t>(v > kMaxUnscaled   ? kMaxUnscaled
                                              : v < kMinUnscaled ? kMinUnscaled
                                                                 : v));
  }

  /// Parses decimal text into the unscaled value at `scale`. HeapText = true reads `length` bytes
  /// from text[0] upward (a variable-length string; trailing NUL bytes are padding, a NUL before other
  /// bytes is an extra character); false reads a fixed-width charN cell of `length` bytes from its
  /// highest byte down, ending at the first NUL.
  /// Grammar: blanks (space, bytes 9-13), an optional sign, digits with at most one '.', an optional
  /// exponent ('e' or 'E', optional sign, at least one digit), then spaces only (a trailing tab or
  /// newline is an extra character). Text with no digits at all ("", blanks, "-", ".") is 0. Rounds
  /// half away from zero to the scale; more than 18 digits rounded away give 0. `precision` 0 means
  /// none was declared.
  /// On failure sets *error (when given), logs the message with its location suffix at level 25000
  /// under the logger "Type" and throws VelaException (what code 8) with the same text.
  template <bool HeapText>
  static T convert_charN1(const char* text, std::size_t length, std::uint8_t precision, std::int8_t scale,
                          bool* error = nullptr);

  /// Plain decimal text of `unscaled` at `scale` (decimal_as_string of the base library).
  static std::string as_string(std::int8_t scale, T unscaled) {
    return decimal_as_string(ExactNumericType(unscaled).toInt128(), scale);
  }
  std::string as_string(std::int8_t scale) const { return decimal_as_string(toInt128(), scale); }

  /// The text of as_string written into a 32-byte fixed-width (charN) cell: the first character at
  /// cell[31], the others downward, the unused low bytes 0. A text longer than 32 characters (only
  /// scales outside the declarable range make one) keeps its first 32. Returns the text length before
  /// the cut.
  static int to_char32(std::int8_t scale, T unscaled, unsigned char* cell);

  /// value / factor rounded half away from zero, truncated to 64 bits. A factor below 1 is taken as 1.
  constexpr long toInt64(long factor) const {
    const int128_t v = toInt128();
    const int128_t f = factor < 1 ? 1 : factor;
    int128_t q = v / f;
    const int128_t r = v - q * f;
    if (f >= 2) {
      if (r >= f / 2)
        ++q;
      else if (r <= -(f / 2))
        --q;
    }
    return static_cast<long>(static_cast<std::uint64_t>(static_cast<uint128_t>(q)));
  }
  /// The smallest multiple of `factor` not below the value, at the same scale; saturates at the top
  /// of the width when that multiple does not fit. A factor below 1 is taken as 1.
  constexpr ExactNumericType ceil(long factor) const {
    const int128_t v = toInt128();
    const int128_t f = factor < 1 ? 1 : factor;
    const int128_t q = v / f;
    if (v >= 0 && v != q * f)
      return q == kMaxUnscaled / f ? fromWrapped(static_cast<uint128_t>(kMaxUnscaled))
                                   : fromWrapped(static_cast<uint128_t>((q + 1) * f));
    return fromWrapped(static_cast<uint128_t>(q * f)); // truncation toward zero is the ceiling below 0
  }
  /// The largest multiple of `factor` not above the value; saturates at the bottom of the width.
  constexpr ExactNumericType floor(long factor) const {
    const int128_t v = toInt128();
    const int128_t f = factor < 1 ? 1 : factor;
    const int128_t q = v / f;
    if (v < 0 && v != q * f)
      return q == kMinUnscaled / f ? fromWrapped(static_cast<uint128_t>(kMinUnscaled))
                                   : fromWrapped(static_cast<uint128_t>((q - 1) * f));
    return fromWrapped(static_cast<uint128_t>(q * f));
  }

  friend constexpr bool operator==(const ExactNumericType& a, const ExactNumericType& b) {
    return a.value == b.value;
  }
};
static_assert(sizeof(ExactNumericType<long>) == 8);
static_assert(sizeof(ExactNumericType<Int96>) == 12 && alignof(ExactNumericType<Int96>) == 1);
static_assert(std::is_trivially_copyable_v<ExactNumericType<Int96>>);

extern template long ExactNumericType<long>::convert_charN1<true>(const char*, std::size_t, std::uint8_t,
                                                                  std::int8_t, bool*);
extern template long ExactNumericType<long>::convert_charN1<false>(const char*, std::size_t, std::uint8_t,
                                                                   std::int8_t, bool*);
extern template Int96 ExactNumericType<Int96>::convert_charN1<true>(const char*, std::size_t, std::uint8_t,
                                                                    std::int8_t, bool*);
extern template Int96 ExactNumericType<Int96>::convert_charN1<false>(const char*, std::size_t, std::uint8_t,
                                                                     std::int8_t, bool*);
extern template int ExactNumericType<long>::to_char32(std::int8_t, long, unsigned char*);
extern template int ExactNumericType<Int96>::to_char32(std::int8_t, Int96, unsigned char*);

/// How two operands at scales sa and sb are brought to the larger scale before they are combined
/// (add, subtract, compare, select): each scale gives a factor (factorForScale: 1 outside 0..18); the
/// operand with the smaller factor is multiplied by the quotient of the two. direction -1 means the
/// first operand is multiplied, +1 the second, 0 neither. Overflow of the multiplication is not
/// detected: callers wrap in their width.
struct DecimalScaleAlignment {
  int direction = 0;
  std::int64_t multiplier = 1;

  constexpr DecimalScaleAlignment() = default;
  constexpr DecimalScaleAlignment(int sa, int sb) {
    const std::int64_t fa = factorForScale(sa), fb = factorForScale(sb);
    if (fb > fa) {
      direction = -1;
      multiplier = fb / fa;
    } else if (fa > fb) {
      direction = 1;
      multiplier = fa / fb;
    }
  }
  constexpr std::int64_t firstMultiplier() const { return direction < 0 ? multiplier : 1; }
  constexpr std::int64_t secondMultiplier() const { return direction > 0 ? multiplier : 1; }
};

/// Moves unscaled values from one scale to another: to a larger scale by multiplying (wrapping in the
/// value's width, no overflow detection), to a smaller one by dividing with rounding half away from
/// zero. Factors come from factorForScale, so a scale outside 0..18 counts as factor 1 and the step
/// never exceeds 10^18.
struct DecimalRescale {
  int direction = 0; // +1 multiply, -1 divide, 0 unchanged
  std::int64_t multiplier = 1;

  constexpr DecimalRescale() = default;
  constexpr DecimalRescale(int fromScale, int toScale) {
    const std::int64_t from = factorForScale(fromScale), to = factorForScale(toScale);
    if (to > from) {
      direction = 1;
      multiplier = to / from;
    } else if (from > to) {
      direction = -1;
      multiplier = from / to;
    }
  }

  template <class T>
  constexpr ExactNumericType<T> operator()(ExactNumericType<T> v) const {
    const int128_t x = v.toInt128();
    if (direction > 0)
      return ExactNumericType<T>::fromWrapped(static_cast<uint128_t>(x) * static_cast<uint128_t>(multiplier));
    if (direction < 0) {
      const int128_t half = multiplier / 2;
      // |x| + half cannot overflow: |x| < 2^95 and half < 2^59.
      const int128_t q = (x < 0 ? x - half : x + half) / multiplier;
      return ExactNumericType<T>::fromWrapped(static_cast<uint128_t>(q));
    }
    return v;
  }
};

} // namespace vela
