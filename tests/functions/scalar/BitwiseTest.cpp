// Logic, bitwise operators, shifts, negation and absolute value, and the packing of two integers into
// one value, through both evaluators.
#include <bit>
#include <limits>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

constexpr int kI32Min = std::numeric_limits<int>::min(), kI32Max = std::numeric_limits<int>::max();
constexpr long kI64Min = std::numeric_limits<long>::min(), kI64Max = std::numeric_limits<long>::max();
constexpr unsigned long kU64Max = std::numeric_limits<unsigned long>::max();
using B = std::uint8_t;
using U64 = unsigned long;

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
