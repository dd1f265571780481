#pragma once
// Row kernels of the exact-decimal arithmetic and rounding ops. Each functor is built once per element
// from the element's EvalInfo (or directly from the scales) and then called per row by both evaluators,
// so the same code fixes the result in both. Calls never throw and never allocate.
//
// Conventions shared by all of them:
//  - Operands and results are ExactNumericType<long> (dec64) or ExactNumericType<Int96> (dec128); one
//    functor serves both widths through overloads.
//  - A scale becomes a factor through factorForScale (10^0 .. 10^18; 1 for any other scale).
//  - Add, subtract, negate and the rescaling before them wrap in the width (64 or 96 bits); multiply
//    and divide are exact and then saturate to the 96-bit range; nothing reports overflow.
//  - Rounding is half away from zero.
//  - A functor that can fail a row takes a trailing `rpn_eval_result_t& code` and writes it only on
//    failure, so the caller pre-initialises the row codes to 0.

#include <cstdint>

#include "TypeManagement/ExactNumericType.h"
#include "base/DecimalText.h"
#include "base/Int128.h"
#include "base/ParserUtils.h"
#include "cuda/TypedRpnEvaluator.h"

namespace vela::cuda {

using Decimal64 = ExactNumericType<long>;
using Decimal128 = ExactNumericType<Int96>;

namespace decimal_detail {

inline constexpr uint128_t kInt96Cap = static_cast<uint128_t>(1) << 95;

constexpr uint128_t magnitude(int128_t v) {
  return v < 0 ? uint128_t(0) - static_cast<uint128_t>(v) : static_cast<uint128_t>(v);
}

// A magnitude of at most 2^95 (2^95 itself meaning "at least 2^95") with its sign, clamped to the
// 96-bit range.
constexpr Decimal128 signedSaturated(bool negative, uint128_t capped) {
  if (negative)
    return Decimal128::fromWrapped(uint128_t(0) - capped);
  return Decimal128::fromWrapped(capped >= kInt96Cap ? kInt96Cap - 1 : capped);
}

// round_half_away(sign * n / d) for magnitudes n = x * xScale and d = y * yScale, saturated to the
// 96-bit range. Exact for x, y below 2^96 (y != 0), xScale up to 10^36 and yScale up to 10^18: the
// magnitudes of a product or quotient of decimals.
inline Decimal128 roundedQuotient(bool negative, uint128_t x, uint128_t xScale, uint128_t y,
                                  uint128_t yScale) {
  uint128_t n, d;
  const bool wideN = __builtin_mul_overflow(x, xScale, &n);
  const bool wideD = __builtin_mul_overflow(y, yScale, &d);
  if (!wideN && !wideD) {
    const uint128_t half = d / 2;
    if (n <= ~uint128_t(0) - half) {
      const uint128_t sum = n + half;
      // Most rows of a 64-bit column stay below 2^64, where the division is a single instruction.
      const uint128_t q =
          (sum >> 64) == 0 && (d >> 64) == 0
              ? static_cast<uint128_t>(static_cast<std::uint64_t>(sum) / static_cast<std::uint64_t>(d))
              : sum / d;
      return signedSaturated(negative, q < kInt96Cap ? q : kInt96Cap);
    }
  }
  const wide::Uint256 wn = wideN ? wide::Uint256::mul(x, xScale) : wide::Uint256::from(n);
  const wide::Uint256 wd = wideD ? wide::Uint256::mul(y, yScale) : wide::Uint256::from(d);
  return signedSaturated(negative, wide::roundedQuotientCapped(wn, wd));
}

// a * ma + sign * b * mb in the width, where one of the multipliers is 1: the scale alignment of add and
// subtract. The multipliers are kept unsigned so that every step wraps without undefined behaviour.
template <int Sign>
struct AlignedSum {
  DecimalScaleAlignment alignment;
  std::uint64_t ma, mb;

  AlignedSum(int scaleA, int scaleB)
      : alignment(scaleA, scaleB), ma(static_cast<std::uint64_t>(alignment.firstMultiplier())),
        mb(static_cast<std::uint64_t>(alignment.secondMultiplier())) {}

  Decimal64 operator()(Decimal64 a, Decimal64 b) const {
    // At most one multiplier is not 1: select the operand to scale instead of multiplying both, since
    // a 64-bit vector multiply takes several instructions.
    const bool first = alignment.direction < 0;
    const auto ua = static_cast<std::uint64_t>(a.value), ub = static_cast<std::uint64_t>(b.value);
    const std::uint64_t scaled = (first ? ua : ub) * static_cast<std::uint64_t>(alignment.multiplier);
    const std::uint64_t other = first ? ub : ua;
    if constexpr (Sign > 0)
      return Decimal64(static_cast<long>(scaled + other));
    else
      return Decimal64(static_cast<long>(first ? scaled - other : other - scaled));
  }
  Decimal128 operator()(Decimal128 a, Decimal128 b) const {
    const uint128_t x = static_cast<uint128_t>(a.toInt128()) * ma,
                    y = static_cast<uint128_t>(b.toInt128()) * mb;
    return Decimal128::fromWrapped(Sign > 0 ? x + y : x - y);
  }
};

} // namespace decimal_detail

/// a + b at the larger of the two operand scales (codes 1056, 1057). The operand with the smaller
/// scale is multiplied up first; both steps wrap in the width (64 or 96 bits).
struct AddDecimalFunc : decimal_detail::AlignedSum<1> {
  AddDecimalFunc(int scaleA, int scaleB) : AlignedSum(scaleA, scaleB) {}
  explicit AddDecimalFunc(const ParserUtils::EvalInfo& info)
      : AlignedSum(info.argScale(0), info.argScale(1)) {}
};

/// a - b at the larger of the two operand scales (codes 1047, 1048); wraps like AddDecimalFunc.
struct SubDecimalFunc : decimal_detail::AlignedSum<-1> {
  SubDecimalFunc(int scaleA, int scaleB) : AlignedSum(scaleA, scaleB) {}
  explicit SubDecimalFunc(const ParserUtils::EvalInfo& info)
      : AlignedSum(info.argScale(0), info.argScale(1)) {}
};

/// a * b at the result scale, always a dec128 (codes 1063: dec64 operands, 1064: dec128 operands). The
/// exact product is divided by 10^(sa + sb - sr), rounding half away from zero, and saturates to the
/// 96-bit range. An exponent outside 0..18 gives the factor 1 (the product is kept at scale sa + sb).
struct MultDecimalFunc {
  std::int64_t factor = 1;

  MultDecimalFunc(int scaleA, int scaleB, int resultScale) {
    const int exponent = scaleA + scaleB - resultScale;
    factor = exponent >= 0 && exponent <= 18 ? scaleFactorForScale::factors_of_ten[exponent] : 1;
  }
  explicit MultDecimalFunc(const ParserUtils::EvalInfo& info)
      : MultDecimalFunc(info.argScale(0), info.argScale(1), info.scale()) {}

  Decimal128 operator()(Decimal64 a, Decimal64 b) const {
    if (factor == 1) {
      // The usual case (result scale = sum of the operand scales): the product of two 64-bit values is
      // exact in 128 bits, so only the saturation remains, without the rounding division.
      return Decimal128::saturate(static_cast<int128_t>(a.value) * b.value);
    }
    return product(a.toInt128(), b.toInt128());
  }
  Decimal128 operator()(Decimal128 a, Decimal128 b) const { return product(a.toInt128(), b.toInt128()); }

private:
  Decimal128 product(int128_t a, int128_t b) const {
    using namespace decimal_detail;
    return roundedQuotient((a < 0) != (b < 0), magnitude(a), magnitude(b), 1, static_cast<uint128_t>(factor));
  }
};

/// a / b at the result scale, always a dec128 (codes 1080: dec64 operands, 1081: dec128 operands). The
/// quotient is exact before rounding half away from zero, then saturates to the 96-bit range. A zero
/// divisor sets code 2 and gives 0.
struct DivDecimalFunc {
  std::int64_t factorA = 1, factorB = 1, factorResult = 1;

  DivDecimalFunc(int scaleA, int scaleB, int resultScale)
      : factorA(factorForScale(scaleA)), factorB(factorForScale(scaleB)),
        factorResult(factorForScale(resultScale)) {
    // unscaled result = a * fb * fr / (fa * b): the power of ten goes to the side where it is whole.
    const int exponent = digits(factorB) + digits(factorResult) - digits(factorA);
    if (exponent >= 0)
      dividendScale = kPowersOfTen128.values[exponent];
    else
      divisorScale = kPowersOfTen128.values[-exponent];
  }
  explicit DivDecimalFunc(const ParserUtils::EvalInfo& info)
      : DivDecimalFunc(info.argScale(0), info.argScale(1), info.scale()) {}

  Decimal128 operator()(Decimal64 a, Decimal64 b, rpn_eval_result_t& code) const {
    return divideOrFlag(a.toInt128(), b.toInt128(), code);
  }
  Decimal128 operator()(Decimal128 a, Decimal128 b, rpn_eval_result_t& code) const {
    return divideOrFlag(a.toInt128(), b.toInt128(), code);
  }

  /// The quotient for a non-zero divisor (shared with the guarded divisions).
  Decimal128 quotient(int128_t a, int128_t b) const {
    using namespace decimal_detail;
    return roundedQuotient((a < 0) != (b < 0), magnitude(a), dividendScale, magnitude(b), divisorScale);
  }

private:
  uint128_t dividendScale = 1; // 10^0 .. 10^36
  uint128_t divisorScale = 1;  // 10^0 .. 10^18

  static constexpr int digits(std::int64_t factor) {
    int n = 0;
    for (; factor >= 10; factor /= 10)
      ++n;
    return n;
  }
  Decimal128 divideOrFlag(int128_t a, int128_t b, rpn_eval_result_t& code) const {
    if (b == 0) {
      code = RPN_EVAL_DIVIDE_BY_ZERO;
      return Decimal128();
    }
    return quotient(a, b);
  }
};

/// Guarded division (codes 1146, 1147): a / b as DivDecimalFunc, or the dec128 fallback c when b is
/// zero. Never fails.
struct DivZDecimalFunc {
  DivDecimalFunc div;

  DivZDecimalFunc(int scaleA, int scaleB, int resultScale) : div(scaleA, scaleB, resultScale) {}
  explicit DivZDecimalFunc(const ParserUtils::EvalInfo& info) : div(info) {}

  Decimal128 operator()(Decimal64 a, Decimal64 b, Decimal128 c) const {
    return b.value == 0 ? c : div.quotient(a.toInt128(), b.toInt128());
  }
  Decimal128 operator()(Decimal128 a, Decimal128 b, Decimal128 c) const {
    return b.value.isZero() ? c : div.quotient(a.toInt128(), b.toInt128());
  }
};

/// Guarded division with null states (codes 1153, 1154). Takes the three values and their row states
/// and writes the result's state to `state` on every row: when b is not zero the value is a / b and
/// the state b's if set, else a's; otherwise the value is c and the state b's if set, else c's.
struct DivZNDecimalFunc {
  DivDecimalFunc div;

  DivZNDecimalFunc(int scaleA, int scaleB, int resultScale) : div(scaleA, scaleB, resultScale) {}
  explicit DivZNDecimalFunc(const ParserUtils::EvalInfo& info) : div(info) {}

  Decimal128 operator()(Decimal64 a, Decimal64 b, Decimal128 c, rpn_eval_result_t stateA,
                        rpn_eval_result_t stateB, rpn_eval_result_t stateC, rpn_eval_result_t& state) const {
    return select(a.toInt128(), b.toInt128(), c, stateA, stateB, stateC, state);
  }
  Decimal128 operator()(Decimal128 a, Decimal128 b, Decimal128 c, rpn_eval_result_t stateA,
                        rpn_eval_result_t stateB, rpn_eval_result_t stateC, rpn_eval_result_t& state) const {
    return select(a.toInt128(), b.toInt128(), c, stateA, stateB, stateC, state);
  }

private:
  Decimal128 select(int128_t a, int128_t b, Decimal128 c, rpn_eval_result_t stateA, rpn_eval_result_t stateB,
                    rpn_eval_result_t stateC, rpn_eval_result_t& state) const {
    if (b != 0) {
      state = stateB != RPN_EVAL_OK ? stateB : stateA;
      return div.quotient(a, b);
    }
    state = stateB != RPN_EVAL_OK ? stateB : stateC;
    return c;
  }
};

/// a % b at the larger operand scale (codes 1088, 1089): both operands are brought to that scale and
/// the remainder takes the sign of the dividend. The remainder is computed exactly (the scaled operands
/// may exceed the width; the remainder never does). A zero divisor gives 0 and no code.
struct ModDecimalFunc {
  DecimalScaleAlignment alignment;

  ModDecimalFunc(int scaleA, int scaleB) : alignment(scaleA, scaleB) {
    for (std::int64_t m = alignment.multiplier; m >= 10; m /= 10)
      ++multiplierDigits;
  }
  explicit ModDecimalFunc(const ParserUtils::EvalInfo& info)
      : ModDecimalFunc(info.argScale(0), info.argScale(1)) {}

  Decimal64 operator()(Decimal64 a, Decimal64 b) const {
    // 64-bit values times at most 10^18 fit 128 bits, so this is the exact remainder.
    const int128_t x = static_cast<int128_t>(a.value) * alignment.firstMultiplier();
    const int128_t y = static_cast<int128_t>(b.value) * alignment.secondMultiplier();
    return Decimal64(y == 0 ? 0 : static_cast<long>(x % y));
  }
  Decimal128 operator()(Decimal128 a, Decimal128 b) const {
    using decimal_detail::magnitude;
    const int128_t x = a.toInt128(), y = b.toInt128();
    if (y == 0)
      return Decimal128();
    const uint128_t mx = magnitude(x), my = magnitude(y);
    uint128_t r;
    if (alignment.direction > 0) {
      // The divisor is scaled up; once it passes 2^128 it exceeds any 96-bit dividend.
      uint128_t scaled;
      r = __builtin_mul_overflow(my, static_cast<uint128_t>(alignment.multiplier), &scaled) ? mx
                                                                                            : mx % scaled;
    } else {
      // (x * 10^k) mod y in steps of at most 10^9, so that each product stays below 2^95 * 10^9 < 2^128.
      r = mx % my;
      for (int left = alignment.direction < 0 ? multiplierDigits : 0; left > 0; left -= 9) {
        const int step = left < 9 ? left : 9;
        r = r * kPowersOfTen128.values[step] % my;
      }
    }
    return Decimal128::fromWrapped(x < 0 ? uint128_t(0) - r : r);
  }

private:
  int multiplierDigits = 0;
};

/// Rounds to `digits` places after the point, half away from zero, keeping the operand's scale
/// (codes 1362, 1363; `Truncate` = true gives TruncateDecimalFunc, codes 1371, 1372). With the
/// operand's scale S and precision P: digits >= S leaves the value; digits <= S - P gives 0 (a
/// precision of 0, undeclared, skips that rule); a negative `digits` rounds left of the point. The
/// result wraps in the width when rounding up passes its top.
template <bool Truncate>
struct RoundingDecimalFunc {
  int scale = 0;
  int precision = 0;

  RoundingDecimalFunc(int operandScale, int operandPrecision)
      : scale(operandScale), precision(operandPrecision) {}
  explicit RoundingDecimalFunc(const ParserUtils::EvalInfo& info)
      : RoundingDecimalFunc(info.argScale(0), static_cast<std::uint8_t>(info.argPrecision(0))) {}

  Decimal64 operator()(Decimal64 v, int digits) const { return apply(v, digits); }
  Decimal128 operator()(Decimal128 v, int digits) const { return apply(v, digits); }

private:
  template <class T>
  ExactNumericType<T> apply(ExactNumericType<T> v, int digits) const {
    if (digits >= scale)
      return v;
    if (precision != 0 && digits <= scale - precision)
      return ExactNumericType<T>();
    // e >= 1 places are cleared. The table ends at 10^38; any larger e clears a 96-bit value anyway.
    const long e = static_cast<long>(scale) - digits;
    if (e > 39)
      return ExactNumericType<T>();
    const int128_t x = v.toInt128();
    int128_t kept;
    if constexpr (Truncate) {
      if (e > 38)
        return ExactNumericType<T>();
      kept = x / static_cast<int128_t>(kPowersOfTen128.values[e]);
    } else {
      kept = x / static_cast<int128_t>(kPowersOfTen128.values[e - 1]);
      kept = (kept + (kept < 0 ? -5 : 5)) / 10;
    }
    if (kept == 0)
      return ExactNumericType<T>();
    // A non-zero `kept` means |x| >= 5 * 10^(e-1) (10^e when truncating), so e <= 28 here.
    return ExactNumericType<T>::fromWrapped(static_cast<uint128_t>(kept) * kPowersOfTen128.values[e]);
  }
};
using RoundDecimalFunc = RoundingDecimalFunc<false>;
using TruncateDecimalFunc = RoundingDecimalFunc<true>;

/// The smallest integral value not below the operand, at the operand's scale (codes 1342, 1343);
/// saturates at the top of the width.
struct CeilDecimalFunc {
  std::int64_t factor = 1;

  explicit CeilDecimalFunc(int operandScale) : factor(factorForScale(operandScale)) {}
  explicit CeilDecimalFunc(const ParserUtils::EvalInfo& info) : CeilDecimalFunc(info.argScale(0)) {}

  Decimal64 operator()(Decimal64 v) const { return v.ceil(factor); }
  Decimal128 operator()(Decimal128 v) const { return v.ceil(factor); }
};

/// The largest integral value not above the operand, at the operand's scale (codes 1351, 1352);
/// saturates at the bottom of the width.
struct FloorDecimalFunc {
  std::int64_t factor = 1;

  explicit FloorDecimalFunc(int operandScale) : factor(factorForScale(operandScale)) {}
  explicit FloorDecimalFunc(const ParserUtils::EvalInfo& info) : FloorDecimalFunc(info.argScale(0)) {}

  Decimal64 operator()(Decimal64 v) const { return v.floor(factor); }
  Decimal128 operator()(Decimal128 v) const { return v.floor(factor); }
};

/// -v, wrapping: the minimum of the width stays the minimum (codes 835, 836).
struct NegDecimalFunc {
  NegDecimalFunc() = default;
  explicit NegDecimalFunc(const ParserUtils::EvalInfo&) {}

  Decimal64 operator()(Decimal64 v) const {
    return Decimal64(static_cast<long>(std::uint64_t(0) - static_cast<std::uint64_t>(v.value)));
  }
  Decimal128 operator()(Decimal128 v) const {
    return Decimal128::fromWrapped(uint128_t(0) - static_cast<uint128_t>(v.toInt128()));
  }
};

/// |v|, wrapping: the minimum of the width stays the minimum (codes 842, 843).
struct AbsDecimalFunc {
  AbsDecimalFunc() = default;
  explicit AbsDecimalFunc(const ParserUtils::EvalInfo&) {}

  Decimal64 operator()(Decimal64 v) const { return v.value < 0 ? NegDecimalFunc()(v) : v; }
  Decimal128 operator()(Decimal128 v) const { return v.value.isNegative() ? NegDecimalFunc()(v) : v; }
};

/// -1, 0 or 1 as an i8 (codes 1139, 1140).
struct SignDecimalFunc {
  SignDecimalFunc() = default;
  explicit SignDecimalFunc(const ParserUtils::EvalInfo&) {}

  std::int8_t operator()(Decimal64 v) const {
    return static_cast<std::int8_t>((v.value > 0) - (v.value < 0));
  }
  std::int8_t operator()(Decimal128 v) const {
    return static_cast<std::int8_t>(v.value.isNegative() ? -1 : v.value.isZero() ? 0 : 1);
  }
};

/// A dec128 times an integer, either order, keeping the decimal's scale (codes 1066, 1068, 1070,
/// 1072). Like the decimal product it saturates to the 96-bit range.
struct MultDecimalIntFunc {
  MultDecimalIntFunc() = default;
  explicit MultDecimalIntFunc(const ParserUtils::EvalInfo&) {}

  Decimal128 operator()(Decimal128 a, int b) const { return product(a.toInt128(), b); }
  Decimal128 operator()(Decimal128 a, long b) const { return product(a.toInt128(), b); }
  Decimal128 operator()(int a, Decimal128 b) const { return product(b.toInt128(), a); }
  Decimal128 operator()(long a, Decimal128 b) const { return product(b.toInt128(), a); }

private:
  static Decimal128 product(int128_t a, long b) {
    int128_t p;
    if (__builtin_mul_overflow(a, static_cast<int128_t>(b), &p))
      p = (a < 0) != (b < 0) ? Int96::kMin : Int96::kMax;
    return Decimal128::saturate(p);
  }
};

} // namespace vela::cuda
