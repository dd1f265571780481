// Exact-decimal arithmetic through both evaluators: scales taken from the element's EvalInfo, operand
// order, dec64 products and quotients widened to dec128, half-away-from-zero rounding, saturation at the
// 96-bit range, the division's row code and the guarded divisions.
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/functions/scalar/ArithmeticTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::math;

namespace {

constexpr long kI64Min = std::numeric_limits<long>::min(), kI64Max = std::numeric_limits<long>::max();
constexpr int kI32Min = std::numeric_limits<int>::min();
const Dec128 kMax96 = d128(vela::Int96::kMax), kMin96 = d128(vela::Int96::kMin);
constexpr vela::int128_t kTen18 = 1000000000000000000L;

TEST(DecimalAddSubtract, AlignToTheLargerScaleAndWrap) {
  using R = Row<Dec64, Dec64, Dec64>;
  // 1.25 + 0.0001 = 1.2501 and its mirror: the operand at the smaller scale is multiplied up.
  expectTable<Dec64>(1056,
                     std::vector<R>{{{d64(125), d64(1)}, d64(12501)}, {{d64(-125), d64(1)}, d64(-12499)}},
                     scales(4, {2, 4}));
  expectTable<Dec64>(1056, std::vector<R>{{{d64(1), d64(125)}, d64(12501)}}, scales(4, {4, 2}));
  expectTable<Dec64>(1047, std::vector<R>{{{d64(125), d64(1)}, d64(12499)}}, scales(4, {2, 4}));
  expectTable<Dec64>(1047, std::vector<R>{{{d64(1), d64(125)}, d64(-12499)}}, scales(4, {4, 2}));
  expectTable<Dec64>(1056, std::vector<R>{{{d64(kI64Max), d64(1)}, d64(kI64Min)}}, scales(0, {0, 0}));
  expectTable<Dec64>(1047, std::vector<R>{{{d64(kI64Min), d64(1)}, d64(kI64Max)}}, scales(0, {0, 0}));

  using W = Row<Dec128, Dec128, Dec128>;
  // 0.0000000001 + 1 at scale 10; the 64-bit multiplier is widened before it meets the 96-bit value.
  expectTable<Dec128>(1057,
                      std::vector<W>{{{d128(1), d128(1)}, d128(10000000001L)},
                                     {{d128(-kTen18), d128(0)}, d128(-kTen18 * 10000000000L)}},
                      scales(10, {0, 10}));
  expectTable<Dec128>(1057, std::vector<W>{{{kMax96, d128(1)}, kMin96}}, scales(0, {0, 0}));
  expectTable<Dec128>(1048, std::vector<W>{{{kMin96, d128(1)}, kMax96}, {{d128(5), d128(7)}, d128(-2)}},
                      scales(0, {0, 0}));
}

TEST(DecimalMultiply, RoundsHalfAwayAndSaturatesAt96Bits) {
  using R = Row<Dec128, Dec64, Dec64>;
  // 1.25 * 1.25 = 1.5625 -> 1.56; 0.05 * 0.05 = 0.0025 -> 0.003 at scale 3.
  expectTable<Dec128>(1063,
                      std::vector<R>{{{d64(125), d64(125)}, d128(156)}, {{d64(-125), d64(125)}, d128(-156)}},
                      scales(2, {2, 2}));
  expectTable<Dec128>(1063, std::vector<R>{{{d64(5), d64(5)}, d128(3)}, {{d64(-5), d64(5)}, d128(-3)}},
                      scales(3, {2, 2}));
  expectTable<Dec128>(1063,
                      std::vector<R>{{{d64(kI64Max), d64(kI64Max)}, kMax96},
                                     {{d64(kI64Min), d64(kI64Max)}, kMin96},
                                     {{d64(kI64Min), d64(-1)}, d128(vela::int128_t(1) << 63)}},
                      scales(0, {0, 0}));

  using W = Row<Dec128, Dec128, Dec128>;
  expectTable<Dec128>(1064,
                      std::vector<W>{{{kMax96, d128(2)}, kMax96},
                                     {{kMax96, d128(-2)}, kMin96},
                                     {{kMin96, d128(-1)}, kMax96},
                                     {{kMin96, d128(1)}, kMin96}},
                      scales(0, {0, 0}));
  // 10^14 * 10^14 at scales 9 and 9 into scale 0: 10^28 / 10^18.
  expectTable<Dec128>(1064,
                      std::vector<W>{{{d128(100000000000000L), d128(100000000000000L)}, d128(10000000000L)},
                                     {{kMax96, kMax96}, kMax96},
                                     {{kMax96, kMin96}, kMin96},
                                     {{d128(1500000000L), d128(-1000000000L)}, d128(-2)}},
                      scales(0, {9, 9}));
}

TEST(DecimalMultiply, MixedWithIntegersKeepsTheScaleAndSaturates) {
  expectTable<Dec128>(1066,
                      std::vector<Row<Dec128, Dec128, int>>{{{d128(125), 3}, d128(375)},
                                                            {{kMax96, 2}, kMax96},
                                                            {{d128(-7), kI32Min}, d128(15032385536L)}},
                      scales(2, {2, 0}));
  expectTable<Dec128>(
      1068, std::vector<Row<Dec128, int, Dec128>>{{{-1, kMin96}, kMax96}, {{3, d128(-125)}, d128(-375)}},
      scales(2, {0, 2}));
  expectTable<Dec128>(
      1070, std::vector<Row<Dec128, Dec128, long>>{
                {{kMax96, kI64Min}, kMin96}, {{d128(10), kI64Max}, d128(vela::int128_t(kI64Max) * 10)}});
  // 2^63 * 2^95 overflows even 128 bits; the sign still decides the end it saturates to.
  expectTable<Dec128>(1072, std::vector<Row<Dec128, long, Dec128>>{{{kI64Min, kMin96}, kMax96},
                                                                   {{kI64Min, kMax96}, kMin96},
                                                                   {{-2, d128(5)}, d128(-10)}});
}

TEST(DecimalDivide, RoundsHalfAwayFlagsZeroAndSaturates) {
  using R = Row<Dec128, Dec64, Dec64>;
  expectTable<Dec128>(1080,
                      std::vector<R>{{{d64(1), d64(3)}, d128(3333)},
                                     {{d64(2), d64(3)}, d128(6667)},
                                     {{d64(-2), d64(3)}, d128(-6667)},
                                     {{d64(2), d64(-3)}, d128(-6667)},
                                     {{d64(1), d64(0)}, d128(0), 2},
                                     {{d64(0), d64(0)}, d128(0), 2}},
                      scales(4, {0, 0}));
  // 1.00 / 0.3 = 3.33; 0.01 / 0.8 = 0.0125 -> 0.01 at scale 2; 0.01 / 0.4 = 0.025 -> 0.03.
  expectTable<Dec128>(1080,
                      std::vector<R>{{{d64(100), d64(3)}, d128(333)},
                                     {{d64(-100), d64(3)}, d128(-333)},
                                     {{d64(1), d64(8)}, d128(1)},
                                     {{d64(1), d64(4)}, d128(3)},
                                     {{d64(-1), d64(4)}, d128(-3)}},
                      scales(2, {2, 1}));

  using W = Row<Dec128, Dec128, Dec128>;
  expectTable<Dec128>(1081,
                      std::vector<W>{{{kMax96, d128(1)}, kMax96},
                                     {{kMin96, d128(1)}, kMin96},
                                     {{kMax96, d128(-1)}, kMin96},
                                     {{kMin96, d128(-1)}, kMax96},
                                     {{d128(kTen18), d128(10000000000L)}, d128(kTen18)},
                                     {{d128(1), d128(8)}, d128(1250000000L)},
                                     {{kMax96, d128(0)}, d128(0), 2}},
                      scales(10, {0, 0}));
}

TEST(DecimalModulo, AtTheCommonScaleWithTheDividendsSign) {
  using R = Row<Dec64, Dec64, Dec64>;
  // 7.5 % 2 = 1.5; a zero divisor sets no code.
  expectTable<Dec64>(1088,
                     std::vector<R>{{{d64(75), d64(2)}, d64(15)},
                                    {{d64(-75), d64(2)}, d64(-15)},
                                    {{d64(75), d64(-2)}, d64(15)},
                                    {{d64(75), d64(0)}, d64(0)}},
                     scales(1, {1, 0}));
  expectTable<Dec64>(1088, std::vector<R>{{{d64(7), d64(25)}, d64(20)}}, scales(1, {0, 1}));
  using W = Row<Dec128, Dec128, Dec128>;
  // The dividend scaled by 10^18 leaves 96 bits; the remainder is still exact.
  expectTable<Dec128>(1089, std::vector<W>{{{kMax96, d128(3)}, d128(1)}, {{kMin96, d128(7)}, d128(-4)}},
                      scales(18, {0, 18}));
  // A divisor scaled past 128 bits exceeds every dividend, which is then the remainder.
  expectTable<Dec128>(1089, std::vector<W>{{{d128(5), kMax96}, d128(5)}, {{d128(-5), kMin96}, d128(-5)}},
                      scales(18, {18, 0}));
}

TEST(DecimalSignChanges, WrapAtTheMinimum) {
  expectTable<Dec64>(835,
                     std::vector<Row<Dec64, Dec64>>{{{d64(kI64Min)}, d64(kI64Min)}, {{d64(5)}, d64(-5)}});
  expectTable<Dec128>(836, std::vector<Row<Dec128, Dec128>>{
                               {{kMin96}, kMin96},
                               {{d128(vela::int128_t(1) << 64)}, d128(-(vela::int128_t(1) << 64))},
                               {{d128(0)}, d128(0)}});
  expectTable<Dec64>(842, std::vector<Row<Dec64, Dec64>>{
                              {{d64(kI64Min)}, d64(kI64Min)}, {{d64(-5)}, d64(5)}, {{d64(5)}, d64(5)}});
  expectTable<Dec128>(843, std::vector<Row<Dec128, Dec128>>{
                               {{kMin96}, kMin96},
                               {{d128(-(vela::int128_t(1) << 70))}, d128(vela::int128_t(1) << 70)},
                               {{kMax96}, kMax96}});
  using I8 = std::int8_t;
  expectTable<I8>(1139, std::vector<Row<I8, Dec64>>{{{d64(-1)}, -1}, {{d64(0)}, 0}, {{d64(kI64Max)}, 1}});
  expectTable<I8>(
      1140, std::vector<Row<I8, Dec128>>{
                {{kMin96}, -1}, {{d128(vela::int128_t(1) << 64)}, 1}, {{d128(0)}, 0}, {{d128(-1)}, -1}});
}

TEST(DecimalGuardedDivision, FallbackForAZeroDivisor) {
  expectTable<Dec128>(1146,
                      std::vector<Row<Dec128, Dec64, Dec64, Dec128>>{
                          {{d64(1), d64(3), d128(9)}, d128(33)}, {{d64(1), d64(0), d128(777)}, d128(777)}},
                      scales(2, {0, 0, 2}));
  expectTable<Dec128>(1147,
                      std::vector<Row<Dec128, Dec128, Dec128, Dec128>>{
                          {{kMax96, d128(0), d128(-1)}, d128(-1)}, {{kMax96, d128(1), d128(-1)}, kMax96}},
                      scales(2, {0, 0, 2}));
}

template <class T>
void expectGuardedWithNulls(int op, const EvalInfo& info, const std::vector<T>& a, const std::vector<T>& b,
                            const std::vector<Dec128>& c, const std::vector<bool>& na,
                            const std::vector<bool>& nb, const std::vector<bool>& nc,
                            const std::vector<Dec128>& values, const std::vector<std::uint8_t>& states) {
  LoadNullFlagsForTest loadNulls;
  Program p;
  p.column(Storage<T>::load, 0).column(240, 3).column(Storage<T>::load, 1).column(240, 4);
  p.column(Storage<Dec128>::load, 2).column(240, 5).op(op, info);
  HarnessCase hc(p);
  hc.addColumn<T>(a);
  hc.addColumn<T>(b);
  hc.addColumn<Dec128>(c).addNullFlags(na).addNullFlags(nb).addNullFlags(nc);
  hc.expectRows<Dec128>(values, states);
}

TEST(DecimalGuardedDivision, WithNullsTheDivisorsStateWins) {
  // Rows: defined with a null, b null, neither; b = 0 with c null, b null, a null (ignored).
  expectGuardedWithNulls<Dec64>(1153, scales(2, {0, 0, 2}), {d64(1), d64(1), d64(1), d64(1), d64(1), d64(1)},
                                {d64(3), d64(3), d64(3), d64(0), d64(0), d64(0)},
                                {d128(5), d128(5), d128(5), d128(5), d128(5), d128(5)}, {1, 0, 0, 0, 0, 1},
                                {0, 1, 0, 0, 1, 0}, {1, 1, 1, 1, 0, 0},
                                {d128(0), d128(0), d128(33), d128(0), d128(0), d128(5)}, {1, 1, 0, 1, 1, 0});
  expectGuardedWithNulls<Dec128>(1154, scales(0, {0, 0, 0}), {kMax96, d128(7)}, {d128(-1), d128(0)},
                                 {d128(1), d128(9)}, {0, 1}, {0, 0}, {1, 0},
                                 {d128(-vela::Int96::kMax), d128(9)}, {0, 0});
}

} // namespace
