// The MurmurHash3 hash ops through both evaluators against MurmurHash3_x64_128 computed directly on the
// operand's bytes: the 64-bit form (both states from the i64 seed, first half returned), the 128-bit
// form seeded with the two words of a u128 (low word to the first state) and the fixed seed 10. Every
// code runs with column operands (the operand width comes from its catalogue row), the first of each
// form also with constants.
#include <algorithm>
#include <array>
#include <random>

#include "base/MurmurHash3.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

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

// Runs `code` with the value and the seed each a column (bit clear) or a constant (bit set in `mask`).
void expectHashes(int code, Seed seed, unsigned mask) {
  const std::size_t width =
      vela::ParserUtils::get_rpn_datatype_size(vela::ParserUtils::opInfo(code)->operands[0]);
  const std::size_t seedWidth = seed == Seed::U128 ? 16 : 8;
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
  HarnessCase c(p);
  std::array<unsigned char, 256> cell{};
  int column = 0;
  if (valueConstant) {
    std::memcpy(cell.data(), values.data(), width);
    p.constant(opsOfWidth(width).constant, cell);
  } else {
    p.column(opsOfWidth(width).load, column++);
    c.addRawColumn(width, rows, values);
  }
  if (seed != Seed::Fixed && seedConstant) {
    std::array<unsigned char, 256> s{};
    std::memcpy(s.data(), seeds.data(), seedWidth);
    p.constant(opsOfWidth(seedWidth).constant, s);
  } else if (seed != Seed::Fixed) {
    p.column(opsOfWidth(seedWidth).load, column++);
    c.addRawColumn(seedWidth, rows, seeds);
  }
  p.op(code);
  if (rows == 1)
    c.rows(1).rowCounts({63, 65, 1000});
  SCOPED_TRACE(testing::Message() << vela::ParserUtils::get_trpn_op_name(code) << ", constant mask " << mask);
  const HarnessResult r = c.run();
  HarnessCase::checkStates(r, {}, vela::cuda::RPN_EVAL_OK);
  for (unsigned long row = 0; row < rows; ++row) {
    const unsigned char* value = values.data() + row * width;
    unsigned char h[16];
    std::uint64_t s1, s2;
    std::memcpy(&s1, seeds.data() + row * seedWidth, 8);
    std::memcpy(&s2, seeds.data() + row * seedWidth + (seed == Seed::U128 ? 8 : 0), 8);
    if (seed == Seed::Fixed)
      vela::MurmurHash3_x64_128(value, static_cast<int>(width), 10, h);
    else
      vela::MurmurHash3_x64_128_seeded(value, width, s1, s2, h);
    const std::size_t resultWidth = seed == Seed::I64 ? 8 : 16;
    ASSERT_EQ(r.width, resultWidth);
    EXPECT_EQ(std::memcmp(r.values.data() + row * r.width, h, resultWidth), 0) << "row " << row;
  }
}

TEST(Hashes, EveryCodeAgainstTheHashOfItsOperandBytes) {
  const std::tuple<int, int, Seed> forms[] = {
      {2197, 2216, Seed::I64}, {2223, 2242, Seed::U128}, {2646, 2646, Seed::U128}, {2251, 2270, Seed::Fixed}};
  for (const auto& [first, last, seed] : forms)
    for (int code = first; code <= last; ++code)
      for (unsigned mask = 0; mask < (code == first ? 4u : 1u); ++mask)
        expectHashes(code, seed, mask);
}

} // namespace
