// The casting reader's refusal codes and the CBOR writer against bytes encoded by hand (RFC 8949 heads
// in their shortest forms, doubles never shortened, members in key order), at any depth.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/JsonValueUtils.h"

using nlohmann::json;
using vela::StatusEnum;

namespace {

std::string hex(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (std::uint8_t b : bytes)
    s += digits[b >> 4], s += digits[b & 15];
  return s;
}

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i)
    out += s;
  return out;
}

TEST(JsonValueUtils, CastingReaderSortsRefusalsByCode) {
  // clang-format off
  const std::vector<std::tuple<std::string, bool, int>> rows = {
      {"", false, 6}, {" \r\n\t", true, 6}, {"{}", true, 10}, {"5", true, 10}, {"{}", false, 0},
      {"[1]", true, 0}, {"[1,", false, 3}, {"[1] x", true, 3}, {"\"\xc3\x28\"", false, 3},
      {std::string(100000, '['), true, 3}, {std::string(1000, '[') + std::string(1000, ']'), true, 0},
  };
  // clang-format on
  for (const auto& [text, arrayRequired, code] : rows) {
    json value = 7;
    const vela::Status status = vela::JsonValueUtils::readJson(text, value, arrayRequired);
    EXPECT_EQ(int(status.kind()), code) << text.substr(0, 20) << ": " << status.message();
    if (code != 0) {
      EXPECT_EQ(value, json(7)) << "a refusal leaves the value untouched";
    }
  }
}

TEST(JsonValueUtils, CborBytesAreTheHandEncodedOnes) {
  // clang-format off
  const std::vector<std::pair<json, std::string>> rows = {
      {0, "00"}, {23, "17"}, {24, "1818"}, {255, "18ff"}, {256, "190100"}, {65535, "19ffff"},
      {65536, "1a00010000"}, {4294967296LL, "1b0000000100000000"},
      {json::parse("18446744073709551615"), "1bffffffffffffffff"}, {-1, "20"}, {-24, "37"}, {-25, "3818"},
      {json::parse("-9223372036854775808"), "3b7fffffffffffffff"}, {1.0, "fb3ff0000000000000"},
      {-0.0, "fb8000000000000000"}, {false, "f4"}, {true, "f5"}, {nullptr, "f6"}, {"", "60"},
      {std::string(24, 'x'), "7818" + repeat("78", 24)}, {json::array(), "80"}, {json::object(), "a0"},
      {json::parse(R"({"b":1,"a":[2,"c"]})"), "a2616182026163616201"}, {json::binary({1, 2}), "420102"},
  };
  // clang-format on
  for (const auto& [value, expected] : rows) {
    std::vector<std::uint8_t> bytes;
    vela::JsonValueUtils::writeCbor(value, bytes);
    EXPECT_EQ(hex(bytes), expected) << value.dump();
  }
}

TEST(JsonValueUtils, CompareIsExactAcrossNumberKindsAndOrdersKinds) {
  // a, b, sign of compare(a, b); each row is checked both ways round
  // clang-format off
  const std::vector<std::tuple<std::string, std::string, int>> rows = {
      {"18446744073709551615", "-1", 1}, {"9007199254740993", "9007199254740992.0", 1},
      {"-9223372036854775808", "-9223372036854775808.0", 0}, {"-9223372036854775808", "-9.3e18", 1},
      {"18446744073709551615", "1.8446744073709552e19", -1}, {"1", "1.0", 0}, {"2", "1.5", 1},
      {"-2", "-1.5", -1}, {"0", "-0.0", 0}, {"null", "false", -1}, {"true", "-5", -1}, {"1e300", "{}", -1},
      {"{}", "[]", -1}, {"[]", "\"\"", -1}, {"[1,2]", "[1,2,0]", -1}, {"[1,[2,3]]", "[1,[2,4]]", -1},
      {R"({"a":1,"b":2})", R"({"a":1,"c":0})", -1},
      {R"({"a":[1,{"x":null}]})", R"({"a":[1.0,{"x":null}]})", 0}, {"\"ab\"", "\"b\"", -1},
  };
  // clang-format on
  for (const auto& [x, y, expected] : rows) {
    const json a = json::parse(x), b = json::parse(y);
    const int c = vela::JsonValueUtils::compare(a, b), r = vela::JsonValueUtils::compare(b, a);
    EXPECT_EQ((c > 0) - (c < 0), expected) << x << " vs " << y;
    EXPECT_EQ((r > 0) - (r < 0), -expected) << y << " vs " << x;
  }
  const json nan = std::nan("");
  EXPECT_EQ(vela::JsonValueUtils::compare(nan, nan), 0);
  EXPECT_GT(vela::JsonValueUtils::compare(nan, json(1e308)), 0);
  EXPECT_GT(vela::JsonValueUtils::compare(nan, json::parse("18446744073709551615")), 0);
}

TEST(JsonValueUtils, CborOfADeepValueNeedsNoStack) {
  json v = json::array();
  for (int i = 0; i < 100000; ++i) {
    json outer = json::array();
    outer.push_back(std::move(v));
    v = std::move(outer);
  }
  std::vector<std::uint8_t> bytes;
  vela::JsonValueUtils::writeCbor(v, bytes);
  ASSERT_EQ(bytes.size(), 100001u);
  EXPECT_EQ(bytes.front(), 0x81);
  EXPECT_EQ(bytes.back(), 0x80);
}

TEST(JsonValueUtils, ReplacingWriterNeverThrowsOnInvalidUtf8) {
  const json v = json::object({{"k\xff", "a\xc3"}});
  EXPECT_THROW(vela::JsonValueUtils::writeJson(v), json::type_error);
  EXPECT_EQ(vela::JsonValueUtils::writeJson(v, true), "{\"k\xef\xbf\xbd\":\"a\xef\xbf\xbd\"}");
}

} // namespace
