// Casts from and to the exact decimals: the rescaling of every scale pair 0..18 and the decimal to
// integer rounding of every scale against the 128-bit models of CastTestSupport.h (on the row kernels,
// and for dec128 to dec64 through both evaluators), then each op's wiring (scales from the EvalInfo,
// fused loads, row states), the float formula and the casts with run-time precision and scale.
#include <array>
#include <random>

#include "functions/scalar/CastFunctors.h"
#include "functions/scalar/CastRegistration.h"
#include "tests/functions/scalar/CastTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::cast_test;

namespace {

using I8 = std::int8_t;
using I16 = std::int16_t;
using vela::cuda::CastDecimalToDecimalFunc;
using vela::cuda::CastDecimalToNumFunc;
using vela::cuda::CastNumToDecimalFunc;

constexpr long kI64Max = std::numeric_limits<long>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int128_t kMax96v = (int128_t(1) << 95) - 1, kMin96v = -(int128_t(1) << 95);

int128_t wrap96(int128_t v) {
  const uint128_t r = static_cast<uint128_t>(v) % (uint128_t(1) << 96);
  return r >= (uint128_t(1) << 95) ? static_cast<int128_t>(r) - (int128_t(1) << 96)
                                   : static_cast<int128_t>(r);
}

// v moved from scale `from` to scale `to`; `overflow` when the product leaves 128 bits.
int128_t rescaleModel(int128_t v, int from, int to, bool& overflow) {
  if (to < from) {
    overflow = false;
    return divideModel(v, pow10Model(from - to));
  }
  const int128_t m = pow10Model(to - from), limit = std::numeric_limits<int128_t>::max() / m;
  overflow = v > limit || v < -limit;
  return overflow ? 0 : v * m;
}

// Unscaled values around every power of ten and its half, and the extremes of each width.
std::vector<int128_t> decimalSamples(bool wide) {
  std::vector<int128_t> v = {0, 1, -1, 4, 5, -5, 6, 49, 50, -50, 51, kI64Max, -kI64Max - 1};
  for (int k = 1; k <= (wide ? 28 : 18); ++k)
    for (int128_t d : {pow10Model(k) - 1, pow10Model(k), 5 * pow10Model(k - 1), 5 * pow10Model(k - 1) - 1})
      if (d <= (wide ? kMax96v : kI64Max)) {
        v.push_back(d);
        v.push_back(-d);
      }
  if (wide) {
    v.push_back(kMax96v);
    v.push_back(kMin96v);
  }
  std::mt19937_64 gen(3);
  for (int i = 0; i < 40; ++i)
    v.push_back(wide ? wrap96((int128_t(static_cast<long>(gen())) << 32) ^ gen()) : static_cast<long>(gen()));
  return v;
}

TEST(CastDecimalKernels, RescaleEveryScalePairAgainstTheModel) {
  for (int from = 0; from <= 18; ++from)
    for (int to = 0; to <= 18; ++to) {
      SCOPED_TRACE(testing::Message() << "scale " << from << " to " << to);
      for (int precision : {18, 9, 1}) {
        const CastDecimalToDecimalFunc f(from, to, precision);
        bool overflow;
        for (int128_t v : decimalSamples(false)) {
          const int128_t want = rescaleModel(v, from, to, overflow);
          ASSERT_EQ(f(d64(static_cast<long>(v))).toInt128(), wrap96(want)) << static_cast<long>(v);
        }
        for (int128_t v : decimalSamples(true)) {
          const int128_t want = rescaleModel(v, from, to, overflow);
          rpn_eval_result_t code = vela::cuda::RPN_EVAL_OK;
          const Dec64 got = f(d128(v), code);
          ASSERT_EQ(code, overflow || digitsModel(want) > precision ? 15 : 0) << static_cast<double>(v);
          if (!overflow) { // a failing row keeps the low 64 bits
            ASSERT_EQ(got.value, wrapModel<long>(want)) << static_cast<double>(v);
          }
        }
      }
    }
}

TEST(CastDecimalKernels, DecimalToIntegerRoundsHalfAwayAtEveryScale) {
  for (int s = 0; s <= 18; ++s) {
    SCOPED_TRACE(testing::Message() << "scale " << s);
    for (int128_t v : decimalSamples(true)) {
      const int128_t q = divideModel(v, pow10Model(s));
      ASSERT_EQ(CastDecimalToNumFunc<long>(s)(d128(v)), wrapModel<long>(q));
      ASSERT_EQ(CastDecimalToNumFunc<I8>(s)(d128(v)), wrapModel<I8>(q));
      if (v >= -kI64Max - 1 && v <= kI64Max) {
        ASSERT_EQ(CastDecimalToNumFunc<int>(s)(d64(static_cast<long>(v))), wrapModel<int>(q));
        ASSERT_EQ(CastDecimalToNumFunc<U64>(s)(d64(static_cast<long>(v))), wrapModel<U64>(q));
      }
    }
  }
}

TEST(CastDecimalKernels, IntegerToDecimalWrapsAtEveryScale) {
  for (int s = 0; s <= 18; ++s)
    for (int128_t v : boundaryValues<long>()) {
      const long x = static_cast<long>(v);
      ASSERT_EQ(CastNumToDecimalFunc<Dec64>(18, s)(x).value, wrapModel<long>(v * pow10Model(s))) << s;
      ASSERT_EQ(CastNumToDecimalFunc<Dec128>(28, s)(x).toInt128(), wrap96(v * pow10Model(s))) << s;
      const U64 u = static_cast<U64>(x);
      ASSERT_EQ(CastNumToDecimalFunc<Dec128>(28, s)(u).toInt128(), wrap96(int128_t(u) * pow10Model(s))) << s;
    }
}

TEST(CastDecimal, Dec128ToDec64AtEveryScalePairThroughBothEvaluators) {
  std::vector<Dec128> values;
  for (int128_t v : {int128_t(0), int128_t(149), int128_t(-150), int128_t(123456789012345678),
                     int128_t(-999999999999999999), pow10Model(18), int128_t(kI64Max), kMax96v, kMin96v})
    values.push_back(d128(v));
  for (int from = 0; from <= 18; ++from)
    for (int to = 0; to <= 18; ++to) {
      std::vector<Dec64> expected;
      std::vector<std::uint8_t> states;
      for (const Dec128& d : values) {
        bool overflow;
        const int128_t want = rescaleModel(d.toInt128(), from, to, overflow);
        expected.push_back(d64(wrapModel<long>(want)));
        states.push_back(overflow || digitsModel(want) > 18 ? 15 : 0);
      }
      EvalInfo info = scales(to, {from});
      info.setResult(18, to);
      expectCast<Dec64, Dec128>((from + to) % 2 ? 386 : 176, (from + to) % 2 == 0, values, expected, info,
                                states);
    }
}

TEST(CastDecimal, ToIntegersAndFloatsReadTheSourceScale) {
  // 1.25 -> 1, 1.50 -> 2, -1.50 -> -2, 300.00 -> 300 (44 in an i8).
  const std::vector<Dec64> v64 = {d64(125), d64(150), d64(-150), d64(30000)};
  const std::vector<Dec128> v128 = {d128(125), d128(150), d128(-150), d128(30000)};
  for (bool fused : {false, true}) {
    expectCast<I8, Dec64>(fused ? 122 : 327, fused, v64, {1, 2, -2, 44}, scales(0, {2}));
    expectCast<I8, Dec128>(fused ? 123 : 328, fused, v128, {1, 2, -2, 44}, scales(0, {2}));
    expectCast<I16, Dec64>(fused ? 132 : 335, fused, v64, {1, 2, -2, 300}, scales(0, {2}));
    expectCast<I16, Dec128>(fused ? 133 : 336, fused, v128, {1, 2, -2, 300}, scales(0, {2}));
    expectCast<int, Dec64>(fused ? 142 : 344, fused, v64, {1, 2, -2, 300}, scales(0, {2}));
    expectCast<int, Dec128>(fused ? 143 : 345, fused, v128, {1, 2, -2, 300}, scales(0, {2}));
    expectCast<long, Dec64>(fused ? 155 : 364, fused, v64, {1, 2, -2, 300}, scales(0, {2}));
    expectCast<long, Dec128>(fused ? 156 : 365, fused, v128, {1, 2, -2, 300}, scales(0, {2}));
    expectCast<U64, Dec64>(fused ? 165 : 375, fused, v64, {1, 2, ~1UL, 300}, scales(0, {2}));
    expectCast<U64, Dec128>(fused ? 166 : 376, fused, v128, {1, 2, ~1UL, 300}, scales(0, {2}));
    // unscaled / 10^scale in double (f32: narrowed after the division).
    expectCast<double, Dec64>(fused ? 205 : 430, fused, {d64(-1), d64(kI64Max)},
                              {-1e-18, 9.223372036854775807}, scales(0, {18}));
    expectCast<double, Dec128>(fused ? 206 : 431, fused, {d128(125), kMax96},
                               {125.0, 39614081257132168796771975168.0}, scales(0, {0}));
    expectCast<double, Dec128>(fused ? 206 : 431, fused, {d128(125)}, {0.125}, scales(0, {3}));
    expectCast<float, Dec64>(fused ? 195 : 422, fused, {d64(1), d64(-250)}, {0.1f, -25.0f}, scales(0, {1}));
    expectCast<float, Dec128>(fused ? 196 : 423, fused, {d128(1), kMin96},
                              {0.01f, static_cast<float>(-0x1p95 / 100.0)}, scales(0, {2}));
  }
  // A scale outside 0..18 counts as no scaling.
  expectCast<int, Dec64>(344, false, {d64(125)}, {125}, scales(0, {19}));
}

TEST(CastDecimal, FromIntegersMultiplyAndWrap) {
  // The target scale is the element's result scale; the i64 and u64 forms push a state, always 0.
  EvalInfo s2;
  s2.setResult(18, 2);
  for (bool fused : {false, true}) {
    expectCast<Dec64, I8>(fused ? 170 : 381, fused, {-128, 5}, {d64(-12800), d64(500)}, s2);
    expectCast<Dec64, I16>(fused ? 171 : 382, fused, {-32768}, {d64(-3276800)}, s2);
    expectCast<Dec64, int>(fused ? 172 : 383, fused, {7}, {d64(700)}, s2);
    expectCast<Dec64, long>(fused ? 173 : 384, fused, {kI64Max, 3}, {d64(-100), d64(300)}, s2, {0, 0});
    expectCast<Dec64, U64>(fused ? 174 : 385, fused, {~0UL}, {d64(-100)}, s2, {0});
    expectCast<Dec128, I8>(fused ? 180 : 399, fused, {-1}, {d128(-100)}, s2);
    expectCast<Dec128, I16>(fused ? 181 : 400, fused, {300}, {d128(30000)}, s2);
    expectCast<Dec128, int>(fused ? 182 : 401, fused, {-2147483647 - 1}, {d128(-214748364800L)}, s2);
    expectCast<Dec128, long>(fused ? 183 : 402, fused, {kI64Max}, {d128(int128_t(kI64Max) * 100)}, s2, {0});
    expectCast<Dec128, U64>(fused ? 184 : 403, fused, {~0UL}, {d128(int128_t(~0UL) * 100)}, s2, {0});
  }
  expectCast<Dec64, Bool>(169, true, {0, 1}, {d64(0), d64(100)}, s2);
  expectCast<Dec128, Bool>(179, true, {1, 0}, {d128(100), d128(0)}, s2);
}

TEST(CastDecimal, FromFloatsByTheRoundingFormula) {
  EvalInfo s2, s0, s18;
  s2.setResult(18, 2);
  s0.setResult(28, 0);
  s18.setResult(18, 18);
  using R = std::vector<double>;
  for (bool fused : {false, true}) {
    // 0.125 -> 0.13 and -0.13; NaN, infinity and values beyond the width give 0 with state 15.
    expectCast<Dec64, double>(fused ? 178 : 388, fused, R{0.125, -0.125, 2.675, kNaN, -1.0 / 0.0, 1e17},
                              {d64(13), d64(-13), d64(268), d64(0), d64(0), d64(0)}, s2,
                              {0, 0, 0, 15, 15, 15});
    // Scale 18: the limit 2^52 / 10^18 is below 11, so p is truncated.
    expectCast<Dec64, double>(fused ? 178 : 388, fused, R{0.5, -1e-18, 9.3},
                              {d64(500000000000000000L), d64(-1), d64(0)}, s18, {0, 0, 15});
    expectCast<Dec64, float>(fused ? 177 : 387, fused, {0.1f, 2.5f, std::numeric_limits<float>::infinity()},
                             {d64(10), d64(250), d64(0)}, s2, {0, 0, 15});
    // Beyond 2^52 the product is truncated: 1e20 is exact; 2.5 at scale 0 rounds away to 3.
    expectCast<Dec128, double>(
        fused ? 188 : 406, fused, R{1e20, 2.5, -2.5, 1e29, kNaN},
        {d128(int128_t(100000000000000000LL) * 1000), d128(3), d128(-3), d128(0), d128(0)}, s0,
        {0, 0, 0, 15, 15});
    expectCast<Dec128, float>(fused ? 187 : 405, fused, {-0.5f, 1e10f}, {d128(-1), d128(10000000000L)}, s0);
  }
}

TEST(CastDecimal, BetweenWidthsOnTheStackAndFused) {
  // dec64 -> dec128: 1.25 at scale 2 to scale 5 and to scale 1 (half away: 1.3, -1.3).
  for (bool fused : {false, true}) {
    EvalInfo up = scales(5, {2}), down = scales(1, {2});
    expectCast<Dec128, Dec64>(fused ? 185 : 404, fused, {d64(125), d64(-125), d64(kI64Max)},
                              {d128(125000), d128(-125000), d128(int128_t(kI64Max) * 1000)}, up);
    expectCast<Dec128, Dec64>(fused ? 185 : 404, fused, {d64(125), d64(-125), d64(-124)},
                              {d128(13), d128(-13), d128(-12)}, down);
    // dec128 -> dec64 checks the declared precision: 12345.6 has 6 digits, one more than 5.
    EvalInfo p5 = scales(1, {2});
    p5.setResult(5, 1);
    expectCast<Dec64, Dec128>(fused ? 176 : 386, fused, {d128(1234549), d128(123456), d128(-9999949)},
                              {d64(123455), d64(12346), d64(-999995)}, p5, {15, 0, 15});
  }
}

struct RunTimeRow {
  int128_t value; // the source (unscaled for decimals)
  int precision, scale;
  int128_t out;
  std::uint8_t state;
};

// Evaluates a _PS code over rows whose source, precision and scale are columns, with the kernel shape
// the code is to be registered with.
template <class Out, class In>
void runTimeCast(
    TypedRpnOp code, int sourceScale, const std::vector<RunTimeRow>& rows,
    In (*make)(int128_t) = [](int128_t v) { return static_cast<In>(v); }) {
  std::vector<In> values;
  std::vector<I8> precisions, scalesColumn;
  std::vector<Out> expected;
  std::vector<std::uint8_t> states;
  for (const RunTimeRow& r : rows) {
    values.push_back(make(r.value));
    precisions.push_back(static_cast<I8>(r.precision));
    scalesColumn.push_back(static_cast<I8>(r.scale));
    expected.push_back(Out::fromWrapped(static_cast<uint128_t>(r.out)));
    states.push_back(r.state);
  }
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
  Program p;
  p.column(loadOf<In>(), 0).column(kLoadI8, 1).column(kLoadI8, 2).op(code, scales(0, {sourceScale}));
  HarnessCase(p)
      .addColumn(values)
      .addColumn(precisions)
      .addColumn(scalesColumn)
      .expectRows(expected, states, worstCode(states));
}

TEST(CastDecimal, RunTimePrecisionAndScale) {
  // Valid ranges: precision 1..18 (dec64) or 1..28 (dec128), scale 0..min(precision, 18). Outside them,
  // and for a result with more digits than the precision, the row fails with 15 (value 0).
  std::vector<RunTimeRow> small = {{5, 3, 2, 500, 0}, {10, 3, 2, 0, 15}, {-9, 1, 0, -9, 0},
                                   {1, 0, 0, 0, 15},  {1, 5, 6, 0, 15},  {1, 5, -1, 0, 15}};
  runTimeCast<Dec128, I8>(408, 0, small);
  runTimeCast<Dec128, I16>(409, 0, small);
  small.push_back({1, 19, 2, 0, 15}); // precision 19 is beyond dec64 only
  runTimeCast<Dec64, I8>(390, 0, small);
  runTimeCast<Dec64, I16>(391, 0, small);
  runTimeCast<Dec64, int>(392, 0, small);
  runTimeCast<Dec64, long>(393, 0, small);
  runTimeCast<Dec128, int>(410, 0,
                           {{-2147483648LL, 28, 18, int128_t(-2147483648LL) * pow10Model(18), 0},
                            {1, 28, 19, 0, 15},
                            {1, 29, 0, 0, 15}});
  runTimeCast<Dec64, Bool>(389, 0, {{1, 1, 0, 1, 0}, {1, 1, 1, 0, 15}, {0, 1, 1, 0, 0}});
  runTimeCast<Dec128, Bool>(407, 0, {{1, 28, 18, pow10Model(18), 0}});
  runTimeCast<Dec64, U64>(
      394, 0, {{int128_t(~0UL), 18, 0, 0, 15}, {999999999999999999, 18, 0, 999999999999999999, 0}});
  runTimeCast<Dec128, long>(
      411, 0, {{kI64Max, 28, 9, int128_t(kI64Max) * pow10Model(9), 0}, {kI64Max, 28, 10, 0, 15}});
  runTimeCast<Dec128, U64>(
      412, 0, {{int128_t(~0UL), 28, 8, int128_t(~0UL) * pow10Model(8), 0}, {int128_t(~0UL), 28, 9, 0, 15}});
  // Decimal sources are rescaled from their own scale (2 here): 1.25 -> 1.3, 99.999 does not fit (4, 2).
  auto mk64 = [](int128_t v) { return d64(static_cast<long>(v)); };
  auto mk128 = [](int128_t v) { return d128(v); };
  runTimeCast<Dec64, Dec64>(
      395, 2, {{125, 3, 1, 13, 0}, {-125, 3, 1, -13, 0}, {125, 5, 4, 12500, 0}, {99999, 4, 2, 0, 15}}, +mk64);
  runTimeCast<Dec128, Dec64>(
      413, 2, {{kI64Max, 28, 11, int128_t(kI64Max) * pow10Model(9), 0}, {kI64Max, 28, 12, 0, 15}}, +mk64);
  runTimeCast<Dec64, Dec128>(396, 0, {{kMax96v, 18, 0, 0, 15}, {-12, 2, 0, -12, 0}}, +mk128);
  runTimeCast<Dec128, Dec128>(414, 0,
                              {{pow10Model(27), 28, 1, 0, 15},
                               {kMax96v, 28, 18, 0, 15},
                               {kMin96v, 28, 0, 0, 15},
                               {pow10Model(28) - 1, 28, 0, pow10Model(28) - 1, 0}},
                              +mk128);
}

TEST(CastDecimal, RunTimePrecisionAndScaleFromFloats) {
  // The rows' values are indexes into the floats: 0.125, NaN, 1e300, -2.5.
  const std::vector<RunTimeRow> rows = {
      {0, 5, 2, 13, 0}, {1, 5, 2, 0, 15}, {2, 18, 0, 0, 15}, {3, 1, 0, -3, 0}};
  double (*f64)(int128_t) = [](int128_t i) { return std::array{0.125, kNaN, 1e300, -2.5}[std::size_t(i)]; };
  float (*f32)(int128_t) = [](int128_t i) { return i == 0 ? 0.5f : std::numeric_limits<float>::infinity(); };
  runTimeCast<Dec64, double>(398, 0, rows, f64);
  runTimeCast<Dec128, double>(416, 0, rows, f64);
  runTimeCast<Dec64, float>(397, 0, {{0, 1, 0, 1, 0}, {1, 1, 0, 0, 15}}, f32);
  runTimeCast<Dec128, float>(415, 0, {{0, 1, 0, 1, 0}}, f32);
}

} // namespace
