// Decimal row kernels: hand-computed table cases, and a property test against an independent 128-bit
// integer model over random values and scales 0..18, both widths.
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "functions/scalar/DecimalFunctors.h"

using namespace vela::cuda;
using vela::int128_t;
using vela::Int96;
using vela::uint128_t;

namespace {

constexpr int128_t kMax96 = (static_cast<int128_t>(1) << 95) - 1;
constexpr int128_t kMin96 = -kMax96 - 1;

Decimal128 d128(int128_t v) {
  return Decimal128(Int96::fromInt128(v));
}
Decimal64 d64(int128_t v) {
  return Decimal64(static_cast<long>(v));
}
int128_t pow10i(int e) {
  int128_t r = 1;
  while (e-- > 0)
    r *= 10;
  return r;
}
std::string str(int128_t v) {
  return vela::decimal_as_string(v, 0);
}

} // namespace

// Add, subtract, multiply, divide and rescale over scales 0..18 are checked against the model below;
// here what it does not reach: scales read from an EvalInfo, scales above 18 (factor 1), and the
// division's code, written only for a failing row.
TEST(DecimalFunctors, ScalesFromEvalInfoAboveEighteenAndTheDivisionCode) {
  vela::ParserUtils::EvalInfo info;
  info.setArg(0, 10, 1).setArg(1, 10, 2);
  EXPECT_EQ(AddDecimalFunc(info)(d64(15), d64(225)).value, 375);
  EXPECT_EQ(AddDecimalFunc(20, 2)(d64(5), d64(7)).value, 507);
  EXPECT_EQ(SubDecimalFunc(20, 25)(d64(5), d64(7)).value, -2);
  rpn_eval_result_t code = static_cast<rpn_eval_result_t>(1);
  DivDecimalFunc(0, 0, 0)(d64(7), d64(2), code);
  EXPECT_EQ(code, 1);
  DivDecimalFunc(0, 0, 0)(d64(7), d64(0), code);
  EXPECT_EQ(code, RPN_EVAL_DIVIDE_BY_ZERO);
  code = RPN_EVAL_OK;
  DivDecimalFunc(0, 0, 0)(d128(7), d128(0), code);
  EXPECT_EQ(code, RPN_EVAL_DIVIDE_BY_ZERO);
}

TEST(DecimalFunctors, GuardedDivisionsUseTheFallbackAndStates) {
  const DivZDecimalFunc divz(0, 0, 2);
  EXPECT_EQ(str(divz(d64(1), d64(4), d128(99)).toInt128()), "25");
  EXPECT_EQ(str(divz(d64(1), d64(0), d128(99)).toInt128()), "99");
  EXPECT_EQ(str(divz(d128(1), d128(0), d128(-99)).toInt128()), "-99");

  const DivZNDecimalFunc divzn(0, 0, 2);
  // b non-zero: state of b if set, else of a; b zero: c with the state of b if set, else of c.
  const std::vector<std::tuple<long, int, int, int, int128_t, int>> cases = {
      {4, 0, 0, 1, 25, 0}, {4, 16, 1, 0, 25, 1}, {0, 1, 0, 0, 99, 0},
      {0, 0, 0, 1, 99, 1}, {0, 0, 1, 0, 99, 1},
  };
  for (const auto& [b, sa, sb, sc, value, state] : cases) {
    rpn_eval_result_t out = static_cast<rpn_eval_result_t>(7);
    const auto r = divzn(d64(1), d64(b), d128(99), static_cast<rpn_eval_result_t>(sa),
                         static_cast<rpn_eval_result_t>(sb), static_cast<rpn_eval_result_t>(sc), out);
    EXPECT_EQ(str(r.toInt128()), str(value)) << b << sa << sb << sc;
    EXPECT_EQ(out, state) << b << sa << sb << sc;
  }
}

TEST(DecimalFunctors, ModuloAtTheCommonScale) {
  // scale a, scale b, a, b, remainder
  // clang-format off
  const std::vector<std::tuple<int, int, int128_t, int128_t, int128_t>> cases = {
      {1, 0, -75, 2, -15}, {0, 1, 7, 15, 10}, {0, 0, 7, 0, 0}, {0, 0, INT64_MIN, -1, 0},
      {0, 18, -INT64_MAX, 11, -7},
      {0, 18, -kMax96, int128_t(1) << 94, -(int128_t(19807040627566084LL) * 1000000000000 + 398385987584)},
      {18, 0, -12345, int128_t(1) << 94, -12345},
  };
  // clang-format on
  for (const auto& [sa, sb, a, b, expected] : cases) {
    SCOPED_TRACE(str(a) + " % " + str(b));
    EXPECT_EQ(str(ModDecimalFunc(sa, sb)(d128(a), d128(b)).toInt128()), str(expected));
    if (a >= INT64_MIN && a <= INT64_MAX && b >= INT64_MIN && b <= INT64_MAX) {
      EXPECT_EQ(str(ModDecimalFunc(sa, sb)(d64(a), d64(b)).value), str(expected));
    }
  }
}

TEST(DecimalFunctors, RoundAndTruncateToDigits) {
  // scale, precision, value, digits, rounded, truncated
  // clang-format off
  const std::vector<std::tuple<int, int, int128_t, int, int128_t, int128_t>> cases = {
      {2, 10, -12355, 0, -12400, -12300}, {2, 10, -125, 1, -130, -120}, {2, 10, 15000, -2, 20000, 10000},
      {2, 10, 99999, -2, 100000, 90000}, {2, 10, 12345, 7, 12345, 12345}, {2, 10, 12345, -8, 0, 0},
      {2, 10, 12345, INT32_MIN, 0, 0}, {0, 0, INT64_MAX, -18, 9000000000000000000, 9000000000000000000},
      {25, 28, -kMax96, 0, -3961 * pow10i(25), -3961 * pow10i(25)},
      // rounding away from zero past the bottom of the width wraps (2^96 - 396141 * 10^23)
      {25, 28, -kMax96, 2, int128_t(39614062514264LL) * pow10i(15) + 337593543950336LL, -396140 * pow10i(23)},
  };
  // clang-format on
  for (const auto& [scale, precision, v, digits, rounded, truncated] : cases) {
    SCOPED_TRACE(str(v) + " to " + std::to_string(digits));
    EXPECT_EQ(str(RoundDecimalFunc(scale, precision)(d128(v), digits).toInt128()), str(rounded));
    EXPECT_EQ(str(TruncateDecimalFunc(scale, precision)(d128(v), digits).toInt128()), str(truncated));
    if (v >= INT64_MIN && v <= INT64_MAX) {
      EXPECT_EQ(str(RoundDecimalFunc(scale, precision)(d64(v), digits).value), str(rounded));
      EXPECT_EQ(str(TruncateDecimalFunc(scale, precision)(d64(v), digits).value), str(truncated));
    }
  }
  vela::ParserUtils::EvalInfo info;
  info.setArg(0, 10, 2);
  EXPECT_EQ(RoundDecimalFunc(info)(d64(12345), -8).value, 0);
  EXPECT_EQ(RoundDecimalFunc(info)(d64(12345), 1).value, 12350);
}

TEST(DecimalFunctors, CeilAndFloorAtTheEndsOfEachWidth) {
  // scale, value, ceil, floor
  // clang-format off
  const std::vector<std::tuple<int, int128_t, int128_t, int128_t>> cases = {
      {2, -101, -100, -200}, {2, 300, 300, 300}, {20, 7, 7, 7},
      {2, INT64_MAX, INT64_MAX, 9223372036854775800}, {2, INT64_MIN, -9223372036854775800, INT64_MIN},
  };
  // clang-format on
  for (const auto& [scale, v, c, f] : cases) {
    EXPECT_EQ(CeilDecimalFunc(scale)(d64(v)).value, static_cast<long>(c)) << str(v);
    EXPECT_EQ(FloorDecimalFunc(scale)(d64(v)).value, static_cast<long>(f)) << str(v);
    EXPECT_TRUE(CeilDecimalFunc(scale)(d128(v)).toInt128() ==
                (v == INT64_MAX && scale == 2 ? INT64_MAX + int128_t(93) : c));
    EXPECT_TRUE(FloorDecimalFunc(scale)(d128(v)).toInt128() ==
                (v == INT64_MIN && scale == 2 ? INT64_MIN - int128_t(92) : f));
  }
  EXPECT_TRUE(CeilDecimalFunc(1)(d128(kMax96)).toInt128() == kMax96);
  EXPECT_TRUE(FloorDecimalFunc(1)(d128(kMin96)).toInt128() == kMin96);
}

// ---- Property test against an independent model ------------------------------------------------

namespace {

__extension__ typedef __float128 quad;

struct Model {
  bool wide;

  int128_t top() const { return wide ? kMax96 : INT64_MAX; }
  int128_t bottom() const { return wide ? kMin96 : INT64_MIN; }
  static int128_t pow10(int e) { return pow10i(e); }
  // Two's-complement wrap of any value known modulo 2^128.
  int128_t wrap(uint128_t bits) const {
    const int width = wide ? 96 : 64;
    const uint128_t mask = (uint128_t(1) << width) - 1, sign = uint128_t(1) << (width - 1);
    bits &= mask;
    return (bits & sign) ? -static_cast<int128_t>(((~bits) & mask) + 1) : static_cast<int128_t>(bits);
  }
  int128_t random(std::mt19937_64& rng) const {
    switch (rng() % 10) {
    case 0:
      return top();
    case 1:
      return bottom();
    case 2:
      return static_cast<int128_t>(rng() % 5) - 2;
    default: {
      const int bits = static_cast<int>(rng() % (wide ? 96 : 64));
      if (bits == 0)
        return 0;
      const uint128_t r = (static_cast<uint128_t>(rng()) << 64) | rng();
      const auto magnitude = static_cast<int128_t>(r >> (128 - bits)); // below 2^(width - 1)
      return (rng() & 1) ? -magnitude : magnitude;
    }
    }
  }
  int128_t saturate(int128_t v) const { return v > kMax96 ? kMax96 : v < kMin96 ? kMin96 : v; }
};

int128_t abs128(int128_t v) {
  return v < 0 ? -v : v;
}

// round_half_away(n / d) saturated to 96 bits, when the model's 128-bit arithmetic holds it; else
// false.
bool exactQuotient(int128_t n, int128_t d, int128_t& out) {
  const int128_t magN = abs128(n), magD = abs128(d);
  int128_t sum;
  if (__builtin_add_overflow(magN, magD / 2, &sum))
    return false;
  const int128_t q = sum / magD;
  out = ((n < 0) != (d < 0)) ? (q > kMax96 + 1 ? kMin96 : -q) : (q > kMax96 ? kMax96 : q);
  return true;
}

// For quotients beyond the model's 128 bits: `got` must be the saturation value when the quotient
// clearly passes the 96-bit range, and otherwise agree with a quad-precision estimate (error far
// below 1) and leave the exact residue nMod - |got| * |d| (computed modulo 2^128, |d| < 2^96) inside
// the half-open rounding window [-|d|/2, |d| - |d|/2).
::testing::AssertionResult wideQuotientMatches(int128_t got, bool negative, quad estimate, uint128_t nMod,
                                               int128_t magD) {
  const quad limit = static_cast<quad>(static_cast<uint128_t>(1) << 95);
  if (estimate >= limit + 1)
    return got == (negative ? kMin96 : kMax96) ? ::testing::AssertionSuccess()
                                               : ::testing::AssertionFailure() << "expected saturation";
  if (estimate >= limit - 1)
    return ::testing::AssertionSuccess(); // at the boundary the estimate cannot decide
  const int128_t magnitude = negative ? -got : got;
  const quad diff = static_cast<quad>(magnitude) - estimate;
  if (diff > 1 || diff < -1)
    return ::testing::AssertionFailure() << "far from the estimate";
  const auto residue =
      static_cast<int128_t>(nMod - static_cast<uint128_t>(magnitude) * static_cast<uint128_t>(magD));
  if (residue < -(magD / 2) || residue >= magD - magD / 2)
    return ::testing::AssertionFailure() << "residue outside the rounding window";
  return ::testing::AssertionSuccess();
}

template <class D>
D make(int128_t v) {
  if constexpr (std::is_same_v<D, Decimal64>)
    return d64(v);
  else
    return d128(v);
}

template <class D>
void runProperty(bool wide, int cases) {
  std::mt19937_64 rng(wide ? 9601 : 6401);
  const Model m{wide};
  int saturated = 0, beyond128 = 0;
  for (int i = 0; i < cases; ++i) {
    const int sa = static_cast<int>(rng() % 19), sb = static_cast<int>(rng() % 19),
              sr = static_cast<int>(rng() % 19);
    const int128_t a = m.random(rng), b = m.random(rng);
    const std::string trace = str(a) + " (scale " + std::to_string(sa) + "), " + str(b) + " (scale " +
                              std::to_string(sb) + "), result scale " + std::to_string(sr);
    SCOPED_TRACE(trace);

    // add and subtract: wrap in the width at the larger scale
    const int128_t fa = Model::pow10(sa), fb = Model::pow10(sb);
    const uint128_t x = static_cast<uint128_t>(a) * static_cast<uint128_t>(fb > fa ? fb / fa : 1);
    const uint128_t y = static_cast<uint128_t>(b) * static_cast<uint128_t>(fa > fb ? fa / fb : 1);
    ASSERT_EQ(str(AddDecimalFunc(sa, sb)(make<D>(a), make<D>(b)).toInt128()), str(m.wrap(x + y)));
    ASSERT_EQ(str(SubDecimalFunc(sa, sb)(make<D>(a), make<D>(b)).toInt128()), str(m.wrap(x - y)));

    // rescale: multiply wraps, divide rounds half away from zero
    {
      const int128_t to = vela::DecimalRescale(sa, sr)(make<D>(a)).toInt128();
      int128_t expected;
      if (sr >= sa)
        expected = m.wrap(static_cast<uint128_t>(a) * static_cast<uint128_t>(Model::pow10(sr - sa)));
      else
        exactQuotient(a, Model::pow10(sa - sr), expected);
      ASSERT_EQ(str(to), str(expected));
    }

    // multiply: exact product / 10^(sa + sb - sr) (factor 1 outside 0..18), saturated
    {
      const int e = sa + sb - sr;
      const int128_t f = e >= 0 && e <= 18 ? Model::pow10(e) : 1;
      const int128_t got = MultDecimalFunc(sa, sb, sr)(make<D>(a), make<D>(b)).toInt128();
      int128_t p, expected;
      if (!__builtin_mul_overflow(a, b, &p) && exactQuotient(p, f, expected)) {
        ASSERT_EQ(str(got), str(expected));
      } else {
        ++beyond128;
        const bool negative = (a < 0) != (b < 0);
        const quad estimate =
            static_cast<quad>(abs128(a)) * static_cast<quad>(abs128(b)) / static_cast<quad>(f);
        ASSERT_TRUE(wideQuotientMatches(got, negative, estimate,
                                        static_cast<uint128_t>(abs128(a)) * static_cast<uint128_t>(abs128(b)),
                                        f));
      }
      saturated += got == kMax96 || got == kMin96;
    }

    // divide: a * 10^(sb + sr - sa) / b, rounded, saturated; zero divisor is code 2
    {
      rpn_eval_result_t code = RPN_EVAL_OK;
      const int128_t got = DivDecimalFunc(sa, sb, sr)(make<D>(a), make<D>(b), code).toInt128();
      if (b == 0) {
        ASSERT_EQ(code, RPN_EVAL_DIVIDE_BY_ZERO);
        continue;
      }
      ASSERT_EQ(code, RPN_EVAL_OK);
      const int e = sb + sr - sa;
      int128_t n = a, d = b, expected;
      const bool nFits = e <= 0 || !__builtin_mul_overflow(a, Model::pow10(e), &n);
      const bool dFits = e >= 0 || !__builtin_mul_overflow(b, Model::pow10(-e), &d);
      if (nFits && dFits && exactQuotient(n, d, expected)) {
        ASSERT_EQ(str(got), str(expected));
      } else if (!dFits) {
        ASSERT_EQ(str(got), "0"); // a divisor past 2^127 dwarfs any 96-bit dividend
      } else {
        ++beyond128;
        const bool negative = (a < 0) != (b < 0);
        const quad estimate =
            static_cast<quad>(abs128(a)) * static_cast<quad>(Model::pow10(e)) / static_cast<quad>(abs128(b));
        ASSERT_TRUE(wideQuotientMatches(
            got, negative, estimate,
            static_cast<uint128_t>(abs128(a)) * static_cast<uint128_t>(Model::pow10(e)), abs128(b)));
      }
      saturated += got == kMax96 || got == kMin96;
    }
  }
  // The generator must reach saturation, and for 96 bits the products and quotients past 128 bits.
  EXPECT_GT(saturated, cases / 50);
  if (wide) {
    EXPECT_GT(beyond128, cases / 20);
  }
}

} // namespace

TEST(DecimalFunctorsProperty, Dec64AgainstTheModel) {
  runProperty<Decimal64>(false, 40000);
}

TEST(DecimalFunctorsProperty, Dec128AgainstTheModel) {
  runProperty<Decimal128>(true, 40000);
}
