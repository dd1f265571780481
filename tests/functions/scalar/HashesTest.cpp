// The MurmurHash3 hash ops through both evaluators, every code in every constant/column form, against
// MurmurHash3_x64_128 computed directly on the operand's bytes: the 64-bit form (both states from the
// i64 seed, first half returned), the 128-bit form seeded with the two words of a u128 (low word to the
// first state) and the fixed seed 10. The operand width comes from each op's catalogue row.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "base/MurmurHash3.h"
#include "base/ParserUtils.h"
#include "base/ProgramBuilder.h"
#include "tests/support/EvalHarness.h"

using namespace quarry::test;
using vela::ParserUtils::Program;

namespace {

enum class Seed { I64, U128, Fixed };

// Plain column load and constant of each cell width (loads move cells by width only).
struct WidthOps {
  std::size_t width;
  int load, constant;
};
constexpr WidthOps kWidthOps[] = {{1, 117, 35},   {2, 128, 36},  {4, 139, 37},  {8, 153, 40},
                                  {12, 186, 43},  {16, 148, 39}, {32, 223, 58}, {64, 224, 59},
                                  {128, 225, 60}, {256, 226, 61}};
const WidthOps& opsOfWidth(std::size_t w) {
  return *std::find_if(std::begin(kWidthOps), std::end(kWidthOps),
                       [w](const WidthOps& o) { return o.width == w; });
}

std::size_t operandWidth(int code) {
  const vela::ParserUtils::OpInfo* info = vela::ParserUtils::opInfo(code);
  return vela::ParserUtils::get_rpn_datatype_size(info->operands[0]);
}

using Cell = std::array<unsigned char, 256>; // a constant's operand area; only the op's width is read

// The expected result cell (8 or 16 bytes) of one row.
std::vector<unsigned char> expectedHash(Seed seed, const unsigned char* value, std::size_t width,
                                        const unsigned char* seedBytes) {
  unsigned char h[16];
  if (seed == Seed::Fixed) {
    vela::MurmurHash3_x64_128(value, static_cast<int>(width), 10, h);
    return {h, h + 16};
  }
  std::uint64_t s1, s2;
  std::memcpy(&s1, seedBytes, 8);
  std::memcpy(&s2, seed == Seed::U128 ? seedBytes + 8 : seedBytes, 8);
  vela::MurmurHash3_x64_128_seeded(value, width, s1, s2, h);
  return {h, h + (seed == Seed::I64 ? 8 : 16)};
}

// Runs `code` with the value and the seed each a column (bit clear) or a constant (bit set in `mask`).
void expectHashes(int code, Seed seed, unsigned mask) {
  const std::size_t width = operandWidth(code), seedWidth = seed == Seed::U128 ? 16 : 8;
  const bool valueConstant = mask & 1u, seedConstant = (mask & 2u) && seed != Seed::Fixed;
  const unsigned long rows = valueConstant || seedConstant ? 1 : 9;
  std::mt19937_64 gen(static_cast<unsigned long>(code) * 31 + mask);
  std::vector<unsigned char> values(rows * width), seeds(rows * seedWidth);
  for (auto& b : values)
    b = static_cast<unsigned char>(gen());
  for (auto& b : seeds)
    b = static_cast<unsigned char>(gen());
  if (rows > 2) { // an all-zero and an all-ones value
    std::memset(values.data(), 0, width);
    std::memset(values.data() + width, 0xFF, width);
  }

  Program p;
  int column = 0;
  Cell cell{};
  if (valueConstant) {
    std::memcpy(cell.data(), values.data(), width);
    p.constant(opsOfWidth(width).constant, cell);
  } else {
    p.column(opsOfWidth(width).load, column++);
  }
  if (seed != Seed::Fixed) {
    if (seedConstant) {
      Cell s{};
      std::memcpy(s.data(), seeds.data(), seedWidth);
      p.constant(opsOfWidth(seedWidth).constant, s);
    } else {
      p.column(opsOfWidth(seedWidth).load, column++);
    }
  }
  p.op(code);
  HarnessCase c(p);
  if (!valueConstant)
    c.addRawColumn(width, rows, values);
  if (seed != Seed::Fixed && !seedConstant)
    c.addRawColumn(seedWidth, rows, seeds);
  if (rows == 1)
    c.rows(1).rowCounts({63, 65, 1000});

  SCOPED_TRACE(testing::Message() << vela::ParserUtils::get_trpn_op_name(code) << ", width " << width
                                  << ", constant mask " << mask);
  const HarnessResult r = c.run();
  ASSERT_EQ(r.rows, rows);
  EXPECT_EQ(r.code, 0);
  for (unsigned long row = 0; row < rows; ++row) {
    const std::vector<unsigned char> want =
        expectedHash(seed, values.data() + row * width, width, seeds.data() + row * seedWidth);
    ASSERT_EQ(r.width, want.size());
    EXPECT_EQ(std::memcmp(r.values.data() + row * r.width, want.data(), want.size()), 0) << "row " << row;
    EXPECT_EQ(r.states.at(row), 0);
  }
}

TEST(Hashes, SixtyFourBitWithAnI64Seed) {
  for (int code = 2197; code <= 2216; ++code)
    for (unsigned mask = 0; mask < 4; ++mask)
      expectHashes(code, Seed::I64, mask);
}

TEST(Hashes, OneTwentyEightBitWithAU128Seed) {
  for (int code = 2223; code <= 2242; ++code)
    for (unsigned mask = 0; mask < 4; ++mask)
      expectHashes(code, Seed::U128, mask);
  for (unsigned mask = 0; mask < 4; ++mask)
    expectHashes(2646, Seed::U128, mask);
}

TEST(Hashes, OneTwentyEightBitWithTheFixedSeed) {
  for (int code = 2251; code <= 2270; ++code)
    for (unsigned mask = 0; mask < 2; ++mask)
      expectHashes(code, Seed::Fixed, mask);
}

TEST(Hashes, EveryWidthOfTheCatalogueIsCovered) {
  // The ten storage widths the twenty kinds of a form fall into, each hashed with its own length.
  std::vector<std::size_t> widths;
  for (int code = 2197; code <= 2216; ++code)
    widths.push_back(operandWidth(code));
  for (const WidthOps& o : kWidthOps)
    EXPECT_NE(std::find(widths.begin(), widths.end(), o.width), widths.end()) << o.width;
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(operandWidth(2223 + k), widths[k]);
    EXPECT_EQ(operandWidth(2251 + k), widths[k]);
  }
}

} // namespace
