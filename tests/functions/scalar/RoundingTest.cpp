// Rounding of floats, integers and exact decimals (half away from zero), truncation, ceil/floor to i64
// and the width bucket, through both evaluators. For decimals the scale and precision come from the
// element's EvalInfo and the digit count from the row; the rounding rules themselves are checked on the
// row kernels (DecimalFunctorsTest).
#include <limits>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

constexpr int kI32Max = std::numeric_limits<int>::max();
constexpr long kI64Min = std::numeric_limits<long>::min(), kI64Max = std::numeric_limits<long>::max();
constexpr unsigned long kU64Max = std::numeric_limits<unsigned long>::max();
constexpr double kInf = std::numeric_limits<double>::infinity(),
                 kNaN = std::numeric_limits<double>::quiet_NaN();
using U64 = unsigned long;
constexpr vela::int128_t kTen20 = vela::int128_t(100000000000L) * 1000000000L;

TEST(RoundingToInt64, CeilAndFloorOfFloats) {
  const double below2p63 = 9223372036854774784.0; // the largest double under 2^63
  expectTable<long>(
      1345, std::vector<Row<long, double>>{
                {{-2.5}, -2}, {{-0.5}, 0}, {{below2p63}, 9223372036854774784L}, {{-0x1p63}, kI64Min}});
  expectTable<long>(1354, std::vector<Row<long, double>>{{{-2.5}, -3}, {{-0.0}, 0}, {{-1e-300}, -1}});
  expectTable<long>(1344, std::vector<Row<long, float>>{{{-2.75f}, -2}, {{16777216.0f}, 16777216}});
  expectTable<long>(1353, std::vector<Row<long, float>>{{{-2.25f}, -3}});
  // Out of range and NaN give the minimum, as the processor's conversion does.
  for (int op : {1345, 1354})
    expectTable<long>(
        op, std::vector<Row<long, double>>{{{kNaN}, kI64Min}, {{kInf}, kI64Min}, {{0x1p63}, kI64Min}});
  expectTable<long>(1344,
                    std::vector<Row<long, float>>{{{std::numeric_limits<float>::quiet_NaN()}, kI64Min}});
}

TEST(RoundingFloats, HalfAwayFromZeroToDigits) {
  // Expected values are the decimal results, as the nearest doubles to them.
  expectTable<double>(1361, std::vector<Row<double, double, int>>{{{-2.5, 0}, -3.0},
                                                                  {{-0.4, 0}, -0.0},
                                                                  {{1.25, 1}, 1.3},
                                                                  {{1250.0, -2}, 1300.0},
                                                                  {{kNaN, 2}, kNaN},
                                                                  {{-kInf, 1}, -kInf}});
  expectTable<double>(
      1370, std::vector<Row<double, double, int>>{
                {{-2.7, 0}, -2.0}, {{-0.5, 0}, -0.0}, {{1.2345, 2}, 1.23}, {{-1299.0, -2}, -1200.0}});
  // f32: p * x is narrowed to f32 before roundf, and the quotient by the double p narrowed again.
  expectTable<float>(
      1360, std::vector<Row<float, float, int>>{
                {{-2.5f, 0}, -3.0f}, {{1.25f, 1}, 1.3f}, {{-0.25f, 0}, -0.0f}, {{125.0f, -1}, 130.0f}});
  expectTable<float>(1369, std::vector<Row<float, float, int>>{{{-1.25f, 1}, -1.2f}, {{-0.75f, 0}, -0.0f}});
}

TEST(RoundingIntegers, HalfAwayFromZeroAndTruncationToNegativeDigits) {
  expectTable<int>(1359, std::vector<Row<int, int, int>>{{{-1234500, -3}, -1235000},
                                                         {{-1234499, -3}, -1234000},
                                                         {{1234567, -10}, 0},
                                                         {{1234567, 2}, 1234567},
                                                         {{1500000000, -9}, 2000000000},
                                                         // 214748365 * 10 passes the top and wraps.
                                                         {{kI32Max, -1}, -2147483646}});
  expectTable<long>(1364,
                    std::vector<Row<long, long, int>>{{{kI64Max, -18}, 9000000000000000000L},
                                                      {{-5000000000000000000L, -19}, 0},
                                                      {{-500000000000000000L, -18}, -1000000000000000000L}});
  // 2 * 10^19 wraps past 2^64.
  expectTable<U64>(1365,
                   std::vector<Row<U64, U64, int>>{{{5000000000000000000UL, -19}, 10000000000000000000UL},
                                                   {{kU64Max, -20}, 0},
                                                   {{kU64Max, -19}, 1553255926290448384UL}});
  expectTable<int>(1368,
                   std::vector<Row<int, int, int>>{{{-1234567, -3}, -1234000}, {{9, -10}, 0}, {{77, 1}, 77}});
  expectTable<long>(1373, std::vector<Row<long, long, int>>{{{kI64Min, -18}, -9000000000000000000L}});
  expectTable<U64>(1374, std::vector<Row<U64, U64, int>>{{{kU64Max, -19}, 10000000000000000000UL}});
}

TEST(RoundingWidthBucket, BucketsBetweenLowAndHigh) {
  using R = Row<int, double, double, double, int>;
  expectTable<int>(1375, std::vector<R>{{{0.0, 0.0, 10.0, 5}, 1},
                                        {{9.999, 0.0, 10.0, 5}, 5},
                                        {{10.0, 0.0, 10.0, 5}, 6},
                                        {{kInf, 0.0, 10.0, 5}, 6},
                                        {{-1.0, 0.0, 10.0, 5}, 0},
                                        {{kNaN, 0.0, 10.0, 5}, 0},
                                        {{5.0, 10.0, 0.0, 5}, 3},
                                        {{3.0, 0.0, 10.0, 0}, 1},
                                        {{3.0, 0.0, 10.0, kI32Max}, 644245095}});
}

TEST(DecimalRounding, ToDigitsAtTheOperandScaleAndPrecision) {
  using R = Row<Dec64, Dec64, int>;
  // Scale 3, precision 10: 1.235 -> 1.24 half away from zero, 15.000 to -1 digits -> 20.000, and a
  // count at or below scale - precision (-7) clears the value.
  expectTable<Dec64>(1362,
                     std::vector<R>{{{d64(-1235), 2}, d64(-1240)},
                                    {{d64(-15000), -1}, d64(-20000)},
                                    {{d64(9999999999), -6}, d64(10000000000)},
                                    {{d64(9999999999), -7}, d64(0)}},
                     scales(3, {3}, 10));
  using W = Row<Dec128, Dec128, int>;
  expectTable<Dec128>(1363, std::vector<W>{{{d128(-kTen20 / 2), -10}, d128(-kTen20)}, {{kMax96, 10}, kMax96}},
                      scales(10, {10}, 28));
  expectTable<Dec64>(1371, std::vector<R>{{{d64(-1239), 2}, d64(-1230)}, {{d64(19999), -1}, d64(10000)}},
                     scales(3, {3}, 10));
  expectTable<Dec128>(1372,
                      std::vector<W>{{{kMin96, 0}, d128(vela::Int96::kMin / 10000000000L * 10000000000L)}},
                      scales(10, {10}, 28));
}

TEST(DecimalRounding, CeilAndFloorSaturateAtThe96BitEnds) {
  using R = Row<Dec64, Dec64>;
  using W = Row<Dec128, Dec128>;
  expectTable<Dec64>(1342, std::vector<R>{{{d64(101)}, d64(200)}, {{d64(-199)}, d64(-100)}}, scales(2, {2}));
  expectTable<Dec64>(1351, std::vector<R>{{{d64(101)}, d64(100)}, {{d64(-101)}, d64(-200)}}, scales(2, {2}));
  expectTable<Dec128>(1343, std::vector<W>{{{kMax96}, kMax96}, {{d128(kTen20 + 1)}, d128(kTen20 + 100)}},
                      scales(2, {2}));
  expectTable<Dec128>(1352,
                      std::vector<W>{{{kMin96}, kMin96}, {{d128(-(kTen20 + 1))}, d128(-(kTen20 + 100))}},
                      scales(2, {2}));
}

} // namespace
