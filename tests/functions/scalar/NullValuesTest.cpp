// Null-handling family: IS NULL, zero-if-null and IF over every code and width, and IF over decimals
// of two scales. Codes are taken from the catalogue by name, so a code without a kernel fails here.
#include <bit>
#include <limits>
#include <random>

#include "tests/functions/scalar/CompareTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::compare;

namespace {

using vela::ParserUtils::get_rpn_datatype_size;
using vela::ParserUtils::opInfo;
using Bytes = std::vector<unsigned char>;

/// A plain column load of cells of `width` bytes (loads move cells by width only).
TypedRpnOp loadOfWidth(std::size_t width) {
  switch (width) {
  case 1:
    return kLoadBool;
  case 2:
    return kLoadI16;
  case 4:
    return kLoadI32;
  case 8:
    return kLoadI64;
  case 12:
    return kLoadDec128;
  case 16:
    return kLoadU128;
  default: // char32 ... char256
    return kLoadChar + 5 + static_cast<TypedRpnOp>(std::countr_zero(width / 32));
  }
}

std::vector<TypedRpnOp> nullCodesNamed(std::string_view prefix) {
  std::vector<TypedRpnOp> codes;
  for (TypedRpnOp c = 0; c < vela::ParserUtils::kNumOps; ++c)
    if (opInfo(c)->family == vela::ParserUtils::OpFamily::Null &&
        std::string_view(opInfo(c)->name).starts_with(prefix))
      codes.push_back(c);
  return codes;
}

Bytes randomCells(unsigned long rows, std::size_t width, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes b(rows * width);
  for (auto& v : b)
    v = static_cast<unsigned char>(gen() | 1); // never an all-zero cell
  return b;
}

void expectCells(const HarnessResult& r, const Bytes& want, std::size_t width) {
  ASSERT_EQ(r.width, width);
  for (unsigned long row = 0; row < r.rows; ++row)
    if (r.states[row] == 0) {
      EXPECT_EQ(0, std::memcmp(r.values.data() + row * width, want.data() + row * width, width))
          << "row " << row;
    }
}

const std::vector<State> kStates = {0, 1, 17, 2, 1, 0};
const std::vector<State> kPassed = {0, 0, 17, 2, 0, 0}; // null cleared, errors kept

TEST(NullValues, IsNullOfEveryType) {
  // The test's bool is the condition of an IF between two values pushed below the discarded operand,
  // so that discarding other than one cell of the operand's width shows in the selected values.
  ScopedStateLoads loads;
  const std::vector<TypedRpnOp> codes = nullCodesNamed("IS_NULL_");
  EXPECT_EQ(codes.size(), 25u); // 257-278, 284, 286, and IS_NULL_OR_ERROR
  const std::vector<std::int64_t> x = {1, 2, 3, 4, 5, 6}, y = {-1, -2, -3, -4, -5, -6};
  for (TypedRpnOp code : codes) {
    if (code == 321)
      continue; // no state out; tested with the state ops
    SCOPED_TRACE(opInfo(code)->name);
    Program p;
    HarnessCase c(p);
    p.column(kLoadI64, 0).column(kLoadI64, 1);
    c.addColumn(x).addColumn(y);
    if (opInfo(code)->numOperands == 1) {
      const std::size_t w = get_rpn_datatype_size(opInfo(code)->operands[0]);
      p.column(loadOfWidth(w), 2);
      c.addRawColumn(w, kStates.size(), randomCells(kStates.size(), w, code));
    }
    p.column(kLoadStates, 2 + opInfo(code)->numOperands).op(code).op(1202);
    c.addColumn(kStates).expectRows<std::int64_t>({1, -2, 3, 4, -5, 6}, kPassed);
  }
}

TEST(NullValues, ZeroIfNullOfEveryType) {
  ScopedStateLoads loads;
  const std::vector<TypedRpnOp> codes = nullCodesNamed("ZERO_IF_NULL_");
  EXPECT_EQ(codes.size(), 26u); // 288-312, 318
  for (TypedRpnOp code : codes) {
    SCOPED_TRACE(opInfo(code)->name);
    const std::size_t w = get_rpn_datatype_size(opInfo(code)->result);
    const Bytes in = randomCells(kStates.size(), w, code);
    // Null rows become zero: all bytes 0, or the packed 1970-01-01 00:00:00.000 for datetimes.
    Bytes want = in;
    const bool datetime = opInfo(code)->result == vela::ParserUtils::RpnDataType::DateTime;
    const std::uint64_t epoch = 0x8C21000000001A0ull;
    for (std::size_t row = 0; row < kStates.size(); ++row)
      if (kStates[row] == 1) {
        std::memset(want.data() + row * w, 0, w);
        if (datetime)
          std::memcpy(want.data() + row * w, &epoch, sizeof epoch);
      }
    Program p;
    p.column(loadOfWidth(w), 0).column(kLoadStates, 1).op(code);
    HarnessCase c(p);
    c.addRawColumn(w, kStates.size(), in).addColumn(kStates);
    const HarnessResult r = c.run();
    HarnessCase::checkStates(r, kPassed, vela::cuda::RPN_EVAL_OK);
    expectCells(r, want, w);
  }
  // A null f64 becomes +0.0; present rows keep -0.0 and NaN.
  Program p;
  p.column(kLoadF64, 0).column(kLoadStates, 1).op(299);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  HarnessCase(p)
      .addColumn<double>({-0.0, nan, -3.5})
      .addColumn<State>({0, 0, 1})
      .expectRows<double>({-0.0, nan, 0.0});
}

TEST(NullValues, IfOfEveryType) {
  const std::vector<TypedRpnOp> codes = nullCodesNamed("IF_");
  EXPECT_EQ(codes.size(), 26u); // 1196-1220, 1224
  const std::vector<Bool> cond = {0, 1, 2, 0, 255, 1};
  for (TypedRpnOp code : codes) {
    SCOPED_TRACE(opInfo(code)->name);
    const std::size_t w = get_rpn_datatype_size(opInfo(code)->result);
    const Bytes first = randomCells(cond.size(), w, code), second = randomCells(cond.size(), w, code + 7);
    Bytes want(first.size());
    for (std::size_t row = 0; row < cond.size(); ++row)
      std::memcpy(want.data() + row * w, (cond[row] != 0 ? second : first).data() + row * w, w);
    Program p;
    p.column(loadOfWidth(w), 0).column(loadOfWidth(w), 1).column(kLoadBool, 2).op(code);
    HarnessCase c(p);
    c.addRawColumn(w, cond.size(), first).addRawColumn(w, cond.size(), second).addColumn(cond);
    expectCells(c.run(), want, w);
  }
  // Constant operands: a constant first value, and the constant false condition.
  Program p;
  p.constant(kConstI64, std::int64_t{-9}).column(kLoadI64, 0).column(kLoadBool, 1).op(1209);
  HarnessCase(p).addColumn<std::int64_t>({1, 2, 3}).addColumn<Bool>({1, 0, 1}).expectRows<std::int64_t>(
      {1, -9, 3});
  Program q;
  q.column(kLoadI32, 0).constant(kConstI32, std::int32_t{5}).op(2649).op(1199);
  HarnessCase(q).addColumn<std::int32_t>({7, 8}).expectRows<std::int32_t>({7, 8});
}

TEST(NullValues, IfOverDecimalsRescalesToTheLargerScale) {
  struct Case {
    bool wide; // dec128 (1205) or dec64 (1204)
    int firstScale, secondScale;
    vela::int128_t first, second;
    Bool cond;
    vela::int128_t want;
  };
  const vela::int128_t e18 = 1000000000000000000, e27 = e18 * 1000000000;
  const Case cases[] = {
      {false, 1, 3, 15, 2000, 0, 1500}, // 1.5 and 2.000 at scale 3
      {false, 1, 3, 15, 2000, 1, 2000},
      {false, 3, 1, 2000, 15, 1, 1500},
      {false, 0, 2, -3, -250, 0, -300},
      {false, 20, 2, 7, 1, 0, 700}, // a scale above 18 counts as the factor 1
      {false, 2, 2, 5, 6, 1, 6},
      {false, 0, 2, e18, 0, 0, 7766279631452241920}, // 10^20 wraps in 64 bits
      {true, 1, 3, 15, 2000, 0, 1500},
      {true, 3, 1, 2000, 15, 1, 1500},
      {true, 0, 1, -3 * e27, 4, 0, -30 * e27},
      {true, 0, 1, 5 * e27, 0, 0, 5 * e27 * 10 - (vela::int128_t(1) << 96)}, // wraps in 96 bits
  };
  auto run = [](const Case& k, auto cell) {
    Program p;
    p.column(k.wide ? kLoadDec128 : kLoadDec64, 0)
        .column(k.wide ? kLoadDec128 : kLoadDec64, 1)
        .column(kLoadBool, 2)
        .op(k.wide ? 1205 : 1204, scales({k.firstScale, k.secondScale}));
    HarnessCase(p)
        .addColumn(std::vector{cell(k.first)})
        .addColumn(std::vector{cell(k.second)})
        .addColumn(std::vector<Bool>{k.cond})
        .expectRows(std::vector{cell(k.want)});
  };
  for (const Case& k : cases) {
    if (k.wide)
      run(k, [](vela::int128_t v) { return d128(v); });
    else
      run(k, [](vela::int128_t v) { return Dec64(static_cast<long>(v)); });
  }
}

} // namespace
