// Casts between charN text and exact decimals through both evaluators: parsing at the element's
// precision and scale and at run-time ones, the parser's refusals ending the call with the pool
// balanced, decimal text against the base library's, and round trips through text.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/DecimalText.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

EvalInfo target(int precision, int scale) {
  EvalInfo info;
  info.setResult(precision, scale);
  return info;
}
EvalInfo source(int scale) {
  EvalInfo info;
  info.setArg(0, 18, scale);
  return info;
}

TEST(CharCastTextToDecimal, EveryWidthAtTheElementScale) {
  // (text, unscaled at scale 2); hand-computed, half away from zero.
  const std::vector<std::pair<std::string, long>> texts = {
      {"", 0},         {"7", 700},         {"-", 0},     {"1.25", 125},  {"-1.255", -126},
      {" 1e1 ", 1000}, {"-12.345", -1235}, {"0.004", 0}, {"1.5E-1", 15}, {"  -0.005 ", -1}};
  forEachWidth([&]<std::size_t N>() {
    std::vector<Text<N>> in;
    std::vector<long> unscaled;
    fitting<N>(texts, in, unscaled);
    std::vector<Dec64> out64;
    std::vector<Dec128> out128;
    for (long u : unscaled)
      out64.push_back(d64(u)), out128.push_back(d128(u));
    const std::vector<std::uint8_t> states(in.size(), 0);
    expectColumn<Dec64>(559 + widthIndex(N), in, out64, states, target(18, 2));
    expectColumn<Dec128>(579 + widthIndex(N), in, out128, states, target(28, 2));
  });
  // The 64-bit range: the magnitude 2^63 only with a '-'; the 96-bit form takes it either way.
  const std::vector<Text<32>> big = {txt<32>("-9223372036854775808"), txt<32>("9223372036854775807")};
  expectColumn<Dec64>(564, big,
                      {d64(std::numeric_limits<long>::min()), d64(std::numeric_limits<long>::max())}, {0, 0},
                      target(0, 0));
  expectColumn<Dec128, Text<32>>(584,
                                 {txt<32>("9223372036854775808"), txt<32>("-39614081257132168796771975168")},
                                 {d128(vela::int128_t(1) << 63), kMin96}, {0, 0}, target(0, 0));
}

TEST(CharCastTextToDecimal, RuntimePrecisionAndScale) {
  using R64 = Row<Dec64, Text<16>, std::int8_t, std::int8_t>;
  expectTable<Dec64>(573, std::vector<R64>{{{txt<16>("-12.345"), 5, 2}, d64(-1235)},
                                           {{txt<16>("-12.345"), 0, 4}, d64(-123450)},
                                           {{txt<16>("1e3"), 18, 0}, d64(1000)}});
  using R128 = Row<Dec128, Text<8>, std::int8_t, std::int8_t>;
  expectTable<Dec128>(
      592, std::vector<R128>{{{txt<8>("1.5E-1"), 10, 2}, d128(15)},
                             {{txt<8>("99"), 28, 18}, d128(vela::int128_t(99) * 1000000000 * 1000000000)}});
}

// A program that loads a charN column and casts it; the refusal of any row ends the call.
void expectRefusal(int op, const std::vector<std::string>& texts, const EvalInfo& info,
                   const std::string& message, bool runtime = false, int precision = 0, int scale = 0) {
  SCOPED_TRACE(message);
  Program p;
  p.column(kLoadChar + 5, 0);
  if (runtime)
    p.constant(kConstI8, static_cast<std::int8_t>(precision))
        .constant(kConstI8, static_cast<std::int8_t>(scale));
  p.op(op, info);
  HarnessCase(p).addColumn(txts<32>(texts)).expectFault(message);
}

TEST(CharCastTextToDecimal, ParserRefusalsEndTheCallWithThePoolBalanced) {
  // One bad row among many good ones: at 1000 rows it recurs every 200 rows, in several tasks, while
  // other tasks finish their rows.
  std::vector<std::string> rows(200, "1.5");
  rows.front() = "12a";
  expectRefusal(564, rows, target(18, 2),
                "unable to convert string '12a' to DECIMAL due to extra characters");
  expectRefusal(584, {"12a"}, target(28, 2),
                "unable to convert string '12a' to DECIMAL due to extra characters");
  expectRefusal(
      564, {"9223372036854775808"}, target(0, 0),
      "unable to convert string '9223372036854775808' to DECIMAL due to the number being too large");
  expectRefusal(564, {"123456"}, target(5, 2), "unable to convert string '123456' to DECIMAL(5, 2)");
  expectRefusal(574, {"1"}, {},
                "unable to convert string to DECIMAL with unsupported precision/scale (19, 0)", true, 19, 0);
  expectRefusal(594, {"1"}, {},
                "unable to convert string to DECIMAL with unsupported precision/scale (0, 19)", true, 0, 19);
}

TEST(CharCastDecimalToText, PlainTextAtTheSourceScale) {
  std::mt19937_64 gen(13);
  for (int scale : {-3, 0, 2, 7, 18}) { // -3: zeros after a non-zero value
    std::vector<Dec64> in = {d64(0), d64(-5), d64(125), d64(std::numeric_limits<long>::min())};
    std::vector<Dec128> in128 = {d128(0), d128(-5), kMax96, kMin96};
    for (int i = 0; i < 30; ++i) {
      in.push_back(d64(static_cast<long>(gen() >> (gen() % 64)) * (i % 2 ? -1 : 1)));
      in128.push_back(
          d128(vela::wrapToInt96(static_cast<vela::uint128_t>(gen()) << 64 | gen()) >> (gen() % 96)));
    }
    std::vector<Text<32>> out;
    std::vector<Text<64>> out64;
    for (const Dec64& d : in) {
      out.push_back(cut<32>(vela::decimal_as_string(d.value, scale)));
      out64.push_back(txt<64>(vela::decimal_as_string(d.value, scale)));
    }
    std::vector<Text<32>> out128;
    std::vector<Text<256>> out256;
    for (const Dec128& d : in128) {
      out128.push_back(cut<32>(vela::decimal_as_string(d.toInt128(), scale))); // 33 long at -3: cut
      out256.push_back(
          txt<256>(vela::decimal_as_string(d.toInt128(), scale).substr(0, 32))); // the char32 text
    }
    expectColumn<Text<32>>(711, in, out, {}, source(scale));
    expectColumn<Text<64>>(751, in, out64, {}, source(scale));
    expectColumn<Text<32>>(712, in128, out128, {}, source(scale));
    expectColumn<Text<256>>(756, in128, out256, {}, source(scale));
  }
  expectTable<Text<32>>(
      711, std::vector<Row<Text<32>, Dec64>>{{{d64(-5)}, txt<32>("-0.05")}, {{d64(125)}, txt<32>("1.25")}},
      source(2));
}

TEST(CharCastRoundTrip, DecimalsThroughText) {
  // dec -> char32 -> dec at the same scale gives the value back, for every scale of each width.
  std::mt19937_64 gen(17);
  for (int scale = 0; scale <= 18; scale += 3) {
    std::vector<Dec64> values;
    std::vector<Dec128> wide;
    for (int i = 0; i < 100; ++i) {
      values.push_back(d64(static_cast<long>(gen() >> (1 + gen() % 63)) * (i % 2 ? -1 : 1)));
      wide.push_back(
          d128(vela::wrapToInt96(static_cast<vela::uint128_t>(gen()) << 64 | gen()) >> (gen() % 96)));
    }
    EvalInfo back = target(0, scale);
    Program p;
    p.column(kLoadDec64, 0).op(711, source(scale)).op(564, back);
    HarnessCase c(p);
    c.addColumn(values);
    c.expectRows<Dec64>(values, std::vector<std::uint8_t>(values.size(), 0));
    Program q;
    q.column(kLoadDec128, 0).op(712, source(scale)).op(584, back);
    HarnessCase d(q);
    d.addColumn(wide);
    d.expectRows<Dec128>(wide, std::vector<std::uint8_t>(wide.size(), 0));
  }
}

} // namespace
