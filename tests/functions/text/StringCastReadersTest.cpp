// The text readers on heap-string text: where the integer and float readers stop (what the checked
// casts build on), texts far longer than a cell, and NUL bytes, which end a cell's text but are plain
// bytes of a heap string.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "base/ProgramBuilder.h"
#include "functions/text/CharFuncRadix.h"
#include "functions/text/NumberText.h"

using namespace vela::cuda;
using namespace std::string_literals;

namespace {

TEST(StringCastReaders, IntegerReaderReportsWhereItStopped) {
  const struct {
    std::string text;
    long value;
    std::size_t end, digits;
    bool quoted;
  } rows[] = {
      {"", 0, 0, 0, false},
      {"-", 0, 1, 0, false},
      {"12ab", 12, 2, 2, false},
      {"-0x1F ", -31, 5, 2, false},
      {"0x", 0, 2, 0, false},
      {"X'7f'", 127, 4, 2, true},
      {"B'101", 5, 5, 3, true},
      {" 5", 0, 0, 0, false},
      {"7\0"s
       "8",
       7, 1, 1, false},
  };
  for (const auto& r : rows) {
    number_text::IntTextEnd end;
    EXPECT_EQ(intCast<long>(r.text.data(), r.text.size(), 10, IntPrefixes::All, &end), r.value) << r.text;
    EXPECT_EQ(end.end, r.end) << r.text;
    EXPECT_EQ(end.digits, r.digits) << r.text;
    EXPECT_EQ(end.quoted, r.quoted) << r.text;
  }
  // Every digit of a long text is read, modulo 2^64: 10^k for k >= 64 is 0 mod 2^64; "1" then 99999
  // nines is 2 x 10^99999 - 1, so -1 modulo 2^64.
  EXPECT_EQ(intCast<long>(("1" + std::string(99999, '0')).data(), 100000), 0);
  EXPECT_EQ(intCast<long>(("1" + std::string(99999, '9')).data(), 100000), -1);
}

TEST(StringCastReaders, FloatReaderConsumedBytesAndLongTexts) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    std::string text;
    double value;
    std::size_t consumed;
  } rows[] = {
      {"", 0.0, 0},      {"-", -0.0, 0},       {"1.5x", 1.5, 3},
      {"-inf", -inf, 4}, {"infinity", inf, 3}, {"1e", 1.0, 1},
      {"1e400", inf, 5}, {"-1e-400", -0.0, 7}, {"0.0e999999999999", 0.0, 16},
      {".5 ", 0.5, 2},   {"abc", 0.0, 0},      {"+1", 0.0, 0},
  };
  for (const auto& r : rows) {
    std::size_t consumed = 99;
    const double got = doubleCast<double>(r.text.data(), r.text.size(), &consumed);
    EXPECT_TRUE(got == r.value && std::signbit(got) == std::signbit(r.value)) << r.text << " gave " << got;
    EXPECT_EQ(consumed, r.consumed) << r.text;
  }
  // Out of range far past any exponent a counter could hold, in either direction, without copying.
  const std::string huge = std::string(100000, '9');
  EXPECT_EQ(doubleCast<double>(huge.data(), huge.size()), inf);
  const std::string tiny = "0." + std::string(100000, '0') + "1";
  EXPECT_EQ(doubleCast<double>(tiny.data(), tiny.size()), 0.0);
  EXPECT_EQ(doubleCast<float>(tiny.data(), tiny.size()), 0.0f);
  const std::string big = "1e99999999999999999999999";
  EXPECT_EQ(doubleCast<float>(big.data(), big.size()), std::numeric_limits<float>::infinity());
  // A digit far down a long text still decides a rounding that sits exactly on a tie: 2^53 + 1 is
  // halfway between two doubles and rounds to even (2^53); any non-zero digit after it rounds up.
  const std::string tie = "9007199254740993." + std::string(5000, '0');
  EXPECT_EQ(doubleCast<double>(tie.data(), tie.size()), 9007199254740992.0);
  const std::string above = tie + "1";
  EXPECT_EQ(doubleCast<double>(above.data(), above.size()), 9007199254740994.0);
}

TEST(StringCastReaders, NulIsAByteOfAHeapStringButEndsACell) {
  const std::string withNul = "12\0"s
                              "34";
  // A heap string: the NUL is neither a digit nor a blank, so the literal and the address are refused.
  EXPECT_FALSE(number_text::isNumericLiteral(number_text::forwardText(withNul.data(), withNul.size())));
  EXPECT_TRUE(number_text::isNumericLiteral(number_text::forwardText(" 12 ", 4)));
  const std::string address = "1.2.3.4\0"s;
  EXPECT_FALSE(is_ipv4(address.data(), address.size()));
  EXPECT_TRUE(is_ipv4(address.data(), 7));
  // The same bytes in a cell end at the NUL.
  fixed_array_t<16> cell;
  vela::ParserUtils::packCharN("12", 16, cell.bytes);
  cell.bytes[12] = '3';
  EXPECT_TRUE(charN_is_numeric(reinterpret_cast<const char*>(cell.bytes), 16));
}

} // namespace
