// Exact-decimal rounding through both evaluators: half away from zero to a per-row digit count at the
// operand's scale and precision, truncation, and ceil/floor saturating at the ends of the 96-bit range.
#include <vector>

#include <gtest/gtest.h>

#include "tests/functions/scalar/ArithmeticTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::math;

namespace {

const Dec128 kMax96 = d128(vela::Int96::kMax), kMin96 = d128(vela::Int96::kMin);
constexpr vela::int128_t kTen20 = vela::int128_t(100000000000L) * 1000000000L;

TEST(DecimalRound, HalfAwayFromZeroToDigits) {
  using R = Row<Dec64, Dec64, int>;
  // Scale 3, precision 10: 1.234 -> 1.23, 1.235 -> 1.24, 12.345 to -1 digits -> 10.000, and a count at
  // or below scale - precision (-7) clears the value.
  expectTable<Dec64>(1362,
                     std::vector<R>{{{d64(1234), 2}, d64(1230)},
                                    {{d64(1235), 2}, d64(1240)},
                                    {{d64(-1235), 2}, d64(-1240)},
                                    {{d64(1234), 3}, d64(1234)},
                                    {{d64(1234), 5}, d64(1234)},
                                    {{d64(4999), 0}, d64(5000)},
                                    {{d64(-500), 0}, d64(-1000)},
                                    {{d64(-499), 0}, d64(0)},
                                    {{d64(12345), -1}, d64(10000)},
                                    {{d64(15000), -1}, d64(20000)},
                                    {{d64(-15000), -1}, d64(-20000)},
                                    {{d64(9999999999), -6}, d64(10000000000)},
                                    {{d64(9999999999), -7}, d64(0)}},
                     scales(3, {3}, 10));
  using W = Row<Dec128, Dec128, int>;
  // Scale 10: 2.5 -> 3, -2.5 -> -3, 12.5 to -1 digits -> 10, -5e9 to -10 digits -> -1e10.
  expectTable<Dec128>(1363,
                      std::vector<W>{{{d128(25000000000L), 0}, d128(30000000000L)},
                                     {{d128(-25000000000L), 0}, d128(-30000000000L)},
                                     {{d128(125000000000L), -1}, d128(100000000000L)},
                                     {{d128(-kTen20 / 2), -10}, d128(-kTen20)},
                                     {{kMax96, 10}, kMax96}},
                      scales(10, {10}, 28));
}

TEST(DecimalRound, TruncateTowardZero) {
  using R = Row<Dec64, Dec64, int>;
  expectTable<Dec64>(1371,
                     std::vector<R>{{{d64(1239), 2}, d64(1230)},
                                    {{d64(-1239), 2}, d64(-1230)},
                                    {{d64(19999), -1}, d64(10000)},
                                    {{d64(-999), 0}, d64(0)},
                                    {{d64(1234), 3}, d64(1234)}},
                     scales(3, {3}, 10));
  using W = Row<Dec128, Dec128, int>;
  expectTable<Dec128>(1372,
                      std::vector<W>{{{d128(-25000000000L), 0}, d128(-20000000000L)},
                                     {{kMin96, 0}, d128(vela::Int96::kMin / 10000000000L * 10000000000L)}},
                      scales(10, {10}, 28));
}

TEST(DecimalCeilFloor, IntegralAtTheOperandScaleAndSaturating) {
  using R = Row<Dec64, Dec64>;
  expectTable<Dec64>(1342,
                     std::vector<R>{{{d64(101)}, d64(200)},
                                    {{d64(-101)}, d64(-100)},
                                    {{d64(-199)}, d64(-100)},
                                    {{d64(100)}, d64(100)},
                                    {{d64(0)}, d64(0)}},
                     scales(2, {2}));
  expectTable<Dec64>(
      1351, std::vector<R>{{{d64(101)}, d64(100)}, {{d64(-101)}, d64(-200)}, {{d64(-100)}, d64(-100)}},
      scales(2, {2}));
  expectTable<Dec64>(1342, std::vector<R>{{{d64(7)}, d64(7)}, {{d64(-7)}, d64(-7)}}, scales(0, {0}));
  using W = Row<Dec128, Dec128>;
  expectTable<Dec128>(1343,
                      std::vector<W>{{{kMax96}, kMax96},
                                     {{d128(-(kTen20 + 1))}, d128(-kTen20)},
                                     {{d128(kTen20 + 1)}, d128(kTen20 + 100)}},
                      scales(2, {2}));
  expectTable<Dec128>(1352,
                      std::vector<W>{{{kMin96}, kMin96},
                                     {{d128(kTen20 + 1)}, d128(kTen20)},
                                     {{d128(-(kTen20 + 1))}, d128(-(kTen20 + 100))}},
                      scales(2, {2}));
}

} // namespace
