// Exact-decimal arithmetic through both evaluators: scales taken from the element's EvalInfo, operand
// order, dec64 products and quotients widened to dec128, saturation at the 96-bit range, the division's
// row code, the mixed integer products and the guarded divisions. The rounding and wrap of every scale
// pair is checked on the row kernels against a 128-bit model (DecimalFunctorsTest); here each op's
// wiring.
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

constexpr long kI64Min = std::numeric_limits<long>::min(), kI64Max = std::numeric_limits<long>::max();
constexpr int kI32Min = std::numeric_limits<int>::min();
using R64 = Row<Dec64, Dec64, Dec64>;
using R128 = Row<Dec128, Dec128, Dec128>;

TEST(DecimalArithmetic, AddAndSubtractAlignToTheLargerScaleAndWrap) {
  // 1.25 + 0.0001 = 1.2501: the operand at the smaller scale is multiplied up, whichever it is.
  expectTable<Dec64>(1056, std::vector<R64>{{{d64(125), d64(1)}, d64(12501)}}, scales(4, {2, 4}));
  expectTable<Dec64>(1047, std::vector<R64>{{{d64(1), d64(125)}, d64(-12499)}}, scales(4, {4, 2}));
  expectTable<Dec64>(1056, std::vector<R64>{{{d64(kI64Max), d64(1)}, d64(kI64Min)}}, scales(0, {0, 0}));
  // The 64-bit multiplier is widened before it meets the 96-bit value.
  expectTable<Dec128>(1057,
                      std::vector<R128>{{{d128(-1000000000000000000L), d128(0)},
                                         d128(vela::int128_t(-1000000000000000000L) * 10000000000L)}},
                      scales(10, {0, 10}));
  expectTable<Dec128>(1048, std::vector<R128>{{{kMin96, d128(1)}, kMax96}}, scales(0, {0, 0}));
}

// The batch kernels of dec64 add and subtract take a form per scale direction and, for gaps of 0 to 4
// digits, per gap (a constant multiplier); wider gaps read the multiplier at run time. Every form
// against wrapping 64-bit arithmetic written here, over extremes and mixed values, enough rows for the
// vector loop.
TEST(DecimalArithmetic, Dec64AddAndSubtractAgreeWithWrappingArithmeticAtEveryScaleGap) {
  std::vector<long> values = {0, 1, -1, 7, kI64Max, kI64Min, 4294967295L, -4294967296L, 123456789012345L};
  values.insert(values.end(), {-98765432109L, 999999999, 1L << 40, -(1L << 52), 31, -2, 1000000007L, 77, -5});
  std::uint64_t pow10[19] = {1};
  for (int i = 1; i < 19; ++i)
    pow10[i] = pow10[i - 1] * 10;
  const std::pair<int, int> gaps[] = {{0, 0}, {2, 2}, {0, 1}, {1, 0}, {2, 4},  {4, 2},  {0, 3},  {3, 0},
                                      {1, 5}, {5, 1}, {0, 9}, {9, 0}, {3, 12}, {18, 0}, {0, 18}, {5, 14}};
  for (const auto& [sa, sb] : gaps)
    for (int code : {1056, 1047}) {
      std::vector<R64> rows;
      for (std::size_t i = 0; i < values.size(); ++i) {
        const long a = values[i], b = values[(i * 7 + 3) % values.size()];
        const std::uint64_t ua = static_cast<std::uint64_t>(a) * (sb > sa ? pow10[sb - sa] : 1);
        const std::uint64_t ub = static_cast<std::uint64_t>(b) * (sa > sb ? pow10[sa - sb] : 1);
        rows.push_back({{d64(a), d64(b)}, d64(static_cast<long>(code == 1056 ? ua + ub : ua - ub))});
      }
      SCOPED_TRACE("code " + std::to_string(code) + ", scales " + std::to_string(sa) + " and " +
                   std::to_string(sb));
      expectTable<Dec64>(code, rows, scales(std::max(sa, sb), {sa, sb}));
    }
}

TEST(DecimalArithmetic, ProductsAndQuotientsRoundWidenAndSaturate) {
  using W = Row<Dec128, Dec64, Dec64>;
  // dec64 * dec64 is a dec128: 1.25 * 1.25 = 1.5625 -> 1.56; the product of the extremes saturates.
  expectTable<Dec128>(1063, std::vector<W>{{{d64(-125), d64(125)}, d128(-156)}}, scales(2, {2, 2}));
  expectTable<Dec128>(1063, std::vector<W>{{{d64(kI64Min), d64(kI64Max)}, kMin96}}, scales(0, {0, 0}));
  expectTable<Dec128>(1064, std::vector<R128>{{{kMax96, d128(-2)}, kMin96}, {{kMin96, d128(-1)}, kMax96}},
                      scales(0, {0, 0}));
  // 2/3 at scale 4 rounds half away; a zero divisor is code 2, also for a zero dividend.
  expectTable<Dec128>(1080,
                      std::vector<W>{{{d64(-2), d64(3)}, d128(-6667)},
                                     {{d64(1), d64(0)}, d128(0), 2},
                                     {{d64(0), d64(0)}, d128(0), 2}},
                      scales(4, {0, 0}));
  expectTable<Dec128>(1081, std::vector<R128>{{{kMin96, d128(-1)}, kMax96}, {{kMax96, d128(0)}, d128(0), 2}},
                      scales(0, {0, 0}));
  // Modulo at the common scale with the dividend's sign; a zero divisor sets no code.
  expectTable<Dec64>(1088, std::vector<R64>{{{d64(-75), d64(2)}, d64(-15)}, {{d64(75), d64(0)}, d64(0)}},
                     scales(1, {1, 0}));
  expectTable<Dec128>(1089, std::vector<R128>{{{kMin96, d128(7)}, d128(-4)}}, scales(18, {0, 18}));
}

// dec64 * dec64 at the sum of the scales has a kernel of its own (no rounding division): 300 rows of
// products near and beyond the 96-bit range, in both signs, against the clamped 128-bit product.
TEST(DecimalArithmetic, Dec64ProductAtTheSumOfTheScalesSaturatesLikeTheClampedProduct) {
  using W = Row<Dec128, Dec64, Dec64>;
  std::mt19937_64 gen(1063);
  const long edges[] = {0, 1, -1, kI64Max, kI64Min, 1L << 47, -(1L << 47), (1L << 48) - 1, 3037000499L};
  std::vector<W> rows;
  for (int i = 0; i < 300; ++i) {
    const int shift = static_cast<int>(gen() % 64);
    long a = i < 81 ? edges[i % 9] : static_cast<long>(gen()) >> shift;
    long b = i < 81 ? edges[i / 9] : static_cast<long>(gen()) >> (63 - shift / 2);
    const vela::int128_t p = static_cast<vela::int128_t>(a) * b;
    const vela::int128_t clamped = p > vela::Int96::kMax   ? vela::Int96::kMax
                                   : p < vela::Int96::kMin ? vela::Int96::kMin
                                                           : p;
    rows.push_back({{d64(a), d64(b)}, d128(clamped)});
  }
  expectTable<Dec128>(1063, rows, scales(7, {3, 4}));
}

TEST(DecimalArithmetic, MixedWithIntegersKeepsTheScaleAndSaturates) {
  expectTable<Dec128>(
      1066,
      std::vector<Row<Dec128, Dec128, int>>{{{kMax96, 2}, kMax96}, {{d128(-7), kI32Min}, d128(15032385536L)}},
      scales(2, {2, 0}));
  expectTable<Dec128>(1068, std::vector<Row<Dec128, int, Dec128>>{{{-1, kMin96}, kMax96}}, scales(2, {0, 2}));
  expectTable<Dec128>(1070, std::vector<Row<Dec128, Dec128, long>>{{{kMax96, kI64Min}, kMin96}});
  // 2^63 * 2^95 overflows even 128 bits; the sign still decides the end it saturates to.
  expectTable<Dec128>(1072, std::vector<Row<Dec128, long, Dec128>>{{{kI64Min, kMin96}, kMax96}});
}

TEST(DecimalArithmetic, SignChanges) {
  expectTable<Dec64>(835,
                     std::vector<Row<Dec64, Dec64>>{{{d64(kI64Min)}, d64(kI64Min)}, {{d64(5)}, d64(-5)}});
  // The 64-bit minimum is an ordinary value in 96 bits: its negation and absolute value are 2^63.
  const Dec128 twoTo63 = d128(-vela::int128_t(kI64Min));
  expectTable<Dec128>(836, std::vector<Row<Dec128, Dec128>>{{{kMin96}, kMin96}, {{d128(kI64Min)}, twoTo63}});
  expectTable<Dec64>(842,
                     std::vector<Row<Dec64, Dec64>>{{{d64(kI64Min)}, d64(kI64Min)}, {{d64(-5)}, d64(5)}});
  expectTable<Dec128>(843, std::vector<Row<Dec128, Dec128>>{
                               {{kMin96}, kMin96},
                               {{d128(kI64Min)}, twoTo63},
                               {{d128(-(vela::int128_t(1) << 70))}, d128(vela::int128_t(1) << 70)}});
  using I8 = std::int8_t;
  expectTable<I8>(1139, std::vector<Row<I8, Dec64>>{{{d64(-1)}, -1}, {{d64(0)}, 0}});
  expectTable<I8>(1140, std::vector<Row<I8, Dec128>>{{{kMin96}, -1}, {{d128(vela::int128_t(1) << 64)}, 1}});
}

TEST(DecimalArithmetic, GuardedDivisions) {
  expectTable<Dec128>(1146,
                      std::vector<Row<Dec128, Dec64, Dec64, Dec128>>{
                          {{d64(1), d64(3), d128(9)}, d128(33)}, {{d64(1), d64(0), d128(777)}, d128(777)}},
                      scales(2, {0, 0, 2}));
  expectTable<Dec128>(
      1147, std::vector<Row<Dec128, Dec128, Dec128, Dec128>>{{{kMax96, d128(0), d128(-1)}, d128(-1)}},
      scales(2, {0, 0, 2}));
  // With null flags: rows defined with a null, b null, neither; b = 0 with c null, b null, a null
  // (ignored). The divisor's state wins.
  Program p;
  p.column(kLoadDec64, 0).column(kLoadStates, 3).column(kLoadDec64, 1).column(kLoadStates, 4);
  p.column(kLoadDec128, 2).column(kLoadStates, 5).op(1153, scales(2, {0, 0, 2}));
  HarnessCase(p)
      .addColumn<Dec64>(std::vector<Dec64>(6, d64(1)))
      .addColumn<Dec64>({d64(3), d64(3), d64(3), d64(0), d64(0), d64(0)})
      .addColumn<Dec128>(std::vector<Dec128>(6, d128(5)))
      .addNullFlags({1, 0, 0, 0, 0, 1})
      .addNullFlags({0, 1, 0, 0, 1, 0})
      .addNullFlags({1, 1, 1, 1, 0, 0})
      .expectRows<Dec128>({d128(0), d128(0), d128(33), d128(0), d128(0), d128(5)}, {1, 1, 0, 1, 1, 0});
}

} // namespace
