// Null-handling family as programs use it: every code's stack effect against its catalogue row, the
// three-valued AND and OR over every pair of operands, and a program mixing null-producing arithmetic,
// IS NULL, zero-if-null and three-valued logic.
#include "tests/functions/scalar/CompareTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::compare;

namespace {

using vela::ParserUtils::get_rpn_datatype_size;
using vela::ParserUtils::opInfo;

TypedRpnOp loadOfWidth(std::size_t width) {
  const std::pair<std::size_t, TypedRpnOp> loads[] = {
      {1, kLoadBool},  {2, kLoadI16}, {4, kLoadI32}, {8, kLoadI64}, {12, kLoadDec128},
      {16, kLoadU128}, {32, 223},     {64, 224},     {128, 225},    {256, 226}};
  for (const auto& [w, load] : loads)
    if (w == width)
      return load;
  ADD_FAILURE() << "no load of width " << width;
  return kLoadBool;
}

// Each op runs over the operands its catalogue row names, above one extra state; a state it pushes is
// merged with that one by 242. Popping or pushing other than the row says leaves a stack that is not
// one value and one state, which the evaluators refuse. 244-246 read a bool on top of the value stack
// that their row does not list as an operand.
TEST(NullProgram, EveryCodeMatchesItsCatalogueRow) {
  int checked = 0;
  for (TypedRpnOp code = 0; code < vela::ParserUtils::kNumOps; ++code) {
    const vela::ParserUtils::OpInfo& info = *opInfo(code);
    if (info.family != vela::ParserUtils::OpFamily::Null)
      continue;
    SCOPED_TRACE(info.name);
    ++checked;
    Program p;
    HarnessCase c(p);
    c.rows(3).rowCounts({1, 65});
    p.op(239);
    int values = 0;
    if (code >= 244 && code <= 246) {
      p.column(kLoadBool, values++);
      c.addColumn<Bool>({0, 1, 0});
    }
    for (int k = 0; k < info.numOperands; ++k) {
      const std::size_t w = get_rpn_datatype_size(info.operands[k]);
      p.column(loadOfWidth(w), values++);
      c.addRawColumn(w, 3, std::vector<unsigned char>(3 * w, 0));
    }
    for (int k = 0; k < info.statesIn; ++k)
      p.op(239);
    p.column(code, 0);
    if (info.statesOut == 1)
      p.op(242);
    if (!info.pushesValue() && values - info.numOperands == 0)
      p.column(kLoadBool, 0);
    if (values == 0)
      c.addColumn<Bool>({0, 1, 0});
    c.run();
  }
  EXPECT_EQ(checked, 102);
}

struct Operand {
  Bool value;
  State state;
};
// FALSE, TRUE, NULL with either value byte, errors with either value byte.
const Operand kOperands[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 5}, {1, 17}};

TEST(NullProgram, ThreeValuedAndOrOverEveryPair) {
  ScopedStateLoads loads;
  for (const bool isOr : {false, true}) {
    // A result is definite when every completion of the unknown operands gives the same truth value; an
    // indefinite one carries the first operand's error, else the second's, else null.
    std::vector<Bool> y, x, values;
    std::vector<State> t, s, states;
    for (const Operand& first : kOperands)
      for (const Operand& second : kOperands) {
        y.push_back(first.value);
        t.push_back(first.state);
        x.push_back(second.value);
        s.push_back(second.state);
        values.push_back(isOr ? first.value | second.value : first.value & second.value);
        bool seen[2] = {false, false};
        for (int u = 0; u < 2; ++u)
          for (int v = 0; v < 2; ++v)
            if ((first.state == 0 ? u == first.value : true) &&
                (second.state == 0 ? v == second.value : true))
              seen[isOr ? (u | v) : (u & v)] = true;
        State st = 0;
        if (seen[0] && seen[1])
          st = first.state >= 2 ? first.state : second.state >= 2 ? second.state : 1;
        states.push_back(st);
      }
    Program p;
    p.column(kLoadBool, 0)
        .column(kLoadBool, 1)
        .column(kLoadStates, 2)
        .column(kLoadStates, 3)
        .op(isOr ? 256 : 253);
    HarnessCase(p).addColumn(y).addColumn(x).addColumn(t).addColumn(s).expectRows(values, states);
  }
}

TEST(NullProgram, MixedNullArithmeticIsNullZeroIfNullAndThreeValuedLogic) {
  // ((a / b, null where b = 0) > 8 AND x) OR a IS NULL, over columns with null flags, then one of: the
  // state as it is, nulls turned into error 16, or nulls turned into false.
  struct Variant {
    std::optional<TypedRpnOp> last;
    std::vector<Bool> values;
    std::vector<State> states;
    State code;
  };
  const Variant variants[] = {
      {{}, {0, 0, 1, 0, 0, 1}, {0, 1, 0, 1, 0, 0}, 0},
      {322, {0, 0, 1, 0, 0, 1}, {0, 16, 0, 16, 0, 0}, 16},
      {288, {0, 0, 1, 0, 0, 1}, {0, 0, 0, 0, 0, 0}, 0},
  };
  for (const Variant& v : variants) {
    Program p;
    // a, b and the fallback 0 with their states: a's and b's null flags, the fallback null.
    p.column(kLoadI64, 0).column(kLoadI64, 2).constant(kConstI64, std::int64_t{0});
    p.column(240, 1).column(240, 3).op(237).op(1151);     // DIVZN_I64
    p.constant(kConstI64, std::int64_t{8}).op(995);       // GT_I64
    p.column(kLoadBool, 4).column(240, 5).op(253);        // AND_3V with x
    p.column(kLoadI64, 0).column(240, 1).op(260).op(256); // IS_NULL_I64, OR_3V
    if (v.last)
      p.op(*v.last);
    HarnessCase(p)
        .addColumn<std::int64_t>({7, 8, 9, 20, 5, 30})
        .addNullFlags({false, false, true, false, false, false})
        .addColumn<std::int64_t>({1, 0, 1, 2, 0, 3})
        .addNullFlags({false, false, false, true, false, false})
        .addColumn<Bool>({1, 1, 1, 0, 0, 1})
        .addNullFlags({false, true, false, true, false, false})
        .expectRows(v.values, v.states, rpn_eval_result_t(v.code));
  }
}

} // namespace
