// What only heap strings have, hand-computed: text longer than any cell (up to 100000 bytes), NUL bytes
// inside, absent strings, the checked casts' null rules, the decimal parser's refusal ending the call
// with the pool balanced, constant operands, and results longer than their charN twin's cell.
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "cuda/ManagedObjects.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using namespace std::string_literals;
using vela::cuda::InlineBuffer;

namespace {

using Texts = std::vector<std::optional<std::string>>;
constexpr double kInf = std::numeric_limits<double>::infinity();

template <class T>
void expectCast(int op, const Texts& in, const std::vector<T>& out,
                const std::vector<std::uint8_t>& states = {}, const EvalInfo& info = {}) {
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(op));
  Program p;
  p.column(kLoadString, 0).op(op, info);
  HarnessCase c(p);
  c.addStringColumn(in).rowCounts({65});
  c.expectRows<T>(out, states);
}

using I8 = std::int8_t;
// STRING_CONV from base `from` to base `to` of the string on top.
Program& conv(Program& p, int from, int to) {
  return p.constant(kConstI8, I8(from)).constant(kConstI8, I8(to)).op(1810);
}

EvalInfo scale2(int precision = 18) {
  EvalInfo info;
  info.setResult(precision, 2);
  return info;
}

const std::string kZeros42 = std::string(299, '0') + "42";          // 301 bytes: a cell would see zeros only
const std::string kHuge42 = std::string(99998, '0') + "42";         // 100000 bytes
const std::string kHugePower = "1" + std::string(99999, '0');       // 10^99999
const std::string kHugeTiny = "0." + std::string(99997, '0') + "5"; // 5 x 10^-99998

TEST(StringCastTable, TextLongerThanAnyCell) {
  const Texts in = {kZeros42, kHuge42, kHugePower, kHugeTiny};
  // 10^99999 is 0 modulo 2^64 (10^64 already is); the tiny text reads up to its '.'.
  expectCast<long>(548, in, {42, 42, 0, 0});
  expectCast<std::int8_t>(518, in, {42, 42, 0, 0});
  expectCast<double>(498, in, {42.0, 42.0, kInf, 0.0});
  expectCast<float>(508, in, {42.0f, 42.0f, std::numeric_limits<float>::infinity(), 0.0f});
  expectCast<long>(1556, in, {42, 42, 0, 0}, {0, 0, 0, 1});
  expectCast<double>(1557, in, {42.0, 42.0, kInf, 0.0}, {0, 0, 0, 0});
  expectCast<Bool>(1807, in, {1, 1, 1, 1});
  expectCast<Bool>(1716, in, {0, 0, 0, 0});
  expectCast<Bool>(358, in, {0, 0, 0, 0});
  expectCast<Dec64>(568, {kZeros42, kHuge42, kHugeTiny}, {d64(4200), d64(4200), d64(0)}, {0, 0, 0}, scale2());
  fixed_array_t<16> u42{};
  u42.bytes[0] = 42; // little-endian
  expectCast<fixed_array_t<16>>(1574, {kZeros42, kHuge42}, {u42, u42});
}

TEST(StringCastTable, NulBytesInsideStrings) {
  const Texts in = {"12\0"s
                    "34",
                    "t\0"s, "1.2.3.4\0"s, "12\0"s, "t"};
  expectCast<long>(548, in, {12, 0, 1, 12, 0});
  expectCast<double>(498, in, {12.0, 0.0, 1.2, 12.0, 0.0});
  expectCast<Bool>(358, in, {0, 0, 0, 0, 1});
  expectCast<Bool>(1807, in, {0, 0, 0, 0, 0});
  expectCast<Bool>(1716, in, {0, 0, 0, 0, 0});
  expectCast<int>(1596, in, {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1});
  expectCast<int>(1555, in, {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1});
  // The text of a cell ends at the NUL.
  expectCast<std::uint64_t>(1532, in,
                            {packed<std::uint64_t>("12"), packed<std::uint64_t>("t"),
                             packed<std::uint64_t>("1.2.3.4"), packed<std::uint64_t>("12"),
                             packed<std::uint64_t>("t")});
  // The decimal parser takes trailing NULs for padding and refuses one before other bytes.
  expectCast<Dec64>(568, {"12\0\0"s}, {d64(1200)}, {0}, scale2());
  expectCast<Dec64>(1558,
                    {"12\0"s
                     "3",
                     "12\0"s},
                    {d64(0), d64(1200)}, {1, 0}, scale2());
}

TEST(StringCastTable, AbsentStringsReadAsTheEmptyText) {
  const Texts in = {std::nullopt, "5"};
  expectCast<Bool>(358, in, {0, 0});
  expectCast<int>(538, in, {0, 5});
  expectCast<double>(498, in, {0.0, 5.0});
  expectCast<long>(1814, in, {0, 5});
  expectCast<Dec64>(568, in, {d64(0), d64(500)}, {0, 0}, scale2());
  expectCast<Dec128>(588, in, {d128(0), d128(500)}, {0, 0}, scale2(28));
  expectCast<std::uint16_t>(1517, in, {0, packed<std::uint16_t>("5")});
  expectCast<int>(1596, in, {0, 0}, {1, 1});
  expectCast<fixed_array_t<16>>(1600, in, {fixed_array_t<16>{}, fixed_array_t<16>{}}, {1, 1});
  expectCast<long>(1556, in, {0, 5}, {1, 0});
  expectCast<Dec64>(1558, in, {d64(0), d64(500)}, {1, 0}, scale2());
}

TEST(StringCastTable, CheckedCastsGiveNullForTextThatIsNotANumber) {
  // (text, i32, i64 state; f64 value, state; dec64 at scale 2, state). 99999999999 wraps in an i32.
  struct Case {
    std::string text;
    long i64;
    std::uint8_t intState;
    double f64;
    std::uint8_t floatState;
    long dec;
    std::uint8_t decState;
  };
  // clang-format off
  const Case cases[] = {
      {"42", 42, 0, 42, 0, 4200, 0}, {"42 ", 42, 0, 42, 0, 4200, 0}, {" 42", 0, 1, 0, 1, 4200, 0},
      {"42\t", 0, 1, 0, 1, 0, 1}, {"", 0, 1, 0, 1, 0, 1}, {"  ", 0, 1, 0, 1, 0, 1}, {"-", 0, 1, 0, 1, 0, 1},
      {"+5", 0, 1, 0, 1, 500, 0}, {"0x1F", 31, 0, 0, 1, 0, 1}, {"X'1F'", 31, 0, 0, 1, 0, 1}, {"X'1F", 0, 1, 0, 1, 0, 1},
      {"0x", 0, 1, 0, 1, 0, 1}, {"1.5", 0, 1, 1.5, 0, 150, 0}, {"1e3", 0, 1, 1000, 0, 100000, 0},
      {"1e", 0, 1, 0, 1, 0, 1}, {"inf", 0, 1, kInf, 0, 0, 1}, {"-nan", 0, 1, NAN, 0, 0, 1}, {"12ab", 0, 1, 0, 1, 0, 1},
      {"1e400", 0, 1, kInf, 0, 0, 1},
      {"-9223372036854775808", std::numeric_limits<long>::min(), 0, -9.223372036854775808e18, 0, 0, 1},
      {"99999999999", 99999999999L, 0, 99999999999.0, 0, 9999999999900L, 0}};
  // clang-format on
  Texts in;
  std::vector<int> i32;
  std::vector<long> i64;
  std::vector<double> f64;
  std::vector<Dec64> dec;
  std::vector<Dec128> dec128;
  std::vector<std::uint8_t> intStates, floatStates, decStates;
  for (const Case& c : cases) {
    in.push_back(c.text);
    i32.push_back(static_cast<int>(c.i64));
    i64.push_back(c.i64);
    f64.push_back(c.f64);
    dec.push_back(d64(c.dec));
    dec128.push_back(d128(c.dec));
    intStates.push_back(c.intState);
    floatStates.push_back(c.floatState);
    decStates.push_back(c.decState);
  }
  expectCast<int>(1555, in, i32, intStates);
  expectCast<long>(1556, in, i64, intStates);
  expectCast<double>(1557, in, f64, floatStates);
  expectCast<Dec64>(1558, in, dec, decStates, scale2());
  expectCast<Dec128>(1559, in, dec128, decStates, scale2());
  // A precision the parser cannot take is the program's fault, not a row's.
  EvalInfo bad;
  bad.setResult(5, 7);
  HarnessCase(Program().column(kLoadString, 0).op(1558, bad))
      .addStringColumn({"1"})
      .expectFault("unable to convert string to DECIMAL with unsupported precision/scale (5, 7)");
}

TEST(StringCastTable, DecimalRefusalEndsTheCallWithThePoolBalanced) {
  // One bad row among good ones, and string results of an earlier element alive when the call ends.
  Texts in(200, "1.5");
  in[0] = "12a"; // row 0, so that every row count the harness runs meets it
  HarnessCase(Program().column(kLoadString, 0).op(568, scale2()))
      .addStringColumn(in)
      .expectFault("unable to convert string '12a' to DECIMAL due to extra characters");
  // 'ff' -> '255', 'g' -> '0'
  HarnessCase(conv(Program().column(kLoadString, 0), 16, 10)
                  .constant(kConstI8, I8{3})
                  .constant(kConstI8, I8{0})
                  .op(578))
      .addStringColumn({"fffffff", "ff", "g"}) // 268435455 is beyond DECIMAL(3, 0)
      .expectFault("unable to convert string '268435455' to DECIMAL(3, 0)");
}

TEST(StringCastTable, ConstantOperands) {
  StringObjects s;
  const InlineBuffer<char>*hex = s.make("0x1F"), *huge = s.make(kHuge42), *dec = s.make("-1.255");
  HarnessCase(Program().pointerConstant(kConstString, hex).op(548)).rows(1).expectRows<long>({31});
  HarnessCase(Program().pointerConstant(kConstString, huge).op(1556))
      .rows(1)
      .rowCounts({65})
      .expectRows<long>({42});
  HarnessCase(Program().pointerConstant(kConstString, dec).op(568, scale2()))
      .rows(1)
      .expectRows<Dec64>({d64(-126)}, {0});
  HarnessCase(Program().pointerConstant(kConstString, nullptr).op(1555)).rows(1).expectRows<int>({0}, {1});
  HarnessCase(conv(Program().pointerConstant(kConstString, s.make("1F")), 16, 2))
      .rows(1)
      .expectStrings({"11111"});
  HarnessCase(Program().pointerConstant(kConstString, huge).op(1538))
      .rows(1)
      .rowCounts({65})
      .expectRows<fixed_array_t<16>>({packed<fixed_array_t<16>>(std::string(16, '0'))});
}

TEST(StringCastTable, ResultsLongerThanTheirTwinsCell) {
  // Base 2 of the most negative i64: '-', '1' and 63 zeros, 65 characters (a char64 keeps 64).
  HarnessCase(conv(Program().column(kLoadString, 0), 10, 2))
      .addStringColumn({"-9223372036854775808", "ff", std::nullopt, "zz"})
      .expectStrings({"-1" + std::string(63, '0'), "0", "", "0"});
  HarnessCase(conv(Program().column(kLoadString, 0), 36, 37)).addStringColumn({"zz"}).expectStrings({""});
  // A 96-bit decimal at scale -3: 33 characters (a char32 keeps 32).
  EvalInfo info;
  info.setArg(0, 28, -3);
  HarnessCase(Program().column(kLoadDec128, 0).op(714, info))
      .addColumn(std::vector<Dec128>{kMin96, d128(-5)})
      .expectStrings({"-39614081257132168796771975168000", "-5000"});
  // Text of every charN width, the whole cell when it is full.
  HarnessCase(Program().column(kLoadChar + 8, 0).op(486))
      .addColumn(std::vector<fixed_array_t<256>>{packed<fixed_array_t<256>>(std::string(256, 'x')),
                                                 packed<fixed_array_t<256>>("")})
      .expectStrings({std::string(256, 'x'), ""});
  HarnessCase(Program().column(kLoadChar, 0).op(478))
      .addColumn(std::vector<std::uint8_t>{'a', 0})
      .expectStrings({"a", ""});
}

} // namespace
