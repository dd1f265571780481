// The CSV reader: cells in their storage form, NULL versus the empty string, RFC 4180 quoting, and
// refusals that name the line and the column.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Int128.h"
#include "base/ProgramBuilder.h"
#include "cuda/ManagedObjects.h"
#include "tools/CsvData.h"

using namespace vela::ParserUtils;
using quarry::tools::CsvData;
using quarry::tools::CsvError;

namespace {
template <class T>
T cell(const CsvData& d, int column, unsigned long row) {
  T v;
  std::memcpy(&v, d.columns()[column].cells.data() + row * sizeof(T), sizeof v);
  return v;
}
} // namespace

TEST(CsvData, IntegerBoundsAndNullCells) {
  const CsvData d = CsvData::parse("a:i8,b:u64,c:i64,d:bool\n"
                                   "-128,18446744073709551615,-9223372036854775808,true\n"
                                   "127,0,,0\n"
                                   ",,1,\n");
  ASSERT_EQ(d.rows(), 3u);
  EXPECT_EQ(cell<std::int8_t>(d, 0, 0), -128);
  EXPECT_EQ(cell<std::int8_t>(d, 0, 1), 127);
  EXPECT_EQ(cell<std::uint64_t>(d, 1, 0), UINT64_MAX);
  EXPECT_EQ(cell<std::int64_t>(d, 2, 0), INT64_MIN);
  EXPECT_EQ(cell<std::uint8_t>(d, 3, 0), 1);
  // A NULL cell is zero and flagged; a present zero is not flagged.
  EXPECT_EQ(cell<std::int64_t>(d, 2, 1), 0);
  EXPECT_EQ(d.columns()[2].nulls, (std::vector<unsigned char>{0, 1, 0}));
  EXPECT_EQ(d.columns()[1].nulls, (std::vector<unsigned char>{0, 0, 1}));
  EXPECT_EQ(d.columns()[3].nulls, (std::vector<unsigned char>{0, 0, 1}));
}

TEST(CsvData, FloatsDecimalsAndWideIntegers) {
  const CsvData d =
      CsvData::parse("f:f64,g:f32,m:dec64(2),w:dec128(3),u:u128\n"
                     "nan,-inf,-0.05,-1.5,340282366920938463463374607431768211455\n"
                     "0.1,inf,92233720368547758.07,39614081257132168796771975.167,18446744073709551616\n");
  EXPECT_TRUE(std::isnan(cell<double>(d, 0, 0)));
  EXPECT_EQ(cell<double>(d, 0, 1), 0.1);
  EXPECT_EQ(cell<float>(d, 1, 0), -INFINITY);
  EXPECT_EQ(cell<std::int64_t>(d, 2, 0), -5);
  EXPECT_EQ(cell<std::int64_t>(d, 2, 1), INT64_MAX);
  // dec128 cells: the low 64 bits, then the high 32 bits, signed.
  const auto& w = d.columns()[3].cells;
  ASSERT_EQ(d.columns()[3].width, 12u);
  std::int64_t low;
  std::int32_t high;
  std::memcpy(&low, w.data(), 8);
  std::memcpy(&high, w.data() + 8, 4);
  EXPECT_EQ(low, -1500);
  EXPECT_EQ(high, -1);
  std::memcpy(&high, w.data() + 12 + 8, 4);
  EXPECT_EQ(high, 0x7fffffff); // 2^95 - 1 unscaled
  EXPECT_EQ(cell<vela::uint128_t>(d, 4, 0), ~vela::uint128_t{0});
  EXPECT_EQ(cell<vela::uint128_t>(d, 4, 1), vela::uint128_t{1} << 64);
}

TEST(CsvData, QuotingTextAndTheEmptyString) {
  const CsvData d = CsvData::parse("s:string,c:char8\r\n"
                                   "\"a,\"\"b\"\"\nc\",\"x,y\"\r\n"
                                   "\"\",\"\"\r\n"
                                   ",\n");
  ASSERT_EQ(d.rows(), 3u);
  auto text = [&](unsigned long r) {
    const auto* b = cell<const vela::cuda::InlineBuffer<char>*>(d, 0, r);
    return b ? std::optional<std::string>(std::string(b->view())) : std::nullopt;
  };
  EXPECT_EQ(text(0), "a,\"b\"\nc");
  EXPECT_EQ(text(1), "");           // quoted empty: the empty string, present
  EXPECT_EQ(text(2), std::nullopt); // unquoted empty: NULL
  EXPECT_EQ(d.columns()[0].nulls, (std::vector<unsigned char>{0, 0, 1}));
  EXPECT_EQ(d.columns()[1].nulls, (std::vector<unsigned char>{0, 0, 1}));
  EXPECT_EQ(unpackCharN(d.columns()[1].cells.data(), 8), "x,y");
}

TEST(CsvData, ColumnPointersPutNullFlagsAfterTheValues) {
  const CsvData d = CsvData::parse("a:i32,b:f64\n1,\n,2\n");
  const auto p = d.pointers();
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0], d.columns()[0].cells.data());
  EXPECT_EQ(p[3], d.columns()[1].nulls.data());
  EXPECT_EQ(p[2][1], 1);
  EXPECT_EQ(p[3][0], 1);
  EXPECT_EQ(d.find("b"), 1);
  EXPECT_EQ(d.find("c"), -1);
  EXPECT_EQ(CsvData::parse("a:i32").rows(), 0u); // a header alone
}

TEST(CsvData, BadDataIsRefusedNamingLineAndColumn) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "line 1: no header"},
      {"a\n1\n", "line 1, column 1: header field 'a' is not name:type"},
      {"a:dec64(19)\n", "0..18"},
      {"a:i32,a:i64\n", "appears twice"},
      {"a:i32,b:i32\n1,2\n3\n", "line 3: 1 fields, the header has 2"},
      {"a:i8\n128\n", "line 2: column 1 ('a'): '128' is not a representable signed 8-bit integer"},
      {"a:u32\n-1\n", "unsigned 32-bit"},
      {"a:f64\n1e400\n", "out of range"},
      {"a:bool\n2\n", "not a boolean"},
      {"a:dec64(1)\n1.25\n", "fractional digits"},
      {"a:char2\nabc\n", "does not fit char2"},
      {"a:string\n\"abc\n", "line 2: column 1: unterminated quoted field"},
      {"a:string\n\"ab\"c\n", "text after the closing quote"},
      {"a:string\nab\"c\n", "a quote inside an unquoted field"},
      {"a:i32\n1\r2\n", "carriage return"},
      {"a:json\n{\n", "not JSON text"},
      {"a:geometry\nPOINT(1\n", "not WKT text"},
      {"a:i32,b:string\n1,\"multi\nline\"\nx,y\n", "line 4: column 1 ('a')"},
  };
  for (const auto& [text, expected] : cases) {
    try {
      CsvData::parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const CsvError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << text << "\n-> " << e.what();
    }
  }
}
