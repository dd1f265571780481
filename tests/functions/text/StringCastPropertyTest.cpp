// Every string cast against its charN twin: the same texts (random and edge ones that fit a char256) go
// through the string op on a string column and through the charN op on a char256 (or the twin's width)
// column, both through the harness (both evaluators, several row counts), and must give the same values
// and states; casts to strings must give the text of the charN cast's cell. Values cast to strings and
// back come back unchanged.
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cuda/ManagedObjects.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

std::vector<unsigned char> cellsOf(const std::vector<std::string>& texts, std::size_t width) {
  std::vector<unsigned char> bytes(texts.size() * width);
  for (std::size_t i = 0; i < texts.size(); ++i)
    vela::ParserUtils::packCharN(texts[i], width, bytes.data() + i * width);
  return bytes;
}

// Operands pushed after the text (run-time precision and scale, radix bases).
using Extra = std::function<void(Program&)>;

// The string op over a string column and the charN op over a column of `width`-byte cells of the same
// texts agree in every row; a string result is compared with the text of the twin's cell.
void expectSameReading(int stringCode, int cellCode, std::size_t width, const std::vector<std::string>& texts,
                       const EvalInfo& info = {}, const Extra& extra = {}) {
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(stringCode));
  Program ps, pc;
  ps.column(kLoadString, 0);
  pc.column(kLoadChar + widthIndex(width), 0);
  if (extra) {
    extra(ps);
    extra(pc);
  }
  ps.op(stringCode, info);
  if (cellCode >= 0)
    pc.op(cellCode, info);
  HarnessCase s(ps), c(pc);
  s.addStringColumn({texts.begin(), texts.end()});
  c.addRawColumn(width, texts.size(), cellsOf(texts, width));
  const HarnessResult a = s.run(), b = c.run();
  for (std::size_t r = 0; r < texts.size(); ++r) {
    const std::string at = "'" + texts[r] + "'";
    if (!a.objects.empty()) {
      EXPECT_EQ(a.objects[r], vela::ParserUtils::unpackCharN(b.values.data() + r * b.width, b.width)) << at;
    } else if (a.states[r] == 0) {
      EXPECT_TRUE(a.width == b.width &&
                  std::memcmp(a.values.data() + r * a.width, b.values.data() + r * b.width, a.width) == 0)
          << at;
    }
    EXPECT_EQ(a.states[r], b.states[r]) << at;
  }
}

// The cast of `values` to a string gives the text of the charN cast's cell.
template <class In>
void expectSameText(int stringCode, int cellCode, const std::vector<In>& values, const EvalInfo& info = {}) {
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(stringCode));
  Program ps, pc;
  ps.column(Storage<In>::load, 0).op(stringCode, info);
  pc.column(Storage<In>::load, 0).op(cellCode, info);
  HarnessCase s(ps), c(pc);
  s.addColumn(values);
  c.addColumn(values);
  const HarnessResult a = s.run(), b = c.run();
  for (std::size_t r = 0; r < values.size(); ++r) {
    const std::string cell = vela::ParserUtils::unpackCharN(b.values.data() + r * b.width, b.width);
    ASSERT_TRUE(a.objects[r].has_value());
    EXPECT_EQ(*a.objects[r], cell) << "row " << r;
    EXPECT_LT(cell.size(), b.width) << "the charN text was not cut";
  }
}

// Texts for the readers: every form they know, then random strings over the characters numbers and
// addresses are made of, mostly short, some up to 255 bytes.
std::vector<std::string> readerTexts(unsigned seed) {
  std::vector<std::string> t = {
      "",       "7",       "-",     "-5",     "+3",       " 5",    "5 ",    "12ab",    "0x1F",      "X'7f'",
      "0o17",   "-0b11",   "1.5",   "-2.5e3", ".5",       "1e",    "1e+",   "inf",     "-INF",      "nan",
      "t",      "Y",       "1",     "on",     "yes",      "TRUE",  "true ", "1.2.3.4", "256.1.1.1", "1.2.3",
      "1..2.3", "0.0.0.0", "1e400", "1e-400", "4.9e-324", "  7  ", "1..2"};
  t.insert(t.end(), {" 10. 0 .0.1", "255.255.255.255", "123e4567-e89b-12d3-a456-426614174000",
                     "123E4567-E89B-12D3-A456-42661417400G", "18446744073709551616", "-9223372036854775808",
                     "340282366920938463463374607431768211456"});
  t.push_back(std::string(255, '9'));
  t.push_back(std::string(254, '0') + "7");
  std::mt19937 gen(seed);
  const std::string alphabet = "0123456789012345678901234567890123456789-+..eExXbBoO' \tafnit";
  for (int i = 0; i < 300; ++i) {
    const std::size_t len = gen() % 8 == 0 ? gen() % 256 : gen() % 24;
    std::string s;
    for (std::size_t k = 0; k < len; ++k)
      s += alphabet[gen() % alphabet.size()];
    t.push_back(s);
  }
  return t;
}

TEST(StringCastProperty, ReadersReadWhatTheirChar256TwinReads) {
  const std::vector<std::string> texts = readerTexts(1);
  // (1554, -1): the cast to char256 against the plain load of the same texts.
  const std::pair<int, int> pairs[] = {{358, 357},   {498, 497},   {508, 507},   {518, 517},   {528, 527},
                                       {538, 537},   {548, 547},   {558, 557},   {1574, 1573}, {1596, 1595},
                                       {1600, 1599}, {1716, 1715}, {1807, 1806}, {1554, -1}};
  for (const auto& [stringCode, cellCode] : pairs)
    expectSameReading(stringCode, cellCode, 256, texts);
}

TEST(StringCastProperty, NarrowTwins) {
  std::vector<std::string> texts32, texts64;
  for (const std::string& t : readerTexts(2)) {
    if (t.size() <= 32)
      texts32.push_back(t);
    if (t.size() <= 64)
      texts64.push_back(t);
  }
  expectSameReading(1814, 1813, 32, texts32); // hexadecimal text
  for (auto [from, to] : {std::pair{10, 16}, {16, 2}, {2, 36}, {36, 10}, {1, 10}, {10, 37}}) {
    const Extra bases = [from = from, to = to](Program& p) {
      p.constant(kConstI8, static_cast<std::int8_t>(from)).constant(kConstI8, static_cast<std::int8_t>(to));
    };
    expectSameReading(1810, 1809, 64, texts64, {}, bases); // a string against the char64 twin
  }
  // Every width of the cast to charN: the first N bytes, as the cast from char256 to charN.
  const std::vector<std::string> texts = readerTexts(3);
  const int fromChar256[] = {1507, 1516, 1524, 1531, 1537, 1542, 1548, 1551};
  const int fromString[] = {1508, 1517, 1525, 1532, 1538, 1543, 1549, 1552};
  for (int k = 0; k < 8; ++k)
    expectSameReading(fromString[k], fromChar256[k], 256, texts);
}

TEST(StringCastProperty, DecimalReadersOnDecimalText) {
  std::mt19937 gen(4);
  std::vector<std::string> texts = {"", "  ", "-", "0", "1.25", "-12.345", " 1e1 ", "1.5E-1", "-0.005"};
  for (int i = 0; i < 200; ++i) {
    std::string s = gen() % 2 ? "-" : "";
    s += std::to_string(gen() % 10000000);
    if (gen() % 2)
      s += "." + std::to_string(gen() % 100000);
    if (gen() % 4 == 0)
      s += "e" + std::to_string(static_cast<int>(gen() % 5) - 2);
    texts.push_back(std::string(gen() % 3, ' ') + s + std::string(gen() % 3, ' '));
  }
  EvalInfo info;
  info.setResult(18, 2);
  expectSameReading(568, 567, 256, texts, info);
  info.setResult(28, 4);
  expectSameReading(588, 587, 256, texts, info);
  const Extra ps = [](Program& p) {
    p.constant(kConstI8, std::int8_t{16}).constant(kConstI8, std::int8_t{3});
  };
  expectSameReading(578, 577, 256, texts, {}, ps);
  expectSameReading(598, 597, 256, texts, {}, ps);
}

// Values of every type cast to strings: the ends of each range, then random ones (integers of random
// magnitude, doubles of random bits and random quotients, decimals of both widths, UUIDs).
struct Samples {
  std::vector<std::int8_t> i8 = {0, -1, 127, -128};
  std::vector<std::int16_t> i16 = {0, -1, 32767, -32768};
  std::vector<int> i32 = {0, -1, 0x7F000001, std::numeric_limits<int>::min()};
  std::vector<long> i64 = {0, -1, std::numeric_limits<long>::max(), std::numeric_limits<long>::min()};
  std::vector<unsigned long> u64 = {0, 1, ~0ul};
  std::vector<double> f64;
  std::vector<float> f32 = {0.0f, 1.5f, -3.25e-20f, 1e30f, 0.1f, std::numeric_limits<float>::max()};
  std::vector<Dec64> d64s = {d64(0), d64(-5), d64(std::numeric_limits<long>::min())};
  std::vector<Dec128> d128s = {d128(0), kMax96, kMin96};
  std::vector<fixed_array_t<16>> uuids;

  Samples() {
    f64.insert(f64.end(), {0.0, -0.0, 1.0, 123.5, 1e13, -1e-13, 1.0 / 3, 0.1, 9.99999999999e12, HUGE_VAL, NAN,
                           4.9e-324, 1.7976931348623157e308});
    std::mt19937_64 gen(5);
    for (int i = 0; i < 100; ++i) {
      const std::uint64_t v = gen() >> (gen() % 64), bits = gen();
      i8.push_back(static_cast<std::int8_t>(v));
      i16.push_back(static_cast<std::int16_t>(v));
      i32.push_back(static_cast<int>(v));
      i64.push_back(static_cast<long>(v));
      u64.push_back(v);
      double x;
      std::memcpy(&x, &bits, 8);
      f64.push_back(x);
      f64.push_back(static_cast<double>(static_cast<long>(v)) / static_cast<double>(1 + gen() % 100000));
      f32.push_back(static_cast<float>(x));
      d64s.push_back(d64(static_cast<long>(v)));
      d128s.push_back(
          d128(vela::wrapToInt96(static_cast<vela::uint128_t>(gen()) << 64 | gen()) >> (gen() % 96)));
      fixed_array_t<16> u;
      const std::uint64_t halves[2] = {gen(), gen()};
      std::memcpy(u.bytes, halves, 16);
      uuids.push_back(u);
    }
  }
};

TEST(StringCastProperty, WritersGiveTheTextOfTheirCharNTwin) {
  const Samples v;
  expectSameText(651, 650, v.i8);
  expectSameText(662, 661, v.i16);
  expectSameText(673, 672, v.i32);
  expectSameText(684, 683, v.i64);
  expectSameText(695, 694, v.u64);
  expectSameText(702, 701, v.f32);
  expectSameText(709, 708, v.f64);
  expectSameText(738, 737, v.i32); // ipv4 values are i32 cells
  for (int scale : {0, 2, 18}) {
    EvalInfo info;
    info.setArg(0, 18, scale);
    expectSameText(713, 711, v.d64s, info);
    expectSameText(714, 712, v.d128s, info);
  }
  // UUIDs: the u128 column load holds the same 16 bytes.
  expectSameText(762, 761, v.uuids);
}

// Through an intermediate string and back: the values come back, and the strings made on the way are
// freed (the harness checks the pool).
template <class T>
void expectRoundTrip(int toString, int fromString, const std::vector<T>& values, const EvalInfo& out = {},
                     const EvalInfo& back = {}, bool state = false) {
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(toString));
  Program p;
  p.column(Storage<T>::load, 0).op(toString, out).op(fromString, back);
  HarnessCase c(p);
  c.addColumn(values);
  c.expectRows<T>(values, std::vector<std::uint8_t>(state ? values.size() : 0, 0));
}

TEST(StringCastProperty, RoundTripsThroughStrings) {
  const Samples v;
  expectRoundTrip(684, 548, v.i64);
  expectRoundTrip(695, 558, v.u64);
  expectRoundTrip(738, 1596, v.i32, {}, {}, true);
  expectRoundTrip(762, 1600, v.uuids, {}, {}, true);
  for (int scale : {0, 7, 18}) {
    EvalInfo out, back;
    out.setArg(0, 18, scale);
    back.setResult(0, scale);
    expectRoundTrip(713, 568, v.d64s, out, back, true);
  }
}

} // namespace
