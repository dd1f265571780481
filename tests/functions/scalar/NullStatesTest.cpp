// Null-handling family: state constants and column flags, state combinators, the ops that read the top
// value in place, and the bool-and-state ops 247-252, 254, 255. Arbitrary row states (errors included)
// are fed through a test loader of state bytes standing in for code 240; the real 240 is tested on its
// own.
#include "tests/functions/scalar/CompareTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::compare;

namespace {

constexpr TypedRpnOp kNullFlags = 240;

TEST(NullStates, ConstantsColumnFlagsAndNullToError) {
  // Columns: 0 bool values, 1 and 2 null flags (any non-zero byte is null).
  struct Case {
    std::vector<std::pair<TypedRpnOp, int>> ops; // op and the column it reads
    std::vector<State> states;
    State code;
  };
  const Case cases[] = {
      {{{237, 0}}, {1, 1, 1, 1}, 0},
      {{{239, 0}}, {0, 0, 0, 0}, 0},
      {{{287, 0}}, {0, 0, 0, 0}, 0},
      {{{kNullFlags, 1}}, {0, 1, 0, 1}, 0},
      {{{kNullFlags, 1}, {238, 0}}, {1, 1, 1, 1}, 0},
      {{{kNullFlags, 1}, {241, 2}}, {0, 1, 1, 1}, 0},
      {{{kNullFlags, 1}, {322, 0}}, {0, 16, 0, 16}, 16},
      // A null flag replaces even an error; a clear flag lets it pass.
      {{{237, 0}, {322, 0}, {241, 2}}, {16, 16, 1, 1}, 16},
  };
  for (const Case& k : cases) {
    Program p;
    p.column(kLoadBool, 0);
    for (const auto& [code, col] : k.ops)
      p.column(code, col);
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(k.ops.back().first));
    HarnessCase(p)
        .addColumn<Bool>({1, 1, 1, 1})
        .addColumn<Bool>({0, 1, 0, 255})
        .addColumn<Bool>({0, 0, 1, 1})
        .expectRows<Bool>({1, 1, 1, 1}, k.states, rpn_eval_result_t(k.code));
  }
}

// Two state columns: `deep` pushed first, `top` on top of it.
const std::vector<State> kDeep = {0, 0, 1, 1, 5, 5, 17, 0};
const std::vector<State> kTop = {0, 1, 0, 5, 1, 17, 5, 17};
const std::vector<Bool> kValue = {1, 0, 1, 0, 1, 0, 1, 0};

TEST(NullStates, CombinatorsAndDiscards) {
  ScopedStateLoads loads;
  struct Case {
    TypedRpnOp code;
    std::vector<State> states;
  };
  // Over [bool value] [deep] [top]: 242 combines the two, 320 drops the top, 244 and 245 map the top by
  // the value byte and keep the deeper state below.
  const Case cases[] = {
      {242, {0, 1, 1, 1, 1, 5, 17, 17}},
      {320, kDeep},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(k.code));
    Program p;
    p.column(kLoadBool, 0).column(kLoadStates, 1).column(kLoadStates, 2).op(k.code);
    HarnessCase(p).addColumn<Bool>(kValue).addColumn<State>(kDeep).addColumn<State>(kTop).expectRows<Bool>(
        kValue, k.states);
  }
  // 244 and 245 read the bool on top without popping it: the value is still the result.
  const Case reads[] = {{244, {1, 0, 0, 0, 0, 0, 0, 0}}, {245, {0, 0, 1, 0, 1, 0, 1, 0}}};
  for (const Case& k : reads) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(k.code));
    Program p;
    p.column(kLoadBool, 0).column(kLoadStates, 1).op(k.code);
    HarnessCase(p).addColumn<Bool>(kValue).addColumn<State>(kDeep).expectRows<Bool>(kValue, k.states);
    // The same state as an intermediate: the bool is dropped (1228) and another value becomes the result.
    Program q;
    q.column(kLoadBool, 0).column(kLoadStates, 1).op(k.code).op(1228).column(kLoadI64, 2);
    const std::vector<std::int64_t> x = {10, 11, 12, 13, 14, 15, 16, 17};
    HarnessCase(q).addColumn<Bool>(kValue).addColumn<State>(kDeep).addColumn<std::int64_t>(x).expectRows(
        x, k.states);
  }
  // 321 turns the state into a bool and leaves no state.
  Program p;
  p.column(kLoadStates, 0).op(321);
  HarnessCase(p).addColumn<State>(kDeep).expectRows<Bool>({0, 0, 1, 1, 1, 1, 1, 0});
  // 243: i32 codes narrowed to a byte become the states; the value is 0.
  Program c;
  c.column(kLoadI32, 0).op(243);
  HarnessCase(c)
      .addColumn<std::int32_t>({0, 1, 16, 257, -1, 7})
      .expectRows<std::int32_t>({0, 0, 0, 0, 0, 0}, {0, 1, 16, 1, 255, 7});
}

TEST(NullStates, SelectStateFollowsTheConditionIfPops) {
  ScopedStateLoads loads;
  const std::vector<std::int64_t> first = {10, 11, 12, 13, 14, 15, 16, 17};
  const std::vector<std::int64_t> second = {-1, -2, -3, -4, -5, -6, -7, -8};
  // The condition on top selects the state of the second value (on top) where true; any non-zero byte
  // is true.
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).column(kLoadBool, 2);
  p.column(kLoadStates, 3).column(kLoadStates, 4).op(246).op(1202);
  HarnessCase(p)
      .addColumn(first)
      .addColumn(second)
      .addColumn<Bool>({0, 1, 0, 1, 0, 1, 2, 0})
      .addColumn<State>(kDeep)
      .addColumn<State>(kTop)
      .expectRows<std::int64_t>({10, -2, 12, -4, 14, -6, -7, 17}, {0, 1, 1, 5, 5, 17, 5, 0});
  // A constant condition (2649, all false) selects the first value and its state.
  Program q;
  q.column(kLoadI64, 0).column(kLoadI64, 1).op(2649);
  q.column(kLoadStates, 2).column(kLoadStates, 3).op(246).op(1202);
  HarnessCase(q)
      .addColumn(first)
      .addColumn(second)
      .addColumn<State>(kDeep)
      .addColumn<State>(kTop)
      .expectRows<std::int64_t>(first, kDeep);
}

TEST(NullStates, BoolAndStateOps) {
  ScopedStateLoads loads;
  struct Case {
    TypedRpnOp code;
    int values; // bool operands, pushed from columns 0 (deeper) and 1
    int states; // state operands, pushed from the next columns, deepest first
    std::vector<std::vector<std::uint8_t>> columns;
    std::vector<Bool> values_;
    std::vector<State> states_;
  };
  const std::vector<std::uint8_t> y = {1, 1, 0, 0, 1}, x = {1, 0, 1, 0, 1}, s = {0, 1, 1, 5, 5};
  const Case cases[] = {
      // x; s: x AND (s == 0), null counts as false, errors pass.
      {247, 1, 1, {{1, 1, 0, 1, 1}, {0, 1, 0, 5, 17}}, {1, 0, 0, 0, 0}, {0, 0, 0, 5, 17}},
      // x; t (deeper), s (top, the state of x).
      {248,
       1,
       2,
       {{1, 1, 0, 1, 0, 1}, {1, 9, 1, 9, 9, 16}, {0, 1, 0, 5, 1, 0}},
       {1, 0, 0, 1, 0, 1},
       {0, 9, 1, 5, 9, 0}},
      {249,
       1,
       2,
       {{1, 1, 0, 1, 0, 1}, {1, 9, 1, 9, 9, 16}, {0, 1, 0, 5, 1, 0}},
       {1, 0, 0, 1, 0, 1},
       {1, 0, 0, 5, 0, 16}},
      // y; d (deepest), t, s (top, the state of y).
      {250, 1, 3, {{1, 1, 0, 1}, {4, 0, 4, 4}, {0, 3, 3, 3}, {0, 1, 0, 17}}, {1, 0, 0, 1}, {0, 0, 4, 17}},
      // y (deeper), x (top); s.
      {251, 2, 1, {y, x, s}, {1, 0, 0, 0, 1}, {0, 1, 0, 0, 5}},
      {252, 2, 1, {y, x, s}, {1, 0, 0, 0, 1}, {0, 1, 0, 0, 5}},
      {254, 2, 1, {y, x, s}, {1, 1, 1, 0, 1}, {0, 0, 1, 5, 0}},
      {255, 2, 1, {y, x, s}, {1, 1, 1, 0, 1}, {0, 0, 1, 5, 0}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(k.code));
    Program p;
    int col = 0;
    for (int i = 0; i < k.values; ++i)
      p.column(kLoadBool, col++);
    for (int i = 0; i < k.states; ++i)
      p.column(kLoadStates, col++);
    p.op(k.code);
    HarnessCase c(p);
    for (const auto& column : k.columns)
      c.addColumn(column);
    c.expectRows(k.values_, k.states_);
  }
}

} // namespace
