// Canonical result text: shortest floats that read back exactly, decimals at the result scale, wide
// integers, CSV quoting.
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "base/Int128.h"
#include "tools/ResultText.h"
#include "tools/ScalarText.h"

using quarry::tools::csvField;
using quarry::tools::encodeScalarText;
using quarry::tools::formatCell;
using vela::ParserUtils::RpnDataType;

namespace {
template <class T>
std::string format(RpnDataType type, T v, int scale = 0) {
  unsigned char cell[16] = {};
  std::memcpy(cell, &v, sizeof v);
  return formatCell(type, cell, sizeof v, scale);
}

// Text -> cell -> text is the identity on canonical text.
std::string roundTrip(RpnDataType type, const std::string& text, int scale = 0) {
  unsigned char cell[16] = {};
  std::string why;
  EXPECT_TRUE(encodeScalarText(type, text, scale, cell, why)) << text << ": " << why;
  return formatCell(type, cell, vela::ParserUtils::get_rpn_datatype_size(type), scale);
}
} // namespace

TEST(ResultText, FloatsReadBackToTheSameBits) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, 8);
    if (std::isnan(d))
      continue;
    const std::string text = format(RpnDataType::Float64, d);
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(std::memcmp(&back, &d, 8), 0) << text;
    const auto fbits = static_cast<std::uint32_t>(bits);
    float f;
    std::memcpy(&f, &fbits, 4);
    if (std::isnan(f))
      continue;
    const std::string ftext = format(RpnDataType::Float32, f);
    float fback = 0;
    std::from_chars(ftext.data(), ftext.data() + ftext.size(), fback);
    ASSERT_EQ(std::memcmp(&fback, &f, 4), 0) << ftext;
  }
}

TEST(ResultText, CanonicalSpellings) {
  // Each text is already canonical: it must come back unchanged through its cell.
  const std::vector<std::tuple<RpnDataType, std::string, int>> cases = {
      {RpnDataType::Float64, "nan", 0},
      {RpnDataType::Float64, "-0", 0},
      {RpnDataType::Float64, "1e+300", 0},
      {RpnDataType::Float32, "3.4028235e+38", 0},
      {RpnDataType::Int8, "-128", 0},
      {RpnDataType::UInt64, "18446744073709551615", 0},
      {RpnDataType::UInt128, "340282366920938463463374607431768211455", 0},
      {RpnDataType::Dec64, "-0.05", 2},
      {RpnDataType::Dec64, "-92233720368547758.08", 2},
      {RpnDataType::Dec128, "-39614081257132168796771975.168", 3},
  };
  for (const auto& [type, text, scale] : cases)
    EXPECT_EQ(roundTrip(type, text, scale), text);
  // Non-canonical input spellings come out canonical.
  EXPECT_EQ(roundTrip(RpnDataType::Dec64, "1.5", 3), "1.500");
  EXPECT_EQ(roundTrip(RpnDataType::Bool, "true"), "1");
  EXPECT_EQ(roundTrip(RpnDataType::Float64, "1.0"), "1");
  EXPECT_EQ(format(RpnDataType::Float64, -std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(ResultText, UuidIsHexMostSignificantFirst) {
  const vela::uint128_t v = (vela::uint128_t{0x0123456789abcdefull} << 64) | 0xfedcba9876543210ull;
  EXPECT_EQ(format(RpnDataType::Uuid, v), "01234567-89ab-cdef-fedc-ba9876543210");
}

TEST(ResultText, Ipv4IsADottedQuadFirstOctetMostSignificant) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {{0x0A000001u, "10.0.0.1"},
                                                                    {0u, "0.0.0.0"},
                                                                    {0xFFFFFFFFu, "255.255.255.255"},
                                                                    {0xC0A80A7Fu, "192.168.10.127"}};
  for (const auto& [bits, text] : cases)
    EXPECT_EQ(format(RpnDataType::Ipv4, static_cast<std::int32_t>(bits)), text);
}

TEST(ResultText, CsvFieldsQuoteOnlyWhenNeeded) {
  EXPECT_EQ(csvField("abc"), "abc");
  EXPECT_EQ(csvField(""), "\"\"");
  EXPECT_EQ(csvField("a,b"), "\"a,b\"");
  EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
}
