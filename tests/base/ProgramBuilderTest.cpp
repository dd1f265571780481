// Assembling programs: the fixed-width text layout, decimal constants and owned list constants.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ProgramBuilder.h"
#include "base/VelaException.h"

using namespace vela::ParserUtils;
using vela::int128_t;

TEST(ProgramBuilder, CharNIsStoredFromTheTopDown) {
  unsigned char cell[8];
  packCharN("abc", 8, cell);
  const unsigned char expected[8] = {0, 0, 0, 0, 0, 'c', 'b', 'a'};
  EXPECT_EQ(std::memcmp(cell, expected, 8), 0);
  EXPECT_EQ(unpackCharN(cell, 8), "abc");
  packCharN("", 8, cell);
  EXPECT_EQ(unpackCharN(cell, 8), "");
  packCharN("12345678", 8, cell);
  EXPECT_EQ(unpackCharN(cell, 8), "12345678");
  EXPECT_THROW(packCharN("123456789", 8, cell), vela::VelaException);
}

// Exact text only (no rounding, exponent or blank), within the 96-bit range.
TEST(ProgramBuilder, DecimalTextParsesExactlyWithinThe96BitRange) {
  const int128_t max96 = (int128_t{1} << 95) - 1;
  const std::nullopt_t no = std::nullopt;
  // clang-format off
  const struct {
    const char* text;
    int scale;
    std::optional<int128_t> unscaled;
  } cases[] = {
      {"-0", 2, 0}, {"-12.5", 1, -125}, {".25", 2, 25}, {"7.", 1, 70}, {"1.005", 2, no}, {"-", 0, no},
      {".", 1, no}, {"1.2.3", 3, no}, {"1e5", 0, no}, {" 1", 0, no},
      {"39614081257132168796771975167", 0, max96},
      {"-39614081257132168796771975168", 0, -max96 - 1},
      {"39614081257132168796771975168", 0, no},
      {"3961408125713216879677197516.8", 2, no},
      {"99999999999999999999999999999999999999999", 0, no},
  };
  // clang-format on
  for (const auto& c : cases) {
    if (c.unscaled) {
      EXPECT_EQ(parseUnscaledDecimal(c.text, c.scale), *c.unscaled) << c.text;
    } else {
      EXPECT_THROW(parseUnscaledDecimal(c.text, c.scale), vela::VelaException) << c.text;
    }
  }
}

TEST(ProgramBuilder, DecimalConstantsUseTheirStorage) {
  Program p;
  p.decimalConstant(42, "-1.25", 10, 2); // dec64 constant
  p.decimalConstant(43, "-1.25", 30, 4); // dec128 constant
  const auto& e = p.elements();
  EXPECT_EQ(e[0].operandAs<std::int64_t>(), -125);
  EXPECT_EQ(e[0].info.precision(), 10);
  EXPECT_EQ(e[0].info.scale(), 2);
  std::uint64_t low;
  std::int32_t high;
  std::memcpy(&low, e[1].operand, 8);
  std::memcpy(&high, e[1].operand + 8, 4);
  EXPECT_EQ(low, static_cast<std::uint64_t>(-12500));
  EXPECT_EQ(high, -1);
  EXPECT_EQ(e[1].info.scale(), 4);
  EXPECT_THROW(p.decimalConstant(42, "100000000000000000000", 18, 0), vela::VelaException);
  EXPECT_THROW(p.decimalConstant(40, "1", 18, 0), vela::VelaException); // not a decimal op
  EXPECT_EQ(p.size(), 2u);
}

TEST(ProgramBuilder, ListsAreCopiedAndOwned) {
  // Find the first list constant of i64 values in the catalogue rather than naming a code.
  int code = -1;
  for (int c = 68; c <= 100 && code < 0; ++c)
    if (get_type(c) == RpnDataType::List && opInfo(c)->listElement == RpnDataType::Int64)
      code = c;
  ASSERT_GE(code, 0);
  Program p;
  {
    std::vector<std::int64_t> values = {1, 5, 9};
    p.list(code, values, {10, 20, 30});
    values.assign(3, -1); // the program holds its own copy
  }
  const auto* vec = p.elements()[0].operandAs<const TypedVec*>();
  ASSERT_EQ(vec->count, 3u);
  EXPECT_EQ(static_cast<const std::int64_t*>(vec->values)[2], 9);
  EXPECT_EQ(vec->aux[1], 20);
  EXPECT_EQ(p.elements()[0].get_type_size(), 8u);
  EXPECT_THROW(p.list(code, std::vector<std::int64_t>{1, 2}, {1}), vela::VelaException);
  EXPECT_THROW(p.list(153, std::vector<std::int64_t>{1}), vela::VelaException);
}

TEST(ProgramBuilder, CharConstantsTakeTheWidthOfTheirOp) {
  Program p;
  p.charConstant(55, "abcd"); // char4 constant
  EXPECT_EQ(unpackCharN(p.elements()[0].operand, 4), "abcd");
  EXPECT_THROW(p.charConstant(55, "abcde"), vela::VelaException);
  p.charConstant(61, std::string(256, 'x')); // char256 fills the whole operand area
  EXPECT_EQ(unpackCharN(p.elements()[1].operand, 256), std::string(256, 'x'));
}
