// Integer and float arithmetic, sign and guarded division through both evaluators: wrap-around, the
// division and modulo edge cases with their row codes, IEEE results with signed zeros and NaN.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/functions/scalar/ArithmeticTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::math;

namespace {

constexpr int kI32Min = std::numeric_limits<int>::min(), kI32Max = std::numeric_limits<int>::max();
constexpr long kI64Min = std::numeric_limits<long>::min(), kI64Max = std::numeric_limits<long>::max();
constexpr unsigned long kU64Max = std::numeric_limits<unsigned long>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr float kInfF = std::numeric_limits<float>::infinity();
constexpr float kNaNF = std::numeric_limits<float>::quiet_NaN();

enum : int {
  kSubI32 = 1044,
  kSubI64,
  kSubU64,
  kSubF32 = 1049,
  kSubF64,
  kAddI32 = 1053,
  kAddI64,
  kAddU64,
  kAddF32 = 1058,
  kAddF64,
  kMulI64 = 1061,
  kMulU64,
  kMulI64I32 = 1065,
  kMulI32I64 = 1067,
  kMulI64b = 1069,
  kMulI64c = 1071,
  kMulF32 = 1073,
  kMulF64,
  kDivI32 = 1077,
  kDivI64,
  kDivU64,
  kDivF32 = 1082,
  kDivF64,
  kModI32 = 1085,
  kModI64,
  kModU64,
  kModF32 = 1090,
  kModF64,
  kSignI32 = 1136,
  kSignI64,
  kSignU64,
  kSignF32 = 1141,
  kSignF64,
  kDivzI32 = 1143,
  kDivzI64,
  kDivzU64,
  kDivzF32 = 1148,
  kDivzF64,
  kDivznI32 = 1150,
  kDivznI64,
  kDivznU64,
  kDivznF32 = 1155,
  kDivznF64,
  kLoadNulls = 240,
};

template <class T>
using R2 = Row<T, T, T>;

TEST(ArithmeticIntegers, AddSubtractAndMultiplyWrap) {
  expectTable<int>(kAddI32,
                   std::vector<R2<int>>{{{kI32Max, 1}, kI32Min}, {{kI32Min, -1}, kI32Max}, {{-5, 3}, -2}});
  expectTable<int>(kSubI32,
                   std::vector<R2<int>>{{{kI32Min, 1}, kI32Max}, {{kI32Max, -1}, kI32Min}, {{3, 5}, -2}});
  expectTable<long>(kAddI64, std::vector<R2<long>>{{{kI64Max, 1}, kI64Min}, {{-7, 7}, 0}});
  expectTable<long>(kSubI64, std::vector<R2<long>>{{{kI64Min, 1}, kI64Max}, {{0, kI64Min}, kI64Min}});
  expectTable<unsigned long>(kAddU64, std::vector<R2<unsigned long>>{{{kU64Max, 2}, 1}, {{3, 4}, 7}});
  expectTable<unsigned long>(kSubU64, std::vector<R2<unsigned long>>{{{0, 1}, kU64Max}, {{9, 4}, 5}});
  for (int op : {kMulI64, kMulI64b, kMulI64c})
    expectTable<long>(
        op, std::vector<R2<long>>{
                {{kI64Max, 2}, -2}, {{kI64Min, -1}, kI64Min}, {{1L << 32, 1L << 32}, 0}, {{-3, 7}, -21}});
  expectTable<unsigned long>(kMulU64,
                             std::vector<R2<unsigned long>>{{{kU64Max, kU64Max}, 1}, {{1UL << 63, 2}, 0}});
}

TEST(ArithmeticIntegers, MixedMultiplicationsSignExtendTheI32) {
  expectTable<long>(kMulI64I32, std::vector<Row<long, long, int>>{{{1L << 32, -1}, -(1L << 32)},
                                                                  {{kI64Max, 2}, -2},
                                                                  {{-6, kI32Min}, 12884901888L}});
  expectTable<long>(kMulI32I64,
                    std::vector<Row<long, int, long>>{{{-1, 1L << 32}, -(1L << 32)},
                                                      {{kI32Max, kI32Max}, 4611686014132420609L}});
}

TEST(ArithmeticIntegers, SignedDivisionNamesZeroDivisorAndOverflow) {
  // Failed rows: value -1 for a zero divisor (code 2), the minimum for minimum / -1 (code 17); the
  // end of the batch clears them, so only the states are compared there.
  expectTable<int>(kDivI32, std::vector<R2<int>>{{{kI32Min, -1}, 0, 17},
                                                 {{7, 0}, 0, 2},
                                                 {{7, 2}, 3},
                                                 {{-7, 2}, -3},
                                                 {{7, -2}, -3},
                                                 {{kI32Min, 1}, kI32Min},
                                                 {{0, 0}, 0, 2}});
  expectTable<long>(kDivI64,
                    std::vector<R2<long>>{
                        {{kI64Min, -1}, 0, 17}, {{-9, 0}, 0, 2}, {{-9, 4}, -2}, {{kI64Max, -1}, -kI64Max}});
  expectTable<unsigned long>(
      kDivU64,
      std::vector<R2<unsigned long>>{{{5, 0}, 0, 2}, {{kU64Max, 2}, kU64Max / 2}, {{kU64Max, kU64Max}, 1}});
}

TEST(ArithmeticIntegers, ModuloNeverFails) {
  expectTable<int>(kModI32, std::vector<R2<int>>{{{7, 0}, -1},
                                                 {{kI32Min, -1}, 0},
                                                 {{kI32Max, -1}, 0},
                                                 {{-7, 2}, -1},
                                                 {{7, -2}, 1},
                                                 {{kI32Min, kI32Max}, -1}});
  expectTable<long>(kModI64,
                    std::vector<R2<long>>{{{7, 0}, -1}, {{kI64Min, -1}, 0}, {{-9, 4}, -1}, {{9, -4}, 1}});
  expectTable<unsigned long>(
      kModU64, std::vector<R2<unsigned long>>{{{5, 0}, kU64Max}, {{kU64Max, 10}, 5}, {{3, 7}, 3}});
}

TEST(ArithmeticFloats, IeeeResultsWithoutChecks) {
  expectTable<double>(kAddF64, std::vector<R2<double>>{{{0.1, 0.2}, 0.30000000000000004},
                                                       {{-0.0, -0.0}, -0.0},
                                                       {{-0.0, 0.0}, 0.0},
                                                       {{kInf, -kInf}, kNaN},
                                                       {{1e308, 1e308}, kInf}});
  expectTable<double>(kSubF64,
                      std::vector<R2<double>>{{{0.0, 0.0}, 0.0}, {{-0.0, 0.0}, -0.0}, {{1.0, kNaN}, kNaN}});
  expectTable<double>(kMulF64,
                      std::vector<R2<double>>{{{-0.0, 5.0}, -0.0}, {{kInf, 0.0}, kNaN}, {{1.5, -2.0}, -3.0}});
  expectTable<double>(
      kDivF64, std::vector<R2<double>>{
                   {{1.0, 0.0}, kInf}, {{1.0, -0.0}, -kInf}, {{0.0, 0.0}, kNaN}, {{1.0, 3.0}, 1.0 / 3.0}});
  expectTable<float>(kAddF32,
                     std::vector<R2<float>>{{{0.1f, 0.2f}, 0.3f}, {{16777216.0f, 1.0f}, 16777216.0f}});
  expectTable<float>(kSubF32, std::vector<R2<float>>{{{-0.0f, 0.0f}, -0.0f}, {{kInfF, kInfF}, kNaNF}});
  expectTable<float>(kMulF32, std::vector<R2<float>>{{{3.0e38f, 10.0f}, kInfF}, {{-2.0f, 0.0f}, -0.0f}});
  expectTable<float>(kDivF32, std::vector<R2<float>>{{{-1.0f, 0.0f}, -kInfF}, {{1.0f, 3.0f}, 1.0f / 3.0f}});
}

TEST(ArithmeticFloats, ProductAndSumAreRoundedSeparately) {
  // (1 + 2^-30)(1 - 2^-30) = 1 - 2^-60 rounds to 1, so adding -1 gives 0; a fused multiply-add would
  // give -2^-60.
  const double a = 1.0 + std::ldexp(1.0, -30), b = 1.0 - std::ldexp(1.0, -30);
  Program p;
  p.column(208, 0).column(208, 1).op(kMulF64).column(208, 2).op(kAddF64);
  HarnessCase c(p);
  c.addColumn<double>({a}).addColumn<double>({b}).addColumn<double>({-1.0});
  c.expectRows<double>({0.0});
}

TEST(ArithmeticFloats, ModuloIsFmod) {
  // fmod is exact: 0.5f mod 0.3f is the f32 difference 0.5f - 0.3f (itself exact), not 0.2f.
  expectTable<double>(kModF64, std::vector<R2<double>>{{{-7.5, 2.0}, -1.5},
                                                       {{7.5, -2.0}, 1.5},
                                                       {{5.0, 0.0}, kNaN},
                                                       {{kInf, 1.0}, kNaN},
                                                       {{5.0, kInf}, 5.0},
                                                       {{-4.0, 2.0}, -0.0}});
  expectTable<float>(
      kModF32,
      std::vector<R2<float>>{{{-7.5f, 2.0f}, -1.5f}, {{1.0f, 0.0f}, kNaNF}, {{0.5f, 0.3f}, 0.5f - 0.3f}});
}

TEST(ArithmeticSign, MinusOneZeroOrOne) {
  using I8 = std::int8_t;
  expectTable<I8>(kSignI32, std::vector<Row<I8, int>>{{{kI32Min}, -1}, {{0}, 0}, {{kI32Max}, 1}});
  expectTable<I8>(kSignI64, std::vector<Row<I8, long>>{{{kI64Min}, -1}, {{0}, 0}, {{1}, 1}});
  expectTable<I8>(kSignU64, std::vector<Row<I8, unsigned long>>{{{0}, 0}, {{kU64Max}, 1}});
  expectTable<I8>(kSignF64, std::vector<Row<I8, double>>{{{kNaN}, 0},
                                                         {{-kNaN}, 0},
                                                         {{-0.0}, 0},
                                                         {{0.0}, 0},
                                                         {{-kInf}, -1},
                                                         {{4.9e-324}, 1},
                                                         {{-4.9e-324}, -1}});
  expectTable<I8>(kSignF32,
                  std::vector<Row<I8, float>>{{{kNaNF}, 0}, {{-0.0f}, 0}, {{kInfF}, 1}, {{-1e-45f}, -1}});
}

TEST(ArithmeticGuardedDivision, FallbackWhereTheQuotientIsUndefined) {
  using R3 = Row<int, int, int, int>;
  expectTable<int>(
      kDivzI32, std::vector<R3>{
                    {{7, 0, 42}, 42}, {{kI32Min, -1, 42}, 42}, {{7, 2, 42}, 3}, {{kI32Min, 1, 0}, kI32Min}});
  expectTable<long>(kDivzI64, std::vector<Row<long, long, long, long>>{
                                  {{7, 0, -5}, -5}, {{kI64Min, -1, 1}, 1}, {{-9, 4, 0}, -2}});
  expectTable<unsigned long>(kDivzU64,
                             std::vector<Row<unsigned long, unsigned long, unsigned long, unsigned long>>{
                                 {{5, 0, 9}, 9}, {{kU64Max, kU64Max, 9}, 1}});
  // Floats fall back only for a divisor equal to zero; a NaN divisor divides.
  expectTable<double>(kDivzF64, std::vector<Row<double, double, double, double>>{{{1.0, kNaN, 5.0}, kNaN},
                                                                                 {{1.0, 0.0, 5.0}, 5.0},
                                                                                 {{1.0, -0.0, 5.0}, 5.0},
                                                                                 {{1.0, 4.0, 5.0}, 0.25},
                                                                                 {{kInf, kInf, 5.0}, kNaN}});
  expectTable<float>(kDivzF32, std::vector<Row<float, float, float, float>>{{{1.0f, kNaNF, 5.0f}, kNaNF},
                                                                            {{1.0f, -0.0f, 5.0f}, 5.0f},
                                                                            {{1.0f, 8.0f, 5.0f}, 0.125f}});
}

// a, b, c as columns 0-2 with their null flags as columns 3-5, then the guarded division.
template <class T>
void expectGuardedWithNulls(int op, int load, const std::vector<T>& a, const std::vector<T>& b,
                            const std::vector<T>& c, const std::vector<bool>& na, const std::vector<bool>& nb,
                            const std::vector<bool>& nc, const std::vector<T>& values,
                            const std::vector<std::uint8_t>& states) {
  LoadNullFlagsForTest loadNulls;
  Program p;
  p.column(load, 0).column(kLoadNulls, 3).column(load, 1).column(kLoadNulls, 4).column(load, 2);
  p.column(kLoadNulls, 5).op(op);
  HarnessCase hc(p);
  hc.addColumn<T>(a);
  hc.addColumn<T>(b);
  hc.addColumn<T>(c);
  hc.addNullFlags(na).addNullFlags(nb).addNullFlags(nc);
  hc.expectRows<T>(values, states);
}

TEST(ArithmeticGuardedDivision, WithNullsTheDivisorsNullWins) {
  // Rows: defined division with a null, b null, neither; undefined division (b = 0, or min / -1) with
  // c null, b null, a null (ignored), none.
  expectGuardedWithNulls<int>(kDivznI32, 139, {8, 8, 8, 8, 8, kI32Min, 8}, {2, 2, 2, 0, 0, -1, 0},
                              {5, 5, 5, 5, 5, 5, 5}, {1, 0, 0, 0, 0, 1, 0}, {0, 1, 0, 0, 1, 0, 0},
                              {1, 1, 1, 1, 0, 0, 0}, {0, 0, 4, 0, 0, 5, 5}, {1, 1, 0, 1, 1, 0, 0});
  expectGuardedWithNulls<long>(kDivznI64, 153, {kI64Min, 9, 9}, {-1, 3, 0}, {7, 7, 7}, {0, 0, 1}, {0, 1, 0},
                               {0, 0, 0}, {7, 0, 7}, {0, 1, 0});
  expectGuardedWithNulls<unsigned long>(kDivznU64, 164, {9, 9}, {0, 3}, {7, 7}, {1, 0}, {0, 0}, {1, 1},
                                        {0, 3}, {1, 0});
  expectGuardedWithNulls<double>(kDivznF64, 208, {1.0, 1.0, 1.0, 1.0}, {kNaN, 0.0, -0.0, 2.0},
                                 {5.0, 5.0, 5.0, 5.0}, {0, 1, 0, 0}, {0, 0, 0, 1}, {1, 0, 1, 0},
                                 {kNaN, 5.0, 0.0, 0.0}, {0, 0, 1, 1});
  expectGuardedWithNulls<float>(kDivznF32, 197, {3.0f, 3.0f}, {0.0f, 2.0f}, {5.0f, 5.0f}, {0, 1}, {0, 0},
                                {0, 0}, {5.0f, 0.0f}, {0, 1});
}

} // namespace
