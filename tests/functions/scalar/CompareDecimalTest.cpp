// Decimal comparisons, GREATEST, LEAST, IN, FIND, FIND_RANGE, LOOKUP and IS NOT DISTINCT FROM: operands
// at different scales meet at the larger one (scales read from the element's EvalInfo), dec64 and dec128
// alike, with the rescaling wrapping in the width.
#include "tests/functions/scalar/CompareTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::compare;

namespace {

// EQ, NE, LT, LE, GT, GE codes of dec64 and dec128.
constexpr TypedRpnOp kDec64Ops[6] = {942, 958, 972, 985, 998, 1011};
constexpr TypedRpnOp kDec128Ops[6] = {943, 959, 973, 986, 999, 1012};

struct DecimalRow {
  long a, b;                 // unscaled values
  int sa, sb;                // their scales
  std::array<Bool, 6> truth; // EQ NE LT LE GT GE
};

const std::vector<DecimalRow> kRows = {
    {150, 15, 2, 1, {1, 0, 0, 1, 0, 1}},   // 1.50 = 1.5
    {15, 151, 1, 2, {0, 1, 1, 1, 0, 0}},   // 1.5 < 1.51
    {-15, -151, 1, 2, {0, 1, 0, 0, 1, 1}}, // -1.5 > -1.51
    {1, 1, 0, 18, {0, 1, 0, 0, 1, 1}},     // 1 > 10^-18
    {7, 70, 19, 1, {1, 0, 0, 1, 0, 1}},    // a scale above 18 counts as factor 1: 7 vs 7.0
    {-1, 0, 3, 3, {0, 1, 1, 1, 0, 0}},
};

TEST(CompareDecimal, OperandsMeetAtTheLargerScale) {
  for (const DecimalRow& row : kRows) {
    SCOPED_TRACE(std::to_string(row.a) + "e-" + std::to_string(row.sa) + " vs " + std::to_string(row.b) +
                 "e-" + std::to_string(row.sb));
    for (int k = 0; k < 6; ++k) {
      Program p;
      p.column(kLoadDec64, 0).column(kLoadDec64, 1).op(kDec64Ops[k], scales({row.sa, row.sb}));
      HarnessCase(p)
          .addColumn<Dec64>({Dec64(row.a)})
          .addColumn<Dec64>({Dec64(row.b)})
          .expectRows<Bool>({row.truth[k]});
      Program q;
      q.constant(kConstDec128, d128(row.a))
          .column(kLoadDec128, 0)
          .op(kDec128Ops[k], scales({row.sa, row.sb}));
      HarnessCase(q).addColumn<Dec128>({d128(row.b)}).expectRows<Bool>({row.truth[k]});
    }
  }
}

TEST(CompareDecimal, RescalingWrapsWithoutAnOverflowCheck) {
  // 2^62 at scale 0 brought to scale 1 is 10 * 2^62, which wraps in 64 bits to -2^63: GT against 0
  // is false, and LT true.
  Program p;
  p.column(kLoadDec64, 0).column(kLoadDec64, 1).op(998, scales({0, 1}));
  HarnessCase(p).addColumn<Dec64>({Dec64(1L << 62)}).addColumn<Dec64>({Dec64(0)}).expectRows<Bool>({0});
  Program q;
  q.column(kLoadDec64, 0).column(kLoadDec64, 1).op(972, scales({0, 1}));
  HarnessCase(q).addColumn<Dec64>({Dec64(1L << 62)}).addColumn<Dec64>({Dec64(0)}).expectRows<Bool>({1});
}

TEST(CompareDecimal, GreatestAndLeastReturnTheLargerScale) {
  // GREATEST(1.5 @1, 1.49 @2) = 1.50 @2; LEAST = 1.49; a tie gives the second operand.
  Program g;
  g.column(kLoadDec64, 0).column(kLoadDec64, 1).op(1095, scales({1, 2}, 2));
  HarnessCase(g)
      .addColumn<Dec64>({Dec64(15), Dec64(-15), Dec64(15)})
      .addColumn<Dec64>({Dec64(149), Dec64(-149), Dec64(150)})
      .expectRows<Dec64>({Dec64(150), Dec64(-149), Dec64(150)});
  Program l;
  l.column(kLoadDec128, 0).column(kLoadDec128, 1).op(1118, scales({1, 2}, 2));
  HarnessCase(l)
      .addColumn<Dec128>({d128(15), d128(-15)})
      .addColumn<Dec128>({d128(149), d128(-149)})
      .expectRows<Dec128>({d128(149), d128(-150)});
  // Second operand at the smaller scale.
  Program h;
  h.column(kLoadDec64, 0).constant(kConstDec64, Dec64(2)).op(1095, scales({3, 0}, 3));
  HarnessCase(h).addColumn<Dec64>({Dec64(1999), Dec64(2001)}).expectRows<Dec64>({Dec64(2000), Dec64(2001)});
}

TEST(CompareDecimal, ListsAndLookupsTakeTheScalesOfTheirOperands) {
  // IN and FIND: the value at scale 1, the keys at scale 2 (0.50, 1.25, 3.00).
  Program in;
  in.column(kLoadDec64, 0).list(kListDec64, std::vector<Dec64>{Dec64(50), Dec64(125), Dec64(300)});
  in.op(1024, scales({1, 2}));
  HarnessCase(in)
      .addColumn<Dec64>({Dec64(5), Dec64(12), Dec64(13), Dec64(30)})
      .expectRows<Bool>({1, 0, 0, 1});
  Program find;
  find.column(kLoadDec128, 0)
      .list(kListDec128, std::vector<Dec128>{d128(50), d128(125), d128(300)}, {4, 5, 6});
  find.op(1896, scales({1, 2}));
  HarnessCase(find).addColumn<Dec128>({d128(5), d128(12), d128(30)}).expectRows<std::int32_t>({4, -1, 6});
  // FIND_RANGE: value @1, lower bounds @2, upper bounds @0: [1.00, 2) and [2.50, 4).
  Program range;
  range.column(kLoadDec64, 0).list(kListDec64, std::vector<Dec64>{Dec64(100), Dec64(250)}, {0, 1});
  range.list(kListDec64, std::vector<Dec64>{Dec64(2), Dec64(4)}).op(1916, scales({1, 2, 0}));
  HarnessCase(range)
      .addColumn<Dec64>({Dec64(9), Dec64(10), Dec64(19), Dec64(20), Dec64(25), Dec64(39), Dec64(40)})
      .expectRows<std::int32_t>({-1, 0, 0, -1, 1, 1, -1});
  // LOOKUP: list @2 (1.25, 2.50), default @1 (0.5): the result is at scale 2.
  Program lookup;
  lookup.column(kLoadI32, 0)
      .list(kListDec64, std::vector<Dec64>{Dec64(125), Dec64(250)})
      .column(kLoadDec64, 1);
  lookup.op(1937, scales({0, 2, 1}, 2));
  HarnessCase(lookup)
      .addColumn<std::int32_t>({0, 1, 2})
      .addColumn<Dec64>({Dec64(5), Dec64(5), Dec64(5)})
      .expectRows<Dec64>({Dec64(125), Dec64(250), Dec64(50)});
  // List @0, default @3: the element is multiplied up.
  Program up;
  up.column(kLoadI32, 0).list(kListDec128, std::vector<Dec128>{d128(7)}).column(kLoadDec128, 1);
  up.op(1938, scales({0, 0, 3}, 3));
  HarnessCase(up)
      .addColumn<std::int32_t>({0, 1})
      .addColumn<Dec128>({d128(1), d128(1)})
      .expectRows<Dec128>({d128(7000), d128(1)});
}

TEST(CompareDecimal, IsNotDistinctFromAtTheCommonScale) {
  ScopedStateLoads loads;
  Program p;
  p.column(kLoadDec64, 0).column(kLoadStates, 1).column(kLoadDec64, 2).column(kLoadStates, 3);
  p.op(1237, scales({2, 1}));
  HarnessCase(p)
      .addColumn<Dec64>({Dec64(150), Dec64(151)})
      .addColumn<State>({0, 0})
      .addColumn<Dec64>({Dec64(15), Dec64(15)})
      .addColumn<State>({0, 0})
      .expectRows<Bool>({1, 0});
}

} // namespace
