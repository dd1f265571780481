// Integer and float arithmetic, sign and guarded division, logic, bitwise operators, shifts, negation,
// absolute value and the packing of two integers into one value, through both evaluators: wrap-around
// at both ends, the division and modulo edge cases with their row codes, IEEE results with signed zeros
// and NaN, and sign changes of floats as bits.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

constexpr int kI32Min = std::numeric_limits<int>::min(), kI32Max = std::numeric_limits<int>::max();
constexpr long kI64Min = std::numeric_limits<long>::min(), kI64Max = std::numeric_limits<long>::max();
constexpr unsigned long kU64Max = std::numeric_limits<unsigned long>::max();
constexpr double kInf = std::numeric_limits<double>::infinity(),
                 kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr float kInfF = std::numeric_limits<float>::infinity(),
                kNaNF = std::numeric_limits<float>::quiet_NaN();
using U64 = unsigned long;
using B = std::uint8_t;
template <class T>
using R2 = Row<T, T, T>;

TEST(ArithmeticIntegers, AddSubtractAndMultiplyWrap) {
  expectTable<int>(1053,
                   std::vector<R2<int>>{{{kI32Max, 1}, kI32Min}, {{kI32Min, -1}, kI32Max}, {{-5, 3}, -2}});
  expectTable<long>(1045, std::vector<R2<long>>{{{kI64Min, 1}, kI64Max}, {{0, kI64Min}, kI64Min}});
  expectTable<U64>(1055, std::vector<R2<U64>>{{{kU64Max, 2}, 1}});
  expectTable<U64>(1046, std::vector<R2<U64>>{{{0, 1}, kU64Max}});
  for (int op : {1061, 1069, 1071})
    expectTable<long>(op,
                      std::vector<R2<long>>{{{kI64Max, 2}, -2}, {{kI64Min, -1}, kI64Min}, {{-3, 7}, -21}});
  expectTable<U64>(1062, std::vector<R2<U64>>{{{kU64Max, kU64Max}, 1}, {{1UL << 63, 2}, 0}});
  // The i32 operand of a mixed product is sign-extended, whichever side it is on.
  expectTable<long>(1065, std::vector<Row<long, long, int>>{{{1L << 32, -1}, -(1L << 32)}});
  expectTable<long>(1067, std::vector<Row<long, int, long>>{{{kI32Max, kI32Max}, 4611686014132420609L}});
}

TEST(ArithmeticIntegers, DivisionNamesZeroDivisorAndOverflow) {
  expectTable<int>(1077, std::vector<R2<int>>{{{kI32Min, -1}, 0, 17},
                                              {{7, 0}, 0, 2},
                                              {{0, 0}, 0, 2},
                                              {{-7, 2}, -3},
                                              {{7, -2}, -3},
                                              {{kI32Min, 1}, kI32Min}});
  expectTable<long>(
      1078, std::vector<R2<long>>{{{kI64Min, -1}, 0, 17}, {{-9, 0}, 0, 2}, {{kI64Max, -1}, -kI64Max}});
  // Unsigned: the all-ones dividend is the largest value, not -1.
  expectTable<U64>(1079, std::vector<R2<U64>>{{{5, 0}, 0, 2}, {{kU64Max, 2}, kU64Max / 2}});
}

// DIV_I32 divides in double precision: every pair of a grid of extremes and of random magnitudes (the
// dividend near a multiple of the divisor, where a rounded quotient would show) against the integer
// divide, the two failing rows by their rules.
TEST(ArithmeticIntegers, Int32DivisionMatchesTheIntegerDivide) {
  std::vector<int> values = {kI32Min, kI32Min + 1, -65537, -3,    -2,          -1,     0,
                             1,       2,           3,      46341, kI32Max - 1, kI32Max};
  std::mt19937 rng(1077);
  for (int k = 0; k < 8; ++k)
    values.push_back(static_cast<int>(rng()));
  std::vector<R2<int>> rows;
  for (int a : values)
    for (int b : values)
      rows.push_back({{a, b}, 0, 0});
  for (int k = 0; k < 300; ++k) {
    const int b = static_cast<int>(rng()) >> (rng() % 31);
    const long q = static_cast<long>(static_cast<int>(rng())) / (b == 0 ? 1 : b);
    const long a = q * b + static_cast<long>(rng() % 3) - 1; // a multiple of b, one below or one above
    rows.push_back({{static_cast<int>(std::clamp<long>(a, kI32Min, kI32Max)), b}, 0, 0});
  }
  for (R2<int>& r : rows) {
    const auto [a, b] = r.in;
    if (b == 0)
      r.state = 2;
    else if (a == kI32Min && b == -1)
      r.state = 17;
    else
      r.out = a / b;
  }
  expectTable<int>(1077, rows);
}

TEST(ArithmeticIntegers, ModuloNeverFails) {
  expectTable<int>(
      1085, std::vector<R2<int>>{
                {{7, 0}, -1}, {{kI32Min, -1}, 0}, {{-7, 2}, -1}, {{7, -2}, 1}, {{kI32Min, kI32Max}, -1}});
  expectTable<long>(1086, std::vector<R2<long>>{{{7, 0}, -1}, {{kI64Min, -1}, 0}});
  expectTable<U64>(1087, std::vector<R2<U64>>{{{5, 0}, kU64Max}, {{kU64Max, 10}, 5}});
}

TEST(ArithmeticFloats, IeeeResultsWithoutChecks) {
  expectTable<double>(
      1059, std::vector<R2<double>>{
                {{-0.0, -0.0}, -0.0}, {{-0.0, 0.0}, 0.0}, {{kInf, -kInf}, kNaN}, {{1e308, 1e308}, kInf}});
  expectTable<double>(1050, std::vector<R2<double>>{{{-0.0, 0.0}, -0.0}, {{1.0, kNaN}, kNaN}});
  expectTable<double>(1074, std::vector<R2<double>>{{{-0.0, 5.0}, -0.0}, {{kInf, 0.0}, kNaN}});
  expectTable<double>(
      1083, std::vector<R2<double>>{{{1.0, -0.0}, -kInf}, {{0.0, 0.0}, kNaN}, {{1.0, 3.0}, 1.0 / 3.0}});
  // f32 arithmetic is rounded to f32 at each step: 2^24 + 1 is 2^24.
  expectTable<float>(1058,
                     std::vector<R2<float>>{{{16777216.0f, 1.0f}, 16777216.0f}, {{0.1f, 0.2f}, 0.1f + 0.2f}});
  expectTable<float>(1049, std::vector<R2<float>>{{{kInfF, kInfF}, kNaNF}});
  expectTable<float>(1073, std::vector<R2<float>>{{{3.0e38f, 10.0f}, kInfF}, {{-2.0f, 0.0f}, -0.0f}});
  expectTable<float>(1082, std::vector<R2<float>>{{{-1.0f, 0.0f}, -kInfF}, {{1.0f, 3.0f}, 1.0f / 3.0f}});
}

TEST(ArithmeticFloats, ProductAndSumAreRoundedSeparately) {
  // (1 + 2^-30)(1 - 2^-30) = 1 - 2^-60 rounds to 1, so adding -1 gives 0; a fused multiply-add would
  // give -2^-60.
  const double a = 1.0 + std::ldexp(1.0, -30), b = 1.0 - std::ldexp(1.0, -30);
  Program p;
  p.column(kLoadF64, 0).column(kLoadF64, 1).op(1074).column(kLoadF64, 2).op(1059);
  HarnessCase(p).addColumn<double>({a}).addColumn<double>({b}).addColumn<double>({-1.0}).expectRows<double>(
      {0.0});
}

TEST(ArithmeticFloats, ModuloIsFmod) {
  // fmod is exact: 0.5f mod 0.3f is the f32 difference 0.5f - 0.3f (itself exact), not 0.2f.
  expectTable<double>(1091,
                      std::vector<R2<double>>{
                          {{-7.5, 2.0}, -1.5}, {{5.0, 0.0}, kNaN}, {{5.0, kInf}, 5.0}, {{-4.0, 2.0}, -0.0}});
  expectTable<float>(1090, std::vector<R2<float>>{{{1.0f, 0.0f}, kNaNF}, {{0.5f, 0.3f}, 0.5f - 0.3f}});
}

TEST(ArithmeticSign, MinusOneZeroOrOne) {
  using I8 = std::int8_t;
  expectTable<I8>(1136, std::vector<Row<I8, int>>{{{kI32Min}, -1}, {{0}, 0}, {{kI32Max}, 1}});
  expectTable<I8>(1138, std::vector<Row<I8, U64>>{{{kU64Max}, 1}});
  expectTable<I8>(
      1142, std::vector<Row<I8, double>>{
                {{kNaN}, 0}, {{-kNaN}, 0}, {{-0.0}, 0}, {{-kInf}, -1}, {{4.9e-324}, 1}, {{-4.9e-324}, -1}});
  expectTable<I8>(1141, std::vector<Row<I8, float>>{{{kNaNF}, 0}, {{-1e-45f}, -1}});
}

TEST(ArithmeticGuardedDivision, FallbackWhereTheQuotientIsUndefined) {
  expectTable<int>(
      1143, std::vector<Row<int, int, int, int>>{
                {{7, 0, 42}, 42}, {{kI32Min, -1, 42}, 42}, {{7, 2, 42}, 3}, {{kI32Min, 1, 0}, kI32Min}});
  expectTable<U64>(1145, std::vector<Row<U64, U64, U64, U64>>{{{5, 0, 9}, 9}, {{kU64Max, kU64Max, 9}, 1}});
  // Floats fall back only for a divisor equal to zero; a NaN divisor divides.
  expectTable<double>(1149, std::vector<Row<double, double, double, double>>{{{1.0, kNaN, 5.0}, kNaN},
                                                                             {{1.0, -0.0, 5.0}, 5.0},
                                                                             {{kInf, kInf, 5.0}, kNaN}});
}

// a, b, c as columns 0-2 with their null flags as columns 3-5, then the guarded division.
template <class T>
void expectGuardedWithNulls(int op, const std::vector<T>& a, const std::vector<T>& b, const std::vector<T>& c,
                            const std::vector<bool>& na, const std::vector<bool>& nb,
                            const std::vector<bool>& nc, const std::vector<T>& values,
                            const std::vector<std::uint8_t>& states) {
  const int load = Storage<T>::load;
  Program p;
  p.column(load, 0).column(kLoadStates, 3).column(load, 1).column(kLoadStates, 4).column(load, 2);
  p.column(kLoadStates, 5).op(op);
  HarnessCase hc(p);
  hc.addColumn(a);
  hc.addColumn(b);
  hc.addColumn(c);
  hc.addNullFlags(na).addNullFlags(nb).addNullFlags(nc);
  hc.expectRows<T>(values, states);
}

TEST(ArithmeticGuardedDivision, WithNullsTheDivisorsNullWins) {
  // Rows: defined division with a null, b null, neither; undefined division (b = 0, or min / -1) with
  // c null, b null, a null (ignored), none.
  expectGuardedWithNulls<int>(1150, {8, 8, 8, 8, 8, kI32Min, 8}, {2, 2, 2, 0, 0, -1, 0},
                              {5, 5, 5, 5, 5, 5, 5}, {1, 0, 0, 0, 0, 1, 0}, {0, 1, 0, 0, 1, 0, 0},
                              {1, 1, 1, 1, 0, 0, 0}, {0, 0, 4, 0, 0, 5, 5}, {1, 1, 0, 1, 1, 0, 0});
  expectGuardedWithNulls<double>(1156, {1.0, 1.0, 1.0, 1.0}, {kNaN, 0.0, -0.0, 2.0}, {5.0, 5.0, 5.0, 5.0},
                                 {0, 1, 0, 0}, {0, 0, 0, 1}, {1, 0, 1, 0}, {kNaN, 5.0, 0.0, 0.0},
                                 {0, 0, 1, 1});
}

TEST(BitwiseLogic, BooleansAndEveryOperatorOnMixedBits) {
  expectTable<B>(803, std::vector<Row<B, B>>{{{0}, 1}, {{1}, 0}});
  std::vector<Row<B, B, B>> andRows, xorRows, orRows;
  for (B a : {0, 1})
    for (B b : {0, 1}) {
      andRows.push_back({{a, b}, B(a && b)});
      xorRows.push_back({{a, b}, B(a != b)});
      orRows.push_back({{a, b}, B(a || b)});
    }
  expectTable<B>(804, andRows);
  expectTable<B>(805, xorRows);
  expectTable<B>(806, orRows);
  const int x = 0x3C3C5A5A, y = -0x0F0FF001; // mixed bits and a negative operand
  expectTable<int>(807, std::vector<Row<int, int>>{{{kI32Min}, kI32Max}, {{x}, ~x}});
  expectTable<U64>(811, std::vector<Row<U64, U64>>{{{0}, kU64Max}});
  expectTable<int>(812, std::vector<Row<int, int, int>>{{{x, y}, x | y}});
  expectTable<int>(817, std::vector<Row<int, int, int>>{{{x, y}, x ^ y}});
  expectTable<int>(822, std::vector<Row<int, int, int>>{{{x, y}, x & y}});
  expectTable<long>(825, std::vector<Row<long, long, long>>{{{kI64Min, -1}, kI64Min}});
}

TEST(BitwiseShifts, CountsOfTheWidthOrNegativeGiveZero) {
  expectTable<int>(827,
                   std::vector<Row<int, int, int>>{
                       {{1, 31}, kI32Min}, {{1, 32}, 0}, {{1, -1}, 0}, {{-1, 1}, -2}, {{3, kI32Min}, 0}});
  expectTable<long>(828,
                    std::vector<Row<long, long, int>>{{{1, 63}, kI64Min}, {{1, 64}, 0}, {{kI64Max, 1}, -2}});
  expectTable<U64>(829, std::vector<Row<U64, U64, int>>{{{kU64Max, 63}, 1UL << 63}, {{1, 64}, 0}});
  // Right shifts of negative values are arithmetic, yet a count of the width still gives 0, not -1.
  expectTable<int>(830, std::vector<Row<int, int, int>>{
                            {{-8, 1}, -4}, {{-8, 31}, -1}, {{-8, 32}, 0}, {{-8, -1}, 0}, {{kI32Max, 30}, 1}});
  expectTable<long>(831, std::vector<Row<long, long, int>>{{{-1, 63}, -1}, {{-1, 64}, 0}});
  expectTable<U64>(832, std::vector<Row<U64, U64, int>>{{{kU64Max, 63}, 1}, {{kU64Max, 64}, 0}});
}

TEST(BitwiseSignChanges, IntegersWrapAtTheMinimum) {
  expectTable<int>(833, std::vector<Row<int, int>>{{{kI32Min}, kI32Min}, {{5}, -5}});
  expectTable<long>(834, std::vector<Row<long, long>>{{{kI64Min}, kI64Min}});
  expectTable<int>(839, std::vector<Row<int, int>>{{{kI32Min}, kI32Min}, {{-5}, 5}, {{5}, 5}});
  expectTable<long>(840, std::vector<Row<long, long>>{{{kI64Min}, kI64Min}, {{-kI64Max}, kI64Max}});
}

TEST(BitwiseSignChanges, FloatsTouchOnlyTheSignBit) {
  // Compared as bits, so that signed zeros and NaN payloads count.
  using U32 = std::uint32_t;
  const U32 nan = 0x7FC12345u, negNan = 0xFFC12345u;
  auto bits = [](float f) { return std::bit_cast<U32>(f); };
  expectTable<U32>(837, std::vector<Row<U32, float>>{{{0.0f}, bits(-0.0f)},
                                                     {{std::bit_cast<float>(nan)}, negNan},
                                                     {{1.5f}, bits(-1.5f)}});
  expectTable<U32>(
      844, std::vector<Row<U32, float>>{{{-0.0f}, bits(0.0f)}, {{std::bit_cast<float>(negNan)}, nan}});
  const U64 nanD = 0x7FF800000000BEEFUL, negNanD = 0xFFF800000000BEEFUL;
  auto bitsD = [](double d) { return std::bit_cast<U64>(d); };
  expectTable<U64>(
      838, std::vector<Row<U64, double>>{{{0.0}, bitsD(-0.0)}, {{std::bit_cast<double>(negNanD)}, nanD}});
  expectTable<U64>(
      845, std::vector<Row<U64, double>>{{{-0.0}, bitsD(0.0)}, {{std::bit_cast<double>(negNanD)}, nanD}});
}

TEST(BitwisePacking, FirstValueInTheLowHalf) {
  using I8 = std::int8_t;
  using I16 = std::int16_t;
  // A negative first value must not spill its sign into the high half.
  expectTable<I16>(2642, std::vector<Row<I16, I8, I8>>{{{-1, 0}, 0x00FF}, {{0, -1}, I16(-256)}});
  expectTable<int>(2643, std::vector<Row<int, I16, I16>>{{{-1, 0}, 0x0000FFFF}, {{1, 2}, 0x00020001}});
  expectTable<long>(2644,
                    std::vector<Row<long, int, int>>{{{-1, 0}, 0xFFFFFFFFL}, {{kI32Min, -1}, -0x80000000L}});
  fixed_array_t<16> pair;
  const long lo = kI64Min, hi = -1;
  std::memcpy(pair.bytes, &lo, 8);
  std::memcpy(pair.bytes + 8, &hi, 8);
  expectTable<fixed_array_t<16>>(2645, std::vector<Row<fixed_array_t<16>, long, long>>{{{lo, hi}, pair}});
}

} // namespace
