// Decimal comparisons, GREATEST, LEAST, IN, FIND, FIND_RANGE, LOOKUP and IS NOT DISTINCT FROM: operands
// at different scales meet at the larger one (scales read from the element's EvalInfo), dec64 and dec128
// alike, with the rescaling wrapping in the width.
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

// EQ, NE, LT, LE, GT, GE codes of dec64 and dec128.
constexpr TypedRpnOp kDec64Ops[6] = {942, 958, 972, 985, 998, 1011};
constexpr TypedRpnOp kDec128Ops[6] = {943, 959, 973, 986, 999, 1012};

TEST(CompareDecimal, OperandsMeetAtTheLargerScale) {
  struct Case {
    long a, b; // unscaled values
    int sa, sb;
    int order; // of the scaled values
  };
  const Case cases[] = {
      {150, 15, 2, 1, 0}, {-15, -151, 1, 2, 1}, {1, 1, 0, 18, 1}, {7, 70, 19, 1, 0}, // scale 19 counts as 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "e-" << c.sa << " vs " << c.b << "e-" << c.sb);
    const bool truth[6] = {c.order == 0, c.order != 0, c.order<0, c.order <= 0, c.order> 0, c.order >= 0};
    for (int k = 0; k < 6; ++k) {
      Program p;
      p.column(kLoadDec64, 0).column(kLoadDec64, 1).op(kDec64Ops[k], scales(0, {c.sa, c.sb}));
      HarnessCase(p).addColumn<Dec64>({d64(c.a)}).addColumn<Dec64>({d64(c.b)}).expectRows<Bool>({truth[k]});
      Program q;
      q.constant(kConstDec128, d128(c.a)).column(kLoadDec128, 0).op(kDec128Ops[k], scales(0, {c.sa, c.sb}));
      HarnessCase(q).addColumn<Dec128>({d128(c.b)}).expectRows<Bool>({truth[k]});
    }
  }
  // 2^62 at scale 0 brought to scale 1 wraps in 64 bits to -2^63, without an overflow check: GT 0 is false.
  Program p;
  p.column(kLoadDec64, 0).column(kLoadDec64, 1).op(998, scales(0, {0, 1}));
  HarnessCase(p).addColumn<Dec64>({d64(1L << 62)}).addColumn<Dec64>({d64(0)}).expectRows<Bool>({0});
}

TEST(CompareDecimal, GreatestAndLeastReturnTheLargerScale) {
  // GREATEST(1.5 @1, 1.49 @2) = 1.50 @2; LEAST = 1.49; a tie gives the second operand.
  HarnessCase(Program().column(kLoadDec64, 0).column(kLoadDec64, 1).op(1095, scales(2, {1, 2})))
      .addColumn<Dec64>({d64(15), d64(-15), d64(15)})
      .addColumn<Dec64>({d64(149), d64(-149), d64(150)})
      .expectRows<Dec64>({d64(150), d64(-149), d64(150)});
  Program l;
  l.column(kLoadDec128, 0).constant(kConstDec128, d128(149)).op(1118, scales(2, {1, 2}));
  HarnessCase(l).addColumn<Dec128>({d128(15), d128(-15)}).expectRows<Dec128>({d128(149), d128(-150)});
}

TEST(CompareDecimal, ListsAndLookupsTakeTheScalesOfTheirOperands) {
  // IN and FIND: the value at scale 1, the keys at scale 2 (0.50, 1.25, 3.00).
  Program in;
  in.column(kLoadDec64, 0).list(kListDec64, std::vector<Dec64>{d64(50), d64(125), d64(300)});
  in.op(1024, scales(0, {1, 2}));
  HarnessCase(in).addColumn<Dec64>({d64(5), d64(12), d64(13), d64(30)}).expectRows<Bool>({1, 0, 0, 1});
  Program find;
  find.column(kLoadDec128, 0)
      .list(kListDec128, std::vector<Dec128>{d128(50), d128(125), d128(300)}, {4, 5, 6});
  find.op(1896, scales(0, {1, 2}));
  HarnessCase(find).addColumn<Dec128>({d128(5), d128(12), d128(30)}).expectRows<std::int32_t>({4, -1, 6});
  // FIND_RANGE: value @1, lower bounds @2, upper bounds @0: [1.00, 2) and [2.50, 4).
  Program range;
  range.column(kLoadDec64, 0).list(kListDec64, std::vector<Dec64>{d64(100), d64(250)}, {0, 1});
  range.list(kListDec64, std::vector<Dec64>{d64(2), d64(4)}).op(1916, scales(0, {1, 2, 0}));
  HarnessCase(range)
      .addColumn<Dec64>({d64(9), d64(10), d64(19), d64(20), d64(25), d64(39), d64(40)})
      .expectRows<std::int32_t>({-1, 0, 0, -1, 1, 1, -1});
  // LOOKUP: list @0 (7), default @3 (0.001): the result is at scale 3, the element multiplied up.
  Program up;
  up.column(kLoadI32, 0).list(kListDec128, std::vector<Dec128>{d128(7)}).column(kLoadDec128, 1);
  up.op(1938, scales(3, {0, 0, 3}));
  HarnessCase(up)
      .addColumn<std::int32_t>({0, 1})
      .addColumn<Dec128>({d128(1), d128(1)})
      .expectRows<Dec128>({d128(7000), d128(1)});
}

TEST(CompareDecimal, IsNotDistinctFromAtTheCommonScale) {
  Program p;
  p.column(kLoadDec64, 0).column(kLoadStates, 1).column(kLoadDec64, 2).column(kLoadStates, 3);
  p.op(1237, scales(0, {2, 1}));
  HarnessCase(p)
      .addColumn<Dec64>({d64(150), d64(151)})
      .addNullFlags({0, 0})
      .addColumn<Dec64>({d64(15), d64(15)})
      .addNullFlags({0, 0})
      .expectRows<Bool>({1, 0});
}

} // namespace
