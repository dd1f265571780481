#pragma once
// Row kernels of the casts between numbers: integers of every width, bool, f32/f64 and the exact
// decimals. One functor serves a cast on the stack and the same cast fused with a column load, and both
// evaluators, so every form of a cast gives the same cell.
//
// Rules:
//  - integer to integer keeps the low bits of the target width (two's-complement wrap); signed sources
//    sign-extend, unsigned ones zero-extend;
//  - float to integer rounds half away from zero, converts to a signed 64-bit integer (NaN and values
//    outside [-2^63, 2^63) give the minimum, as the processor's own conversion does) and keeps the low
//    bits of the target;
//  - number to bool is x != 0 (NaN is true); a bool source counts as 0 or 1 whatever its byte holds;
//  - integer to float is the nearest value;
//  - decimal to number divides by 10^source scale (half away from zero for integer targets);
//  - number to decimal multiplies by 10^target scale (integers: no overflow check, the product wraps in
//    the width; floats: a fixed rounding formula, NaN and infinities fail the row with code 15);
//  - decimal to decimal rescales with half-away-from-zero division; only dec128 to dec64 checks the
//    target precision (code 15, value kept).
// Scales outside 0..18 count as the factor 1 (factorForScale). Nothing here throws or allocates.

#include <bit>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "TypeManagement/ExactNumericType.h"
#include "base/DecimalText.h"
#include "base/Int128.h"
#include "base/ParserUtils.h"
#include "cuda/TypedRpnEvaluator.h"

namespace vela::cuda {

namespace cast_detail {

using Decimal64 = ExactNumericType<long>;
using Decimal128 = ExactNumericType<Int96>;

template <class T>
inline constexpr bool isDecimal = std::is_same_v<T, Decimal64> || std::is_same_v<T, Decimal128>;

/// x rounded to the nearest integer, halves away from zero: bit for bit the value of std::round, written
/// with plain double operations and selects between values so that a loop of it vectorises (std::round
/// is a library call, and a select whose arm computes is left as a branch under trapping math). For
/// |x| < 2^52 adding and subtracting 2^52 with x's sign rounds to the nearest integer, ties to even; a
/// tie that went toward zero (x - nearest is exactly half, with x's sign) is moved one away. Larger
/// magnitudes, infinities and NaN are already their own rounding (the added constant is 0 for them).
inline double roundHalfAway(double x) {
  const double big = std::fabs(x) < 0x1p52 ? std::copysign(0x1p52, x) : 0.0;
  const double nearest = (x + big) - big;
  const double away = x - nearest == std::copysign(0.5, x) ? std::copysign(1.0, x) : 0.0;
  return std::copysign(nearest + away, x); // -0.4 rounds to -0.0, as std::round gives
}

/// The bits of the signed 64-bit integer that a whole-valued double converts to; NaN, infinities and
/// magnitudes of 2^63 or more give the minimum (2^63 as bits). Integer operations on the double's bits
/// only, so that it vectorises (the vector unit has no double to 64-bit conversion): the mantissa with
/// its hidden bit, shifted by the exponent, negated for a negative sign. Biased exponents below 1023
/// hold only zeros here (the argument is whole), above 1085 only values out of range.
inline std::uint64_t wholeToInt64Bits(double whole) {
  const auto bits = std::bit_cast<std::uint64_t>(whole);
  const auto exponent = static_cast<std::int64_t>((bits >> 52) & 0x7FF);
  const std::uint64_t mantissa = (bits & 0xFFFFFFFFFFFFFull) | (1ull << 52);
  const std::int64_t shift = exponent - 1075; // -52 .. 10 where it matters
  const auto left = static_cast<std::uint64_t>(shift > 0 ? shift : 0) & 63;
  const auto right = static_cast<std::uint64_t>(shift < 0 ? -shift : 0) & 63;
  const std::uint64_t magnitude = (mantissa << left) >> right;
  const std::uint64_t sign = std::uint64_t(0) - (bits >> 63);
  const std::uint64_t value = exponent < 1023 ? 0 : (magnitude ^ sign) - sign;
  return exponent > 1085 ? std::uint64_t(1) << 63 : value;
}

/// Float to integer of type Out: round half away from zero, to 64 bits, low bits of Out. f32 values
/// are rounded in double, which gives roundf's result exactly.
template <class Out>
inline Out floatToInteger(double x) {
  return static_cast<Out>(wholeToInt64Bits(roundHalfAway(x)));
}

/// A number cell as an arithmetic value: bool bytes as 0 or 1, the rest unchanged.
template <class In>
inline auto arithmetic(In x) {
  if constexpr (std::is_same_v<In, std::uint8_t>)
    return static_cast<std::uint8_t>(x != 0);
  else
    return x;
}

/// round_half_away(v / factor) for factor >= 1 (factor 1: v).
inline int128_t divideHalfAway(int128_t v, std::int64_t factor) {
  if (factor <= 1)
    return v;
  const int128_t half = factor / 2;
  // Most values fit 64 bits even in a dec128 column; there the division is one instruction.
  if (v >= INT64_MIN + half && v <= INT64_MAX - half) {
    const auto x = static_cast<std::int64_t>(v);
    return (x < 0 ? x - static_cast<std::int64_t>(half) : x + static_cast<std::int64_t>(half)) / factor;
  }
  return (v < 0 ? v - half : v + half) / factor;
}

/// The decimal formula of a float scaled by `factor` (10^scale): p = factor * x; when |x| exceeds
/// 2^52 / factor or that limit is below 11 (scales of 15 and more) p truncated, else
/// trunc((10p + 5 sign(p)) / 10), which rounds half away from zero at the digit after the last one
/// kept. Every step is a double operation rounded on its own. NaN and infinities stay as they are.
inline double scaledFloat(double x, double factor) {
  const double p = factor * x;
  const double limit = 0x1p52 / factor;
  if (std::fabs(x) > limit || limit < 11.0)
    return std::trunc(p);
  const double sign = p > 0.0 ? 1.0 : p < 0.0 ? -1.0 : 0.0;
  return std::trunc((p * 10.0 + 5.0 * sign) / 10.0);
}

/// Whether |v| has more than `precision` decimal digits (precision 1..38).
inline bool exceedsDigits(int128_t v, int precision) {
  const uint128_t magnitude = v < 0 ? uint128_t(0) - static_cast<uint128_t>(v) : static_cast<uint128_t>(v);
  return magnitude >= kPowersOfTen128.values[precision];
}

template <class Out>
inline Out decimalFromInt128(int128_t v) {
  return Out::fromWrapped(static_cast<uint128_t>(v));
}

} // namespace cast_detail

/// Integer (and bool) to integer: the low bits of Out, sign extension from signed sources.
template <class Out>
struct CastIntegerFunc {
  template <class In>
  Out operator()(In x) const {
    return static_cast<Out>(cast_detail::arithmetic(x));
  }
};

/// Float to integer (see floatToInteger).
template <class Out>
struct CastFloatToIntegerFunc {
  template <class In>
  Out operator()(In x) const {
    return cast_detail::floatToInteger<Out>(static_cast<double>(x));
  }
};

/// Number to bool: x != 0, NaN true.
struct CastToBoolFunc {
  template <class In>
  std::uint8_t operator()(In x) const {
    if constexpr (cast_detail::isDecimal<In>)
      return x.toInt128() != 0;
    else
      return x != In(0);
  }
};

/// Integer or float to float: the nearest value of Out.
template <class Out>
struct CastToFloatFunc {
  template <class In>
  Out operator()(In x) const {
    return static_cast<Out>(cast_detail::arithmetic(x));
  }
};

/// Decimal to number. The factor is 10^source scale (the scale of the operand, or of the column a load
/// reads). Floats: (double)unscaled / (double)factor, narrowed to f32 for that target; integers: the
/// quotient rounded half away from zero, then the low bits of Out; bool: unscaled != 0.
template <class Out>
struct CastDecimalToNumFunc {
  std::int64_t factor = 1;

  explicit CastDecimalToNumFunc(int sourceScale) : factor(factorForScale(sourceScale)) {}
  explicit CastDecimalToNumFunc(const ParserUtils::EvalInfo& info) : CastDecimalToNumFunc(info.argScale(0)) {}

  template <class In>
  Out operator()(In x) const {
    const int128_t v = x.toInt128();
    if constexpr (std::is_same_v<Out, std::uint8_t>) {
      return v != 0;
    } else if constexpr (std::is_floating_point_v<Out>) {
      if constexpr (std::is_same_v<In, cast_detail::Decimal64>)
        return static_cast<Out>(static_cast<double>(x.value) / static_cast<double>(factor));
      else
        return static_cast<Out>(static_cast<double>(v) / static_cast<double>(factor));
    } else {
      return static_cast<Out>(static_cast<std::uint64_t>(cast_detail::divideHalfAway(v, factor)));
    }
  }
};

/// Number to decimal at the target scale (the element's result scale). Integers and bool: value times
/// 10^scale, wrapping in the width (the i64 and u64 forms report a row state, always 0). Floats:
/// scaledFloat; NaN and infinities give 0 with code 15. A finite float whose scaled value does not fit
/// the width (64 bits for dec64, 96 for dec128) also gives 0 with code 15: the conversion has no
/// meaningful wrapped value, and a failed row is better than an arbitrary one.
template <class Out>
struct CastNumToDecimalFunc {
  int precision = 0;
  std::int64_t factor = 1;

  CastNumToDecimalFunc(int targetPrecision, int targetScale)
      : precision(targetPrecision), factor(factorForScale(targetScale)) {}
  explicit CastNumToDecimalFunc(const ParserUtils::EvalInfo& info)
      : CastNumToDecimalFunc(info.precision(), info.scale()) {}

  template <class In>
  Out operator()(In x) const {
    static_assert(std::is_integral_v<In>);
    const auto v = cast_detail::arithmetic(x);
    if constexpr (std::is_same_v<Out, cast_detail::Decimal64>) {
      // Unsigned multiplication: the wrap is defined, and the bits are those of the signed product.
      return Out(static_cast<long>(static_cast<std::uint64_t>(v) * static_cast<std::uint64_t>(factor)));
    } else {
      // A 64-bit value times at most 10^18 is exact in 128 bits; the width keeps the low 96 bits.
      return cast_detail::decimalFromInt128<Out>(static_cast<int128_t>(v) * factor);
    }
  }
  template <class In>
  Out operator()(In x, rpn_eval_result_t& code) const {
    if constexpr (std::is_floating_point_v<In>) {
      const double t = cast_detail::scaledFloat(static_cast<double>(x), static_cast<double>(factor));
      constexpr double kLimit = std::is_same_v<Out, cast_detail::Decimal64> ? 0x1p63 : 0x1p95;
      if (!(std::fabs(t) < kLimit)) { // NaN, infinities and values beyond the width
        code = RPN_EVAL_BAD_CAST;
        return Out();
      }
      return cast_detail::decimalFromInt128<Out>(static_cast<int128_t>(t));
    } else {
      return (*this)(x);
    }
  }
};

/// Decimal to decimal: the unscaled value multiplied by 10^(target - source scale), or divided by
/// 10^(source - target scale) rounding half away from zero. dec64 to dec128 has no state (a dec64 times
/// at most 10^18 is exact in 128 bits; the width keeps the low 96 bits). dec128 to dec64 reports code 15,
/// keeping the low 64 bits of the value, when the rescaled value has more digits than the target
/// precision (a precision outside 1..18 counts as 18) or its product leaves 128 bits.
struct CastDecimalToDecimalFunc {
  int precision = 18;
  int direction = 0; // +1 multiply, -1 divide, 0 unchanged
  std::int64_t multiplier = 1;

  CastDecimalToDecimalFunc(int sourceScale, int targetScale, int targetPrecision) {
    const std::int64_t from = factorForScale(sourceScale), to = factorForScale(targetScale);
    if (to > from) {
      direction = 1;
      multiplier = to / from;
    } else if (from > to) {
      direction = -1;
      multiplier = from / to;
    }
    precision = targetPrecision >= 1 && targetPrecision <= 18 ? targetPrecision : 18;
  }
  explicit CastDecimalToDecimalFunc(const ParserUtils::EvalInfo& info)
      : CastDecimalToDecimalFunc(info.argScale(0), info.scale(), info.precision()) {}

  cast_detail::Decimal128 operator()(cast_detail::Decimal64 x) const {
    const int128_t v = x.value;
    return cast_detail::decimalFromInt128<cast_detail::Decimal128>(
        direction > 0 ? v * multiplier : cast_detail::divideHalfAway(v, multiplier));
  }
  cast_detail::Decimal64 operator()(cast_detail::Decimal128 x, rpn_eval_result_t& code) const {
    const int128_t v = x.toInt128();
    int128_t r;
    bool overflow = false;
    if (direction > 0)
      overflow = __builtin_mul_overflow(v, static_cast<int128_t>(multiplier), &r);
    else
      r = cast_detail::divideHalfAway(v, multiplier);
    if (overflow || cast_detail::exceedsDigits(r, precision))
      code = RPN_EVAL_BAD_CAST;
    return cast_detail::Decimal64(static_cast<long>(static_cast<std::uint64_t>(r)));
  }
};

/// The casts to a decimal whose precision and scale are operands of the row (value, precision, scale;
/// the source's own scale, for decimal sources, is the element's argument scale). Every failure gives 0
/// with code 15:
///  - a precision outside 1..18 (dec64) or 1..28 (dec128), a negative scale, or a scale above the
///    precision or above 18 (the largest factor of the powers-of-ten table: a larger scale would be
///    taken as no scaling at all, a silently wrong value);
///  - NaN or infinite floats;
///  - a result with more digits than the precision. Unlike the casts with a declared target, nothing
///    wraps here: the value is computed exactly (integers and rescaled decimals in 128 bits with
///    overflow detection, floats by the formula of CastNumToDecimalFunc) and then checked, since the row
///    names the precision it wants.
template <class Out>
struct CastToDecimalRunTimeFunc {
  static constexpr int kMaxPrecision = Out::kMaxPrecision;
  std::int64_t sourceFactor = 1;

  explicit CastToDecimalRunTimeFunc(int sourceScale) : sourceFactor(factorForScale(sourceScale)) {}
  explicit CastToDecimalRunTimeFunc(const ParserUtils::EvalInfo& info)
      : CastToDecimalRunTimeFunc(info.argScale(0)) {}

  template <class In>
  Out operator()(In x, std::int8_t precision, std::int8_t scale, rpn_eval_result_t& code) const {
    if (precision < 1 || precision > kMaxPrecision || scale < 0 || scale > precision || scale > 18) {
      code = RPN_EVAL_BAD_CAST;
      return Out();
    }
    const std::int64_t factor = scaleFactorForScale::factors_of_ten[scale];
    int128_t v;
    if constexpr (std::is_floating_point_v<In>) {
      const double t = cast_detail::scaledFloat(static_cast<double>(x), static_cast<double>(factor));
      if (!(std::fabs(t) < 0x1p126)) {
        code = RPN_EVAL_BAD_CAST;
        return Out();
      }
      v = static_cast<int128_t>(t);
    } else if constexpr (cast_detail::isDecimal<In>) {
      if (factor >= sourceFactor) {
        if (__builtin_mul_overflow(x.toInt128(), static_cast<int128_t>(factor / sourceFactor), &v)) {
          code = RPN_EVAL_BAD_CAST;
          return Out();
        }
      } else {
        v = cast_detail::divideHalfAway(x.toInt128(), sourceFactor / factor);
      }
    } else {
      v = static_cast<int128_t>(cast_detail::arithmetic(x)) * factor; // below 2^64 * 10^18: exact
    }
    if (cast_detail::exceedsDigits(v, precision)) {
      code = RPN_EVAL_BAD_CAST;
      return Out();
    }
    return cast_detail::decimalFromInt128<Out>(v);
  }
};

} // namespace vela::cuda
