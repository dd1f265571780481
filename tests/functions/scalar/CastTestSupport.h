#pragma once
// Shared pieces of the number cast tests: independent models of the conversions (two's-complement wrap
// as reduction modulo 2^bits, float rounding in long double, decimal rescaling with the remainder
// compared against half the divisor) and a runner that evaluates a cast, on the stack or fused with a
// column load, over one column through both evaluators.
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "tests/functions/scalar/FamilyTestSupport.h"

namespace quarry::test::cast_test {

using vela::int128_t;
using vela::uint128_t;
using U32 = std::uint32_t;
using U64 = unsigned long;
using U128 = fixed_array_t<16>;

inline constexpr long kI64Min = std::numeric_limits<long>::min();

/// v reduced modulo 2^bits of T into T's range.
template <class T>
T wrapModel(int128_t v) {
  constexpr int kBits = 8 * sizeof(T);
  const uint128_t modulus = uint128_t(1) << kBits;
  const uint128_t r = static_cast<uint128_t>(v) % modulus;
  if (std::is_signed_v<T> && r >= modulus / 2)
    return static_cast<T>(static_cast<int128_t>(r) - static_cast<int128_t>(modulus));
  return static_cast<T>(r);
}

/// Float to the 64-bit integer: half away from zero (exact in long double for any double), the minimum
/// for NaN and for results outside [-2^63, 2^63).
inline long floatToI64Model(long double x) {
  if (std::isnan(x))
    return kI64Min;
  const long double a = std::fabs(x);
  long double whole = std::floor(a);
  if (a - whole >= 0.5L)
    whole += 1;
  if (x < 0)
    whole = -whole;
  if (whole < -0x1p63L || whole >= 0x1p63L)
    return kI64Min;
  return static_cast<long>(whole);
}

/// 10^k by repeated multiplication (k <= 38).
inline int128_t pow10Model(int k) {
  int128_t p = 1;
  for (int i = 0; i < k; ++i)
    p *= 10;
  return p;
}

/// v / d rounded half away from zero: the remainder's magnitude twice is compared with the divisor.
inline int128_t divideModel(int128_t v, int128_t d) {
  int128_t q = v / d;
  const int128_t r = v % d;
  const int128_t twice = r < 0 ? -2 * r : 2 * r;
  if (twice >= d)
    q += v < 0 ? -1 : 1;
  return q;
}

/// Decimal digits of |v| (0 has none).
inline int digitsModel(int128_t v) {
  uint128_t m = v < 0 ? uint128_t(0) - static_cast<uint128_t>(v) : static_cast<uint128_t>(v);
  int n = 0;
  for (; m != 0; m /= 10)
    ++n;
  return n;
}

/// Plain column load of a storage type.
template <class T>
constexpr TypedRpnOp loadOf() {
  if constexpr (std::is_same_v<T, U32>)
    return kLoadU32;
  else if constexpr (std::is_same_v<T, U128>)
    return kLoadU128;
  else
    return Storage<T>::load;
}

/// Evaluates cast `code` over `values`: fused (the code reads column 0 itself) or on the stack after a
/// plain load; `info` goes to the casting element. Checks the rows against `expected` and `states`.
template <class Out, class In>
void expectCast(TypedRpnOp code, bool fused, const std::vector<In>& values, const std::vector<Out>& expected,
                const EvalInfo& info = {}, const std::vector<std::uint8_t>& states = {}) {
  SCOPED_TRACE(testing::Message() << vela::ParserUtils::get_trpn_op_name(code));
  Program p;
  if (fused)
    p.column(code, 0).info(info);
  else
    p.column(loadOf<In>(), 0).op(code, info);
  std::uint8_t worst = 0;
  for (std::uint8_t s : states)
    worst = s > worst ? s : worst;
  HarnessCase(p).addColumn(values).expectRows(expected, states, static_cast<rpn_eval_result_t>(worst));
}

/// Integer values around every width's boundaries, as T.
template <class T>
std::vector<T> boundaryValues() {
  const int128_t lmax = std::numeric_limits<long>::max(), lmin = std::numeric_limits<long>::min(),
                 umax = std::numeric_limits<U64>::max();
  std::vector<int128_t> points = {0, 1, -1, 2, 127, 128, -128, -129, 255, 256, 32767, 32768, -32768};
  points.insert(points.end(), {-32769, 65535, 65536, 2147483647, 2147483648LL, -2147483648LL, -2147483649LL,
                               4294967295LL, 4294967296LL, 1234567890123LL, lmax, lmin, umax});
  std::vector<T> out;
  for (int128_t v : points)
    out.push_back(wrapModel<T>(v));
  return out;
}

} // namespace quarry::test::cast_test
