// The text-number converters on their own: the integer reader's forms, the float reader against the C
// library, the number-to-text rule against a model of it written here, and the readers on heap-string
// text (where they stop, texts far longer than a cell, NUL bytes). The casts built on them are tested
// through both evaluators in the CharCast and StringCast tests.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ProgramBuilder.h"
#include "functions/text/CharFuncRadix.h"
#include "functions/text/NumberText.h"

using namespace vela::cuda;
using namespace std::string_literals;

namespace {

template <class C>
C cellOf(const std::string& text) {
  C cell;
  vela::ParserUtils::packCharN(text, sizeof(C), reinterpret_cast<unsigned char*>(&cell));
  return cell;
}
long readLong(const std::string& s) {
  return intCast<long>(s.data(), s.size());
}

TEST(NumberTextIntCast, EdgeForms) {
  constexpr long kMin = std::numeric_limits<long>::min(), kMax = std::numeric_limits<long>::max();
  std::vector<std::pair<const char*, long>> rows = {
      {"", 0},      {"-", 0},      {"0", 0},      {"12ab", 12}, {"-12abc", -12}, {"+5", 0},
      {" 5", 0},    {"1e5", 1},    {"0x1F", 31},  {"0X1f", 31}, {"-0x10", -16},  {"0x", 0},
      {"0xg", 0},   {"X'1F'", 31}, {"x'1F'", 0},  {"0o17", 15}, {"0o8", 0},      {"O'17'", 15},
      {"0b101", 5}, {"0b2", 0},    {"B'101'", 5}, {"0B101", 0}, {"--1", 0},      {"007", 7}};
  const std::pair<const char*, long> wide[] = {{"9223372036854775807", kMax},  {"9223372036854775808", kMin},
                                               {"-9223372036854775808", kMin}, {"-9223372036854775809", kMax},
                                               {"18446744073709551616", 0},    {"0xFFFFFFFFFFFFFFFF", -1}};
  rows.insert(rows.end(), std::begin(wide), std::end(wide));
  for (const auto& [text, value] : rows)
    EXPECT_EQ(readLong(text), value) << "'" << text << "'";
}

// Narrow targets, u128 and the other bases and prefix modes are checked through the casts (CharCast tests).
TEST(NumberTextIntCast, BasesAndPrefixModes) {
  EXPECT_EQ(intCast<long>("zZ", 2, 36, IntPrefixes::None), 35 * 36 + 35);
  EXPECT_EQ(intCast<long>("-ff", 3, 16, IntPrefixes::None), -255);
  // A cell is read in place and ends at its first NUL, whatever lies below it.
  auto cell = cellOf<fixed_array_t<16>>("12");
  cell.bytes[10] = '3';
  EXPECT_EQ((charN_int_cast<long>(cell)), 12);
}

TEST(NumberTextDoubleCast, WordsSignsAndRounding) {
  const double inf = std::numeric_limits<double>::infinity();
  // clang-format off
  const struct {
    const char* text;
    double value;
  } rows[] = {
      {"-INF", -inf}, {"Infinity", inf}, {"-abc", -0.0}, {" 1", 0.0}, {"--1", -0.0}, {"-1e400", -inf},
      {"0x10", 0.0}, {"4.9e-324", 4.9e-324}, {"1.7976931348623157e308", 1.7976931348623157e308}};
  // clang-format on
  for (const auto& r : rows) {
    const double got = doubleCast<double>(r.text, std::strlen(r.text));
    EXPECT_TRUE(got == r.value && std::signbit(got) == std::signbit(r.value)) << r.text << " gave " << got;
  }
  EXPECT_TRUE(std::isnan(doubleCast<double>("NaN", 3)));
  EXPECT_TRUE(std::isnan(doubleCast<double>("-nan", 4)));
  // f32 is rounded once, from the text.
  EXPECT_EQ(doubleCast<float>("0.1", 3), 0.1f);
  EXPECT_EQ(doubleCast<float>("16777217", 8), 16777216.0f);
  EXPECT_EQ(doubleCast<float>("3.5e38", 6), std::numeric_limits<float>::infinity());
  EXPECT_EQ(doubleCast<float>("1e-46", 5), 0.0f);
  // Correct rounding against the C library on random digit strings.
  std::mt19937_64 gen(3);
  for (int i = 0; i < 2000; ++i) {
    std::string s = std::to_string(gen() % 100000000000ULL) + "." + std::to_string(gen() % 1000000000ULL) +
                    "e" + std::to_string(static_cast<int>(gen() % 600) - 300);
    ASSERT_EQ(doubleCast<double>(s.data(), s.size()), std::strtod(s.c_str(), nullptr)) << s;
    ASSERT_EQ(doubleCast<float>(s.data(), s.size()), std::strtof(s.c_str(), nullptr)) << s;
  }
}

// The number-to-text rule, written from its description: digits as characters in a std::string, the
// powers of ten parsed from their text, the carry done by walking the string.
std::string modelNumberText(double x, int width) {
  if (std::isinf(x))
    return "inf";
  if (std::isnan(x))
    return "nan";
  if (x == 0)
    return "0.0";
  auto pow10 = [](int k) { return std::stod("1e" + std::to_string(k)); };
  std::string s = x < 0 ? "-" : "";
  const std::size_t start = s.size();
  const double a = std::fabs(x);
  const int e = static_cast<int>(std::log10(a));
  const bool sci = e >= 13 || e <= -13;
  int ex = 0, top = 0;
  double rest = a, tol = 1e-10;
  if (sci) {
    ex = e > 0 ? e : e - 1;
    rest = ex < -290 ? a * 1e300 / pow10(ex + 300) : a / pow10(ex);
    if (rest > 9.9999999999) {
      rest = 1;
      ++ex;
    }
  } else {
    top = e > 0 ? e : 0;
    if (e < 0)
      tol = 1e-10 * pow10(e);
  }
  const std::size_t limit = static_cast<std::size_t>(sci ? width - 5 : width);
  for (int k = top; s.size() < limit; --k) {
    const double p = pow10(k);
    const double q = std::floor(rest / p);
    const int d = q < 0 ? 0 : q > 9 ? 9 : static_cast<int>(q);
    rest -= d * p;
    const bool stop = rest < tol, up = !stop && p - rest < tol;
    s += static_cast<char>('0' + d);
    bool overflow = false;
    if (up) {
      std::size_t i = s.size();
      for (;;) {
        if (i == start) {
          s.insert(start, "1");
          overflow = true;
          break;
        }
        --i;
        if (s[i] == '.')
          continue;
        if (s[i] == '9') {
          s[i] = '0';
          continue;
        }
        ++s[i];
        break;
      }
    }
    if (overflow && sci) {
      s = s.substr(0, start + 1) + ".0";
      ++ex;
      break;
    }
    if (stop || up) {
      s += std::string(k > 0 ? k : 0, '0');
      if (k >= 0)
        s += ".0";
      break;
    }
    if (k == 0)
      s += '.';
  }
  s = s.substr(0, limit);
  if (sci)
    s += std::string("e") + (ex < 0 ? "-" : "+") + std::to_string(std::abs(ex));
  return s;
}

std::string numberText(double x, int width) {
  std::vector<char> out(static_cast<std::size_t>(width), 'x');
  const int len = convert_num_to_text(x, out.data(), width);
  for (int i = len; i < width; ++i)
    EXPECT_EQ(out[i], 0) << "the rest of the buffer is zero";
  return std::string(out.data(), static_cast<std::size_t>(len));
}

TEST(NumberTextFloatToText, HandComputedRows) {
  const double inf = std::numeric_limits<double>::infinity();
  // clang-format off
  const struct {
    double x;
    int width;
    const char* text;
  } rows[] = {
      {123.5, 32, "123.5"}, {1.0, 16, "1.0"}, {-2.5, 16, "-2.5"}, {1e13, 32, "1.0e+13"}, {-inf, 16, "inf"},
      {inf, 16, "inf"}, {-0.0, 16, "0.0"}, {0.3, 16, "0.3"}, {1.0 / 3, 32, "0.3333333333"},
      {2.0 / 3, 32, "0.6666666666"}, {99.99999999999, 32, "100.0"}, {9.99999999999, 32, "10.0"},
      {100.0, 16, "100.0"}, {1e-5, 16, "0.00001"}, {1e-13, 32, "1.0e-13"}, {2e-14, 32, "2.0e-14"},
      {12345678901234.0, 32, "1.2345678901e+13"}, {12345678901234.0, 16, "1.234567890e+13"},
      {-1234567890123.0, 16, "-1234567890123.0"}, {1.7976931348623157e308, 32, "1.7976931348e+308"},
      {4.9406564584124654e-324, 32, "4.9406564584e-324"},
      {0.1f, 32, "0.1000000014"}, // an f32 input, widened exactly; the rest below 1e-10 stops it
  };
  // clang-format on
  for (const auto& r : rows) {
    EXPECT_EQ(numberText(r.x, r.width), r.text) << r.x;
    EXPECT_EQ(modelNumberText(r.x, r.width), r.text) << "model, " << r.x;
  }
  EXPECT_EQ(numberText(std::nan(""), 16), "nan");
}

TEST(NumberTextFloatToText, AgreesWithTheModel) {
  std::mt19937_64 gen(5);
  // clang-format off
  std::vector<double> values = {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::denorm_min(), 1e-310, 9.999999999999999e12,
                                1e12 - 1.220703125e-4, 0.5, 1e22, 1e23, 123456.789e-7};
  // clang-format on
  for (int i = 0; i < 20000; ++i) {
    double x;
    const std::uint64_t bits = gen();
    std::memcpy(&x, &bits, sizeof x);
    if (i % 3 == 0) // mostly values of everyday size
      x = std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(gen() % 120) - 113);
    if (i % 5 == 0) // and round decimals
      x = static_cast<double>(static_cast<long>(gen() % 2000000) - 1000000) / std::pow(10, gen() % 8);
    values.push_back(std::isfinite(x) ? x : 1.0);
    values.push_back(static_cast<float>(x)); // f32 inputs are written as the doubles they are
  }
  for (double x : values)
    for (int width : {16, 32, 64, 256})
      ASSERT_EQ(numberText(x, width), modelNumberText(x, width)) << std::hexfloat << x << " width " << width;
}

TEST(StringCastReaders, IntegerReaderReportsWhereItStopped) {
  // clang-format off
  const struct {
    std::string text;
    long value;
    std::size_t end, digits;
    bool quoted;
  } rows[] = {{"", 0, 0, 0, false}, {"-", 0, 1, 0, false}, {"12ab", 12, 2, 2, false}, {"-0x1F ", -31, 5, 2, false},
              {"0x", 0, 2, 0, false}, {"X'7f'", 127, 4, 2, true}, {"B'101", 5, 5, 3, true}, {" 5", 0, 0, 0, false},
              {std::string("7\08", 3), 7, 1, 1, false}};
  // clang-format on
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
