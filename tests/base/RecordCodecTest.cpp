// Vector text: accepted and refused forms, the dimension check, exact float rounding and the bit-exact
// round trip of printed vectors.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/RecordCodec.h"

using namespace vela::RecordCodec;

namespace {

// A plain buffer with the interface parseVector fills.
struct Floats {
  std::unique_ptr<std::vector<float>> v;
  Floats() = default;
  explicit Floats(std::uint64_t n) : v(std::make_unique<std::vector<float>>(n, -7.0f)) {}
  std::vector<float>* operator->() const { return v.get(); }
};

std::optional<std::vector<float>> parse(const std::string& text, std::int64_t dimension = 0,
                                        std::string* why = nullptr) {
  Floats buffer;
  const vela::Status status = parseVector(text, dimension, buffer);
  if (why != nullptr)
    *why = status.message();
  if (!status.ok())
    return std::nullopt;
  return buffer.v ? *buffer.v : std::vector<float>();
}

std::vector<std::uint32_t> bitsOf(const std::vector<float>& v) {
  std::vector<std::uint32_t> bits;
  for (float x : v)
    bits.push_back(std::bit_cast<std::uint32_t>(x));
  return bits;
}

constexpr float kMax = std::numeric_limits<float>::max();
constexpr float kTrueMin = std::numeric_limits<float>::denorm_min();

TEST(RecordCodec, AcceptedTexts) {
  // clang-format off
  const std::vector<std::pair<std::string, std::vector<float>>> table = {
      {"[1, 2.5]", {1.0f, 2.5f}}, {"[]", {}}, {" \t[ \n ]\r\n", {}}, {"[-0]", {-0.0f}},
      {" [ +3e2 ,-4E-1\t]  ", {300.0f, -0.4f}}, {"[.5,5.,-.5,+.25]", {0.5f, 5.0f, -0.5f, 0.25f}},
      {"[0.1]", {0.1f}}, // rounded once, to nearest
      {"[16777217]", {16777216.0f}},  // 2^24 + 1: a tie, to even
      {"[16777219]", {16777220.0f}},  // 2^24 + 3: a tie, to even (upwards)
      {"[3.4028235e38]", {kMax}},  // the largest float
      {"[-3.40282356e38]", {-kMax}},  // just below the halfway point to 2^128
      {"[1e-45]", {kTrueMin}},  // rounds to the smallest subnormal
      {"[1.1754944e-38]", {std::numeric_limits<float>::min()}}, {"[0000.000100]", {1e-4f}}, {"[7]", {7.0f}},
  };
  // clang-format on
  for (const auto& [text, values] : table) {
    SCOPED_TRACE(text);
    const auto got = parse(text);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(bitsOf(*got), bitsOf(values));
  }
}

TEST(RecordCodec, RefusedTexts) {
  // Each text with a word of the refusal's message.
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> table = {
      {"", "start with '['"}, {"1, 2]", "start with '['"}, {"[1, 2", "end with ']'"}, {"[", "end with ']'"},
      {"[1]x", "end with ']'"}, {"[1,,2]", "element 1 is empty"}, {"[1,]", "element 1 is empty"},
      {"[,]", "element 0 is empty"}, {"[ , 1]", "element 0 is empty"}, {"[nan]", "not a number"},
      {"[-inf]", "not a number"}, {"[infinity]", "not a number"}, {"[0x10]", "not a number"},
      {"[1e]", "not a number"}, {"[1 2]", "not a number"}, {"[+-1]", "not a number"},
      {"[--1]", "not a number"}, {"[+]", "not a number"}, {"[.]", "not a number"}, {"[[1]]", "not a number"},
      {"[1]]", "not a number"}, {"[1;2]", "not a number"}, {"[1e39]", "outside the float range"},
      {"[-3.4028236e38]", "outside the float range"}, // past the halfway point: would be -infinity
      {"[1e-50]", "outside the float range"},  // would round to zero
      {"[1, 2e999999999999]", "element 1"},
  };
  // clang-format on
  for (const auto& [text, word] : table) {
    SCOPED_TRACE(text);
    std::string why;
    EXPECT_FALSE(parse(text, 0, &why).has_value());
    EXPECT_NE(why.find(word), std::string::npos) << why;
  }
}

TEST(RecordCodec, Dimension) {
  struct Case {
    std::string text;
    std::int64_t dimension;
    bool accepted;
  };
  const Case table[] = {
      {"[1,2,3]", 3, true},  {"[1,2,3]", 0, true}, {"[1,2,3]", 2, false}, {"[1,2,3]", 4, false},
      {"[]", 0, true},       {"[]", 1, false},     {"[1]", -1, false},    {"[1,,]", 3, false},
      {"[1,x,3]", 2, false}, // the count is checked before the elements
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.text + " dimension " + std::to_string(c.dimension));
    std::string why;
    EXPECT_EQ(parse(c.text, c.dimension, &why).has_value(), c.accepted) << why;
  }
  std::string why;
  parse("[1,2]", 3, &why);
  EXPECT_EQ(why, "expected 3 dimensions, not 2");
  parse("[1,x,3]", 2, &why);
  EXPECT_EQ(why, "expected 2 dimensions, not 3");
}

TEST(RecordCodec, PrintedText) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // clang-format off
  const std::vector<std::pair<std::vector<float>, std::string>> table = {
      {{}, "[]"}, {{1.0f, 2.5f, -3.0f}, "[1,2.5,-3]"}, {{0.1f}, "[0.1]"}, {{1.0f / 3.0f}, "[0.33333334]"},
      {{1e20f, 1e-4f, 100.0f}, "[1e+20,1e-04,100]"}, {{-0.0f, 0.0f}, "[-0,0]"},
      {{kMax, kTrueMin}, "[3.4028235e+38,1e-45]"}, {{16777216.0f, 123456789.0f}, "[16777216,123456792]"},
      {{nan, -nan, inf, -inf}, "[nan,nan,inf,-inf]"},
  };
  // clang-format on
  for (const auto& [values, text] : table) {
    std::string got;
    stringifyVector(values, got);
    EXPECT_EQ(got, text);
    EXPECT_LE(got.size(), maxVectorTextLength(values.size()));
  }
}

// Random bit patterns (every finite float is as likely as its bits): the printed text stays within the
// bound, and a finite vector reads back bit for bit.
TEST(RecordCodec, RoundTripOfRandomBits) {
  std::mt19937 gen(20241);
  for (int round = 0; round < 2000; ++round) {
    std::vector<float> values(gen() % 20);
    bool finite = true;
    for (float& x : values) {
      x = std::bit_cast<float>(static_cast<std::uint32_t>(gen()));
      finite &= std::isfinite(x);
    }
    std::string text;
    stringifyVector(values, text);
    ASSERT_LE(text.size(), maxVectorTextLength(values.size())) << text;
    const auto back = parse(text);
    ASSERT_EQ(back.has_value(), finite) << text;
    if (finite) {
      ASSERT_EQ(bitsOf(*back), bitsOf(values)) << text;
    }
  }
}

} // namespace
