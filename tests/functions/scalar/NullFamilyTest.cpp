// The null-handling family through both evaluators: every code's stack effect against its catalogue
// row; state constants, column flags and combinators; the ops that read the top value in place; the
// bool-and-state ops; IS NULL, zero-if-null and IF of every width (codes taken from the catalogue by
// name, so a code without a kernel fails here), IF over decimals of two scales, and a program mixing
// them. Arbitrary row states (errors included) are fed through the test loader of state bytes.
#include <bit>
#include <limits>
#include <random>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

using vela::ParserUtils::get_rpn_datatype_size;
using vela::ParserUtils::opInfo;
using Bytes = std::vector<unsigned char>;

/// A plain column load of cells of `width` bytes (loads move cells by width only).
TypedRpnOp loadOfWidth(std::size_t width) {
  if (width >= 32) // char32 ... char256
    return kLoadChar + 5 + static_cast<TypedRpnOp>(std::countr_zero(width / 32));
  return width == 1    ? kLoadBool
         : width == 2  ? kLoadI16
         : width == 4  ? kLoadI32
         : width == 8  ? kLoadI64
         : width == 12 ? kLoadDec128
                       : kLoadU128;
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

// Each op runs over the operands its catalogue row names, above one extra state; a state it pushes is
// merged with that one by 242. Popping or pushing other than the row says leaves a stack that is not
// one value and one state, which the evaluators refuse. 244-246 read a bool on top of the value stack
// that their row does not list as an operand.
TEST(NullFamily, EveryCodeMatchesItsCatalogueRow) {
  for (TypedRpnOp code = 0; code < vela::ParserUtils::kNumOps; ++code) {
    const vela::ParserUtils::OpInfo& info = *opInfo(code);
    if (info.family != vela::ParserUtils::OpFamily::Null)
      continue;
    SCOPED_TRACE(info.name);
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
      c.addRawColumn(w, 3, Bytes(3 * w, 0));
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
}

TEST(NullStates, ConstantsColumnFlagsAndNullToError) {
  // Columns: 0 bool values, 1 and 2 null flags (any non-zero byte is null) read by the real 240 and 241.
  struct Case {
    std::vector<std::pair<TypedRpnOp, int>> ops; // op and the column it reads
    std::vector<State> states;
    State code;
  };
  const Case cases[] = {
      {{{237, 0}}, {1, 1, 1, 1}, 0},
      {{{239, 0}}, {0, 0, 0, 0}, 0},
      {{{287, 0}}, {0, 0, 0, 0}, 0},
      {{{240, 1}}, {0, 1, 0, 1}, 0},
      {{{240, 1}, {238, 0}}, {1, 1, 1, 1}, 0},
      {{{240, 1}, {241, 2}}, {0, 1, 1, 1}, 0},
      {{{240, 1}, {322, 0}}, {0, 16, 0, 16}, 16},
      {{{237, 0}, {322, 0}, {241, 2}}, {16, 16, 1, 1}, 16} // a null flag replaces even an error
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

TEST(NullStates, CombinatorsDiscardsAndTopValueReads) {
  ScopedStateLoads loads;
  // Over [bool value] [deep] [top]: 242 combines the two, 320 drops the top.
  const std::pair<TypedRpnOp, std::vector<State>> combine[] = {{242, {0, 1, 1, 1, 1, 5, 17, 17}},
                                                               {320, kDeep}};
  for (const auto& [code, states] : combine)
    HarnessCase(Program().column(kLoadBool, 0).column(kLoadStates, 1).column(kLoadStates, 2).op(code))
        .addColumn(kValue)
        .addColumn(kDeep)
        .addColumn(kTop)
        .expectRows<Bool>(kValue, states);
  // 244 and 245 map the state by the bool on top without popping it: the bool is still the result; as
  // an intermediate state the bool is dropped (1228) and another value becomes the result.
  const std::vector<std::int64_t> x = {10, 11, 12, 13, 14, 15, 16, 17};
  const std::pair<TypedRpnOp, std::vector<State>> reads[] = {{244, {1, 0, 0, 0, 0, 0, 0, 0}},
                                                             {245, {0, 0, 1, 0, 1, 0, 1, 0}}};
  for (const auto& [code, states] : reads) {
    SCOPED_TRACE(code);
    HarnessCase(Program().column(kLoadBool, 0).column(kLoadStates, 1).op(code))
        .addColumn(kValue)
        .addColumn(kDeep)
        .expectRows<Bool>(kValue, states);
    HarnessCase(Program().column(kLoadBool, 0).column(kLoadStates, 1).op(code).op(1228).column(kLoadI64, 2))
        .addColumn(kValue)
        .addColumn(kDeep)
        .addColumn(x)
        .expectRows(x, states);
  }
  // 321 turns the state into a bool and leaves no state; 243 makes i32 codes narrowed to a byte the
  // states, with the value 0.
  HarnessCase(Program().column(kLoadStates, 0).op(321))
      .addColumn(kDeep)
      .expectRows<Bool>({0, 0, 1, 1, 1, 1, 1, 0});
  HarnessCase(Program().column(kLoadI32, 0).op(243))
      .addColumn<std::int32_t>({0, 1, 16, 257, -1, 7})
      .expectRows<std::int32_t>({0, 0, 0, 0, 0, 0}, {0, 1, 16, 1, 255, 7});
}

TEST(NullStates, SelectStateFollowsTheConditionIfPops) {
  ScopedStateLoads loads;
  const std::vector<std::int64_t> first = {10, 11, 12, 13, 14, 15, 16, 17},
                                  second = {-1, -2, -3, -4, -5, -6, -7, -8};
  // The condition on top selects the state of the second value (on top) where true; any non-zero byte
  // is true.
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).column(kLoadBool, 2);
  p.column(kLoadStates, 3).column(kLoadStates, 4).op(246).op(1202);
  HarnessCase(p)
      .addColumn(first)
      .addColumn(second)
      .addColumn<Bool>({0, 1, 0, 1, 0, 1, 2, 0})
      .addColumn(kDeep)
      .addColumn(kTop)
      .expectRows<std::int64_t>({10, -2, 12, -4, 14, -6, -7, 17}, {0, 1, 1, 5, 5, 17, 5, 0});
  // A constant condition (2649, all false) selects the first value and its state.
  Program q;
  q.column(kLoadI64, 0).column(kLoadI64, 1).op(2649);
  q.column(kLoadStates, 2).column(kLoadStates, 3).op(246).op(1202);
  HarnessCase(q).addColumn(first).addColumn(second).addColumn(kDeep).addColumn(kTop).expectRows(first, kDeep);
}

using Result = std::pair<Bool, State>;
// An error on top passes with x; otherwise x AND (s == 0), whose state is `ifTrue` or `ifFalse`.
Result maskedAnd(Bool x, State s, State ifTrue, State ifFalse) {
  if (s >= 2)
    return {x, s};
  const bool r = x != 0 && s == 0;
  return {r, r ? ifTrue : ifFalse};
}
Result andState(const Bytes& v) {
  return {v[0] != 0 && v[1] != 0, v[0] != 0 ? v[2] : 0};
}
Result orState(const Bytes& v) {
  return {v[0] != 0 || v[1] != 0, v[0] != 0 ? 0 : v[2]};
}
// y, x; t, s: a present FALSE decides an AND (TRUE an OR); otherwise the deeper error, then null.
Result kleene(const Bytes& v, bool isAnd) {
  const bool y = v[0] != 0, x = v[1] != 0, r = isAnd ? x && y : x || y;
  const State t = v[2], s = v[3];
  if ((s == 0 && x != isAnd) || (t == 0 && y != isAnd))
    return {!isAnd, 0};
  if (t >= 2 || s >= 2)
    return {r, t >= 2 ? t : s};
  return {r, (s == 1 || t == 1) ? 1 : 0};
}

// The bool-and-state ops over every combination of bool bytes {0, 1, 7} and states {0, 1, 2, 16, 200}
// (75 to 375 rows, so the kernels' vector blocks are reached), against the rules written as plain
// branches. Operands in push order: the bools, then the states, deepest first.
TEST(NullStates, BoolAndStateOpsOverEveryCombination) {
  ScopedStateLoads loads;
  using Rule = Result (*)(const Bytes&);
  struct Op {
    TypedRpnOp code;
    int bools, states;
    Rule rule;
  };
  const Op ops[] = {
      {247, 1, 1,
       [](const Bytes& v) -> Result {
         return {v[0] != 0 && v[1] == 0, v[1] == 1 ? 0 : v[1]};
       }},
      {248, 1, 2, [](const Bytes& v) { return maskedAnd(v[0], v[2], 0, v[1]); }}, // x; t, s
      {249, 1, 2, [](const Bytes& v) { return maskedAnd(v[0], v[2], v[1], 0); }},
      {250, 1, 3, [](const Bytes& v) { return maskedAnd(v[0], v[3], v[2], v[1]); }}, // y; d, t, s
      {251, 2, 1, andState},                                                         // y, x; s
      {252, 2, 1, andState},
      {254, 2, 1, orState},
      {255, 2, 1, orState},
      {253, 2, 2, [](const Bytes& v) { return kleene(v, true); }}, // y, x; t, s
      {256, 2, 2, [](const Bytes& v) { return kleene(v, false); }}};
  const Bytes boolBytes = {0, 1, 7}, stateBytes = {0, 1, 2, 16, 200};
  for (const Op& op : ops) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(op.code));
    const int operands = op.bools + op.states;
    std::vector<Bytes> columns(operands);
    std::vector<Bool> values;
    std::vector<State> states;
    std::size_t rows = 1;
    for (int k = 0; k < operands; ++k)
      rows *= k < op.bools ? boolBytes.size() : stateBytes.size();
    for (std::size_t row = 0; row < rows; ++row) {
      std::vector<unsigned char> v(operands);
      std::size_t rest = row;
      for (int k = 0; k < operands; ++k) {
        const Bytes& choices = k < op.bools ? boolBytes : stateBytes;
        v[k] = choices[rest % choices.size()];
        rest /= choices.size();
        columns[k].push_back(v[k]);
      }
      const auto [value, state] = op.rule(v);
      values.push_back(value);
      states.push_back(state);
    }
    Program p;
    HarnessCase c(p);
    for (int col = 0; col < operands; ++col) {
      p.column(col < op.bools ? kLoadBool : kLoadStates, col);
      c.addColumn(columns[col]);
    }
    p.op(op.code);
    c.expectRows(values, states);
  }
}

const std::vector<State> kStates = {0, 1, 17, 2, 1, 0};
const std::vector<State> kPassed = {0, 0, 17, 2, 0, 0}; // null cleared, errors kept

TEST(NullValues, IsNullOfEveryType) {
  // The test's bool is the condition of an IF between two values pushed below the discarded operand,
  // so that discarding other than one cell of the operand's width shows in the selected values.
  ScopedStateLoads loads;
  const std::vector<std::int64_t> x = {1, 2, 3, 4, 5, 6}, y = {-1, -2, -3, -4, -5, -6};
  for (TypedRpnOp code : nullCodesNamed("IS_NULL_")) {
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
  for (TypedRpnOp code : nullCodesNamed("ZERO_IF_NULL_")) {
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
    const HarnessResult r = HarnessCase(Program().column(loadOfWidth(w), 0).column(kLoadStates, 1).op(code))
                                .addRawColumn(w, kStates.size(), in)
                                .addColumn(kStates)
                                .run();
    HarnessCase::checkStates(r, kPassed, vela::cuda::RPN_EVAL_OK);
    expectCells(r, want, w);
  }
  // A null f64 becomes +0.0; present rows keep -0.0 and NaN.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  HarnessCase(Program().column(kLoadF64, 0).column(kLoadStates, 1).op(299))
      .addColumn<double>({-0.0, nan, -3.5})
      .addColumn<State>({0, 0, 1})
      .expectRows<double>({-0.0, nan, 0.0});
}

TEST(NullValues, IfOfEveryType) {
  const std::vector<Bool> cond = {0, 1, 2, 0, 255, 1};
  for (TypedRpnOp code : nullCodesNamed("IF_")) {
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
  HarnessCase(
      Program().constant(kConstI64, std::int64_t{-9}).column(kLoadI64, 0).column(kLoadBool, 1).op(1209))
      .addColumn<std::int64_t>({1, 2, 3})
      .addColumn<Bool>({1, 0, 1})
      .expectRows<std::int64_t>({1, -9, 3});
  HarnessCase(Program().column(kLoadI32, 0).constant(kConstI32, std::int32_t{5}).op(2649).op(1199))
      .addColumn<std::int32_t>({7, 8})
      .expectRows<std::int32_t>({7, 8});
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
      {false, 3, 1, 2000, 15, 1, 1500},
      {false, 20, 2, 7, 1, 0, 700},                  // a scale above 18 counts as the factor 1
      {false, 0, 2, e18, 0, 0, 7766279631452241920}, // 10^20 wraps in 64 bits
      {true, 3, 1, 2000, 15, 1, 1500},
      {true, 0, 1, 5 * e27, 0, 0, 5 * e27 * 10 - (vela::int128_t(1) << 96)} // wraps in 96 bits
  };
  auto run = [](const Case& k, auto cell) {
    const TypedRpnOp load = k.wide ? kLoadDec128 : kLoadDec64;
    Program p;
    p.column(load, 0).column(load, 1).column(kLoadBool, 2);
    HarnessCase(p.op(k.wide ? 1205 : 1204, scales(0, {k.firstScale, k.secondScale})))
        .addColumn(std::vector{cell(k.first)})
        .addColumn(std::vector{cell(k.second)})
        .addColumn(std::vector<Bool>{k.cond})
        .expectRows(std::vector{cell(k.want)});
  };
  for (const Case& k : cases)
    k.wide ? run(k, [](vela::int128_t v) { return d128(v); })
           : run(k, [](vela::int128_t v) { return d64(static_cast<long>(v)); });
}

TEST(NullFamily, MixedNullArithmeticIsNullZeroIfNullAndThreeValuedLogic) {
  // ((a / b, null where b = 0) > 8 AND x) OR a IS NULL, over columns with null flags, then one of: the
  // state as it is, nulls turned into error 16, or nulls turned into false.
  struct Variant {
    std::optional<TypedRpnOp> last;
    std::vector<State> states;
    State code;
  };
  const Variant variants[] = {
      {{}, {0, 1, 0, 1, 0, 0}, 0}, {322, {0, 16, 0, 16, 0, 0}, 16}, {288, {0, 0, 0, 0, 0, 0}, 0}};
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
        .expectRows<Bool>({0, 0, 1, 0, 0, 1}, v.states, rpn_eval_result_t(v.code));
  }
}

} // namespace
