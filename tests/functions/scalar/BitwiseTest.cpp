// Logic, bitwise operators, shifts, negation and absolute value, and the packing of two integers into
// one value, through both evaluators.
#include <bit>
#include <cstdint>
#include <cstring>
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

using B = std::uint8_t;
using U64 = unsigned long;

TEST(BitwiseLogic, BooleansBytewise) {
  expectTable<B>(803, std::vector<Row<B, B>>{{{0}, 1}, {{1}, 0}});
  const std::vector<std::pair<B, B>> pairs = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
  std::vector<Row<B, B, B>> andRows, xorRows, orRows;
  for (auto [a, b] : pairs) {
    andRows.push_back({{a, b}, B(a && b)});
    xorRows.push_back({{a, b}, B(a != b)});
    orRows.push_back({{a, b}, B(a || b)});
  }
  expectTable<B>(804, andRows);
  expectTable<B>(805, xorRows);
  expectTable<B>(806, orRows);
}

TEST(BitwiseLogic, ComplementAndBinaryOperatorsOnEveryWidth) {
  for (int op : {807, 808})
    expectTable<int>(
        op, std::vector<Row<int, int>>{{{0}, -1}, {{kI32Min}, kI32Max}, {{0x0F0F0F0F}, -0x0F0F0F10}});
  expectTable<long>(810, std::vector<Row<long, long>>{{{0}, -1}, {{kI64Max}, kI64Min}});
  expectTable<U64>(
      811, std::vector<Row<U64, U64>>{{{0}, kU64Max}, {{0xF0F0F0F0F0F0F0F0UL}, 0x0F0F0F0F0F0F0F0FUL}});

  const int x = 0x3C3C5A5A, y = -0x0F0FF001; // mixed bits and a negative operand
  for (int op : {812, 813})
    expectTable<int>(op, std::vector<Row<int, int, int>>{{{x, y}, x | y}, {{kI32Min, 1}, kI32Min + 1}});
  for (int op : {817, 818})
    expectTable<int>(op, std::vector<Row<int, int, int>>{{{x, y}, x ^ y}, {{-1, kI32Max}, kI32Min}});
  for (int op : {822, 823})
    expectTable<int>(op, std::vector<Row<int, int, int>>{{{x, y}, x & y}, {{-1, 0}, 0}});
  const long lx = 0x123456789ABCDEF0L, ly = -2L;
  expectTable<long>(815, std::vector<Row<long, long, long>>{{{lx, 1}, lx | 1}, {{kI64Min, kI64Max}, -1}});
  expectTable<long>(820, std::vector<Row<long, long, long>>{{{lx, lx}, 0}, {{-1, kI64Max}, kI64Min}});
  expectTable<long>(825, std::vector<Row<long, long, long>>{{{lx, ly}, lx & ly}, {{kI64Min, -1}, kI64Min}});
  expectTable<U64>(816, std::vector<Row<U64, U64, U64>>{{{1UL << 63, 1}, (1UL << 63) | 1}});
  expectTable<U64>(821, std::vector<Row<U64, U64, U64>>{{{kU64Max, 1}, kU64Max - 1}});
  expectTable<U64>(826, std::vector<Row<U64, U64, U64>>{{{kU64Max, 0xFF00}, 0xFF00}});
}

TEST(BitwiseShifts, CountsOfTheWidthOrNegativeGiveZero) {
  expectTable<int>(827, std::vector<Row<int, int, int>>{{{1, 31}, kI32Min},
                                                        {{1, 32}, 0},
                                                        {{1, 33}, 0},
                                                        {{1, -1}, 0},
                                                        {{-1, 1}, -2},
                                                        {{5, 0}, 5},
                                                        {{3, kI32Min}, 0}});
  expectTable<long>(828,
                    std::vector<Row<long, long, int>>{
                        {{1, 63}, kI64Min}, {{1, 64}, 0}, {{3, -5}, 0}, {{-3, 2}, -12}, {{kI64Max, 1}, -2}});
  expectTable<U64>(829,
                   std::vector<Row<U64, U64, int>>{{{kU64Max, 63}, 1UL << 63}, {{1, 64}, 0}, {{1, -64}, 0}});
  // Right shifts of negative values are arithmetic, yet a count of the width still gives 0, not -1.
  expectTable<int>(830, std::vector<Row<int, int, int>>{{{-8, 1}, -4},
                                                        {{-8, 31}, -1},
                                                        {{-8, 32}, 0},
                                                        {{-8, -1}, 0},
                                                        {{kI32Min, 31}, -1},
                                                        {{kI32Max, 30}, 1}});
  expectTable<long>(831, std::vector<Row<long, long, int>>{
                             {{-8, 1}, -4}, {{-1, 63}, -1}, {{-1, 64}, 0}, {{kI64Min, -2}, 0}});
  expectTable<U64>(832, std::vector<Row<U64, U64, int>>{
                            {{kU64Max, 63}, 1}, {{kU64Max, 64}, 0}, {{kU64Max, -1}, 0}, {{8, 3}, 1}});
}

TEST(BitwiseSignChanges, IntegersWrapAtTheMinimum) {
  expectTable<int>(
      833, std::vector<Row<int, int>>{{{kI32Min}, kI32Min}, {{5}, -5}, {{0}, 0}, {{kI32Max}, -kI32Max}});
  expectTable<long>(834, std::vector<Row<long, long>>{{{kI64Min}, kI64Min}, {{-7}, 7}});
  expectTable<int>(
      839, std::vector<Row<int, int>>{{{kI32Min}, kI32Min}, {{-5}, 5}, {{5}, 5}, {{-1}, 1}, {{0}, 0}});
  expectTable<long>(840, std::vector<Row<long, long>>{{{kI64Min}, kI64Min}, {{-kI64Max}, kI64Max}, {{3}, 3}});
}

TEST(BitwiseSignChanges, FloatsTouchOnlyTheSignBit) {
  // Compared as bits, so that signed zeros and NaN payloads count.
  using U32 = std::uint32_t;
  const U32 nanPayload = 0x7FC12345u, negNanPayload = 0xFFC12345u;
  const float nanF = std::bit_cast<float>(nanPayload), negNanF = std::bit_cast<float>(negNanPayload);
  auto bits = [](float f) { return std::bit_cast<U32>(f); };
  expectTable<U32>(837, std::vector<Row<U32, float>>{{{0.0f}, bits(-0.0f)},
                                                     {{-0.0f}, bits(0.0f)},
                                                     {{nanF}, negNanPayload},
                                                     {{1.5f}, bits(-1.5f)},
                                                     {{-std::numeric_limits<float>::infinity()},
                                                      bits(std::numeric_limits<float>::infinity())}});
  expectTable<U32>(
      844, std::vector<Row<U32, float>>{
               {{-0.0f}, bits(0.0f)}, {{negNanF}, nanPayload}, {{-2.5f}, bits(2.5f)}, {{2.5f}, bits(2.5f)}});

  const U64 nanPayloadD = 0x7FF800000000BEEFUL, negNanPayloadD = 0xFFF800000000BEEFUL;
  const double nanD = std::bit_cast<double>(nanPayloadD), negNanD = std::bit_cast<double>(negNanPayloadD);
  auto bitsD = [](double d) { return std::bit_cast<U64>(d); };
  expectTable<U64>(838, std::vector<Row<U64, double>>{
                            {{0.0}, bitsD(-0.0)}, {{negNanD}, nanPayloadD}, {{-4.9e-324}, bitsD(4.9e-324)}});
  expectTable<U64>(845, std::vector<Row<U64, double>>{{{-0.0}, bitsD(0.0)},
                                                      {{negNanD}, nanPayloadD},
                                                      {{nanD}, nanPayloadD},
                                                      {{-1e300}, bitsD(1e300)}});
}

TEST(BitwisePacking, FirstValueInTheLowHalf) {
  using I8 = std::int8_t;
  using I16 = std::int16_t;
  expectTable<I16>(2642,
                   std::vector<Row<I16, I8, I8>>{{{1, 2}, 0x0201}, {{-1, 0}, 0x00FF}, {{0, -1}, I16(-256)}});
  expectTable<int>(
      2643, std::vector<Row<int, I16, I16>>{{{1, 2}, 0x00020001}, {{-1, 0}, 0x0000FFFF}, {{0, -1}, -65536}});
  expectTable<long>(2644, std::vector<Row<long, int, int>>{{{1, 2}, 0x0000000200000001L},
                                                           {{-1, 0}, 0xFFFFFFFFL},
                                                           {{kI32Min, -1}, -0x80000000L}});
  // The 128-bit pair: the first value is the low word, stored first.
  auto pair = [](long lo, long hi) {
    vela::cuda::fixed_array_t<16> p;
    std::memcpy(p.bytes, &lo, 8);
    std::memcpy(p.bytes + 8, &hi, 8);
    return p;
  };
  expectTable<vela::cuda::fixed_array_t<16>>(
      2645, std::vector<Row<vela::cuda::fixed_array_t<16>, long, long>>{{{1, 2}, pair(1, 2)},
                                                                        {{kI64Min, -1}, pair(kI64Min, -1)}});
}

} // namespace
