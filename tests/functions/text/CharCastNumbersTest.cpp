// Casts between charN text and integers, u128, floats and bool, at every width, through both evaluators.
// Expected values are hand-computed or derived by the rules themselves (two's-complement narrowing
// through static_cast, std::to_string for integer text).
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

constexpr long kI64Min = std::numeric_limits<long>::min();

// Texts of every form the reader knows, with the value read at 64 bits (narrower targets keep its low
// bits); each width gets those that fit, plus one filling the cell.
using Table = std::vector<std::pair<std::string, long>>;
const Table kIntTexts = {{"", 0},      {"7", 7},       {"-", 0},         {"-5", -5},     {"x", 0},
                         {"0x1F", 31}, {"12ab", 12},   {"-0b11", -3},    {"X'7f'", 127}, {"0o17", 15},
                         {"300", 300}, {"-129", -129}, {"65536", 65536}, {"+3", 0}};
const Table kLongIntTexts = {{"4294967296", 4294967296L},       {"99999999", 99999999},
                             {"-9223372036854775808", kI64Min}, {"18446744073709551615", -1},
                             {"18446744073709551616", 0},       {"9223372036854775808", kI64Min}};

template <class T, std::size_t N>
void expectTextToInt(int op) {
  std::vector<Text<N>> in = {txt<N>(std::string(N - 1, '0') + "7")}; // the whole cell is text
  std::vector<T> out = {7};
  fitting<N>(kIntTexts, in, out);
  fitting<N>(kLongIntTexts, in, out);
  expectColumn<T>(op, in, out);
}

TEST(CharCastTextToInt, EveryWidthAndTarget) {
  forEachWidth([]<std::size_t N>() {
    const int k = widthIndex(N);
    expectTextToInt<std::int8_t, N>(509 + k);
    expectTextToInt<std::int16_t, N>(519 + k);
    expectTextToInt<int, N>(529 + k);
    if (N != 4)
      expectTextToInt<long, N>(539 + k);
    expectTextToInt<unsigned long, N>(549 + k);
  });
  // Constant and column forms of one width.
  expectTable<int>(534, std::vector<Row<int, Text<32>>>{{{txt<32>("0x1F")}, 31}, {{txt<32>("-12abc")}, -12}});
}

TEST(CharCastTextToInt, Char4ToI64ReadsTheCellAsAnUnsignedNumber) {
  // The four bytes, first character most significant, zero-extended.
  expectTable<long>(541, std::vector<Row<long, Text<4>>>{{{txt<4>("12")}, 0x31320000L},
                                                         {{txt<4>("")}, 0},
                                                         {{txt<4>("\xff\xff\xff\xff")}, 0xFFFFFFFFL},
                                                         {{txt<4>("abcd")}, 0x61626364L}});
}

TEST(CharCastTextToU128, DecimalAndPrefixedText) {
  const fixed_array_t<16> max = u128(~vela::uint128_t(0));
  // One past the maximum wraps to 0.
  // clang-format off
  const std::vector<std::pair<std::string, fixed_array_t<16>>> texts = {
      {"", u128(0)}, {"7", u128(7)}, {"-1", max}, {"0x1F", u128(31)}, {"18446744073709551616", u128(vela::uint128_t(1) << 64)},
      {"340282366920938463463374607431768211455", max}, {"340282366920938463463374607431768211456", u128(0)}};
  // clang-format on
  forEachWidth([&]<std::size_t N>() {
    std::vector<Text<N>> in = {txt<N>(std::string(N - 1, '0') + "9")};
    std::vector<fixed_array_t<16>> out = {u128(9)};
    fitting<N>(texts, in, out);
    expectColumn<fixed_array_t<16>>(1565 + widthIndex(N), in, out);
  });
}

template <class T, std::size_t N>
void expectIntToText(int op, const std::vector<T>& values) {
  std::vector<Text<N>> out;
  for (T v : values)
    out.push_back(cut<N>(std::to_string(v)));
  expectColumn<Text<N>>(op, values, out);
}

template <class T>
std::vector<T> sampleValues() {
  std::vector<T> v = {
      T(0), T(7), T(12), static_cast<T>(1234), std::numeric_limits<T>::max(), std::numeric_limits<T>::min()};
  if constexpr (std::is_signed_v<T>)
    for (int x : {-1, -5, -123})
      v.push_back(static_cast<T>(x));
  std::mt19937_64 gen(sizeof(T));
  for (int i = 0; i < 20; ++i)
    v.push_back(static_cast<T>(gen() >> (gen() % 64)));
  return v;
}

TEST(CharCastIntToText, EveryWidthCutToTheCell) {
  forEachWidth([]<std::size_t N>() {
    const int k = widthIndex(N);
    expectIntToText<std::int8_t, N>(642 + k, sampleValues<std::int8_t>());
    expectIntToText<std::int16_t, N>(653 + k, sampleValues<std::int16_t>());
    expectIntToText<int, N>(664 + k, sampleValues<int>());
    expectIntToText<long, N>(675 + k, sampleValues<long>());
    expectIntToText<unsigned long, N>(686 + k, sampleValues<unsigned long>());
    expectIntToText<unsigned int, N>(739 + k, sampleValues<unsigned int>());
  });
  expectTable<Text<4>>(666, std::vector<Row<Text<4>, int>>{{{12345}, txt<4>("1234")},
                                                           {{-123}, txt<4>("-123")},
                                                           {{-1234}, txt<4>("-123")}});
}

TEST(CharCastIntToText, U128Digits) {
  const std::vector<fixed_array_t<16>> in = {u128(~vela::uint128_t(0)), u128(10000000000000000000ULL),
                                             u128(0)};
  const std::vector<std::string> texts = {"340282366920938463463374607431768211455", "10000000000000000000",
                                          "0"};
  expectColumn<Text<64>>(748, in, txts<64>(texts));
  expectColumn<Text<256>>(750, in, txts<256>(texts));
}

TEST(CharCastRoundTrip, IntegersThroughText) {
  // i64 -> char32 -> i64 and i32 -> char16 -> i32 on random values: the reader gives back the number.
  std::mt19937_64 gen(21);
  std::vector<long> longs;
  std::vector<int> ints;
  for (int i = 0; i < 500; ++i) {
    longs.push_back(static_cast<long>(gen() >> (gen() % 64)) * (i % 2 ? -1 : 1));
    ints.push_back(static_cast<int>(gen() >> (32 + gen() % 32)) * (i % 2 ? -1 : 1));
  }
  longs.push_back(kI64Min);
  Program p, q;
  p.column(kLoadI64, 0).op(680).op(544);
  q.column(kLoadI32, 0).op(668).op(533);
  HarnessCase c(p), d(q);
  c.addColumn(longs).expectRows<long>(longs);
  d.addColumn(ints).expectRows<int>(ints);
}

TEST(CharCastTextToBool, WordsAtEveryWidthAndTheFusedLoads) {
  const std::vector<std::pair<std::string, Bool>> words = {
      {"", 0},    {"t", 1},    {"Y", 1},     {"1", 1},    {"0", 0},     {"On", 1}, {"of", 0},
      {"yEs", 1}, {"TRUE", 1}, {"true ", 0}, {"yes!", 0}, {"false", 0}, {"f", 0}};
  forEachWidth([&]<std::size_t N>() {
    std::vector<Text<N>> in;
    std::vector<Bool> out;
    fitting<N>(words, in, out);
    expectColumn<Bool>(349 + widthIndex(N), in, out);
    if constexpr (N <= 8) { // 112-115: the column load that casts
      HarnessCase(Program().column(112 + widthIndex(N), 0)).addColumn(in).expectRows(out);
    }
  });
}

TEST(CharCastTextToFloat, EveryWidth) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<std::string, double>> texts = {
      {"", 0.0},      {"-", -0.0},  {"7", 7.0},          {"-2", -2.0},   {"1.5", 1.5},  {"inf", inf},
      {"-InF", -inf}, {"0.1", 0.1}, {"-2.5e3", -2500.0}, {"1e400", inf}, {"12abc", 12}, {"1e-400", 0.0}};
  forEachWidth([&]<std::size_t N>() {
    std::vector<Text<N>> in;
    std::vector<double> out;
    std::vector<float> outF;
    fitting<N>(texts, in, out, outF);
    expectColumn<double>(489 + widthIndex(N), in, out);
    expectColumn<float>(499 + widthIndex(N), in, outF);
  });
  expectTable<float>(
      504, std::vector<Row<float, Text<32>>>{{{txt<32>("16777217")}, 16777216.0f},
                                             {{txt<32>("3.5e38")}, std::numeric_limits<float>::infinity()},
                                             {{txt<32>("nan")}, std::nanf("")}});
}

TEST(CharCastFloatToText, PlainScientificAndWords) {
  // The rule itself is checked against a model in NumberTextTest; here each cast's width and input
  // type: hand-computed texts, the char16 one cut by the exponent's reserved room.
  const std::vector<double> in = {123.5,        1e13, -std::numeric_limits<double>::infinity(),
                                  std::nan(""), -0.3, 12345678901234.0};
  const std::vector<float> inF(in.begin(), in.end());
  const std::vector<std::string> texts = {"123.5", "1.0e+13", "inf", "nan", "-0.3", "1.2345678901e+13"};
  // As floats: 1e13 is 9999999827968 (plain form), -0.3 is -0.30000001192... (a carry at the ninth
  // place), 12345678901234 is 12345679020032.
  const std::vector<std::string> textsF = {"123.5", "9999999827968.0", "inf",
                                           "nan",   "-0.300000012",    "1.234567902e+13"};
  std::vector<Text<16>> t16 = txts<16>(texts);
  t16[5] = txt<16>("1.234567890e+13");
  expectColumn<Text<16>>(704, in, t16);
  expectColumn<Text<32>>(705, in, txts<32>(texts));
  expectColumn<Text<256>>(708, in, txts<256>(texts));
  expectColumn<Text<16>>(697, inF, txts<16>(textsF));
  expectColumn<Text<128>>(700, inF, txts<128>(textsF));
  expectTable<Text<64>>(
      706, std::vector<Row<Text<64>, double>>{{{2.5}, txt<64>("2.5")}, {{-1e20}, txt<64>("-1.0e+20")}});
}

} // namespace
