// Exact-decimal rounding through both evaluators: the scale and precision come from the element's
// EvalInfo and the digit count from the row. The rounding rules themselves are checked on the row
// kernels (DecimalFunctorsTest).
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

constexpr vela::int128_t kTen20 = vela::int128_t(100000000000L) * 1000000000L;

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
