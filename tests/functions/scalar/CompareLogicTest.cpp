// Truth maps, three-valued connectives on bools with states (codes 2553-2625 and the null family's AND
// and OR), state maxima and constant results, through both evaluators. The connectives are checked
// against the completion model of three-valued logic: a result is definite when every way of filling
// the unknown operands (null or error) gives the same truth value; an indefinite one carries the first
// operand's error, else the second's, else null.
#include <array>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

struct Operand {
  Bool value;
  State state;
};
// FALSE, TRUE (also as a non-canonical byte), NULL (with either value byte), errors.
const std::vector<Operand> kOperands = {{0, 0}, {1, 0}, {3, 0}, {0, 1}, {1, 1}, {0, 5}, {1, 17}};

TEST(TruthMaps, EveryCodeMapsEachTruthValue) {
  ScopedStateLoads loads;
  std::vector<Bool> x;
  std::vector<State> s;
  for (const Operand& o : kOperands) {
    x.push_back(o.value);
    s.push_back(o.state);
  }
  for (TypedRpnOp code = 2553; code < 2553 + 27; ++code) {
    // The code's name spells the images of FALSE, TRUE and NULL.
    const std::string name = vela::ParserUtils::get_trpn_op_name(code);
    SCOPED_TRACE(name);
    const std::string images = name.substr(name.size() - 3);
    std::vector<Bool> values;
    std::vector<State> states;
    for (const Operand& o : kOperands) {
      const char image = images[o.state == 1 ? 2 : o.value != 0 ? 1 : 0];
      values.push_back(o.state < 2 && image == 'T');
      states.push_back(o.state >= 2 ? o.state : image == 'N');
    }
    Program p;
    p.column(kLoadBool, 0).column(kLoadStates, 1).op(code);
    HarnessCase(p).addColumn<Bool>(x).addColumn<State>(s).expectRows<Bool>(values, states, worstCode(states));
  }
}

struct Connective {
  TypedRpnOp code;
  bool (*f)(bool, bool);
  bool valuesFirst = false; // operands pushed as x, y, sx, sy (the null family's) rather than x, sx, y, sy
};
const Connective kConnectives[] = {
    {2584, [](bool x, bool y) { return x && y; }},      {2585, [](bool x, bool y) { return x || y; }},
    {2586, [](bool x, bool y) { return x != y; }},      {2587, [](bool x, bool y) { return !x || y; }},
    {2591, [](bool x, bool y) { return x || !y; }},     {2606, [](bool x, bool y) { return !(x && y); }},
    {2607, [](bool x, bool y) { return !(x || y); }},   {2608, [](bool x, bool y) { return x == y; }},
    {2609, [](bool x, bool y) { return x && !y; }},     {2613, [](bool x, bool y) { return !x && y; }},
    {253, [](bool x, bool y) { return x && y; }, true}, {256, [](bool x, bool y) { return x || y; }, true}};

TEST(Connectives, KleeneStatesOverEveryPairOfOperands) {
  ScopedStateLoads loads;
  for (const Connective& c : kConnectives) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(c.code));
    std::vector<Bool> x, y, values;
    std::vector<State> sx, sy, states;
    for (const Operand& a : kOperands)
      for (const Operand& b : kOperands) {
        if (c.valuesFirst && (a.value > 1 || b.value > 1))
          continue; // the null family's bools are canonical
        x.push_back(a.value);
        sx.push_back(a.state);
        y.push_back(b.value);
        sy.push_back(b.state);
        values.push_back(c.f(a.value != 0, b.value != 0));
        bool seen[2] = {false, false};
        for (bool u : {false, true})
          for (bool v : {false, true})
            if ((a.state != 0 || u == (a.value != 0)) && (b.state != 0 || v == (b.value != 0)))
              seen[c.f(u, v)] = true;
        states.push_back(seen[0] && seen[1] ? (a.state >= 2 ? a.state : b.state >= 2 ? b.state : 1) : 0);
      }
    Program p;
    if (c.valuesFirst)
      p.column(kLoadBool, 0).column(kLoadBool, 2).column(kLoadStates, 1).column(kLoadStates, 3);
    else
      p.column(kLoadBool, 0).column(kLoadStates, 1).column(kLoadBool, 2).column(kLoadStates, 3);
    p.op(c.code);
    // The null family's connectives are no reportable error source: their calls report 0.
    HarnessCase(p).addColumn(x).addColumn(sx).addColumn(y).addColumn(sy).expectRows<Bool>(
        values, states, c.valuesFirst ? vela::cuda::RPN_EVAL_OK : worstCode(states));
  }
}

TEST(StateMax, HighestErrorThenNull) {
  ScopedStateLoads loads;
  const std::vector<std::vector<State>> columns = {{0, 1, 0, 2, 17, 0}, {0, 0, 1, 16, 1, 0},
                                                   {0, 1, 0, 0, 0, 3},  {0, 0, 0, 1, 0, 0},
                                                   {0, 0, 0, 0, 2, 0},  {1, 0, 0, 0, 0, 0}};
  for (int k = 2; k <= 6; ++k) {
    const TypedRpnOp code = 2597 + (k - 2);
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    // The states alone are the program's result: a bool column supplies the one value.
    Program p;
    HarnessCase c(p);
    std::vector<State> expected(6, 0);
    for (int i = 0; i < k; ++i) {
      p.column(kLoadStates, i);
      c.addColumn<State>(columns[i]);
      for (int r = 0; r < 6; ++r)
        expected[r] = std::max(expected[r], columns[i][r]);
    }
    p.op(code).column(kLoadBool, k);
    c.addColumn<Bool>(std::vector<Bool>(6, 1))
        .expectRows<Bool>(std::vector<Bool>(6, 1), expected, worstCode(expected));
  }
}

TEST(ConstantResults, EveryCodePushesTheElementConstant) {
  // Discarding codes (and their twins 22 codes later) pop one operand of their type, loaded here from a
  // column; 2619-2625 pop nothing. The result is the element's constant, a bool as its truth value.
  struct Case {
    TypedRpnOp code, load;
    std::size_t operandWidth, width;
  };
  std::vector<Case> cases = {{2619, 0, 0, 1},  {2620, 0, 0, 4}, {2621, 0, 0, 8}, {2622, 0, 0, 8},
                             {2623, 0, 0, 12}, {2624, 0, 0, 4}, {2625, 0, 0, 8}};
  const std::tuple<TypedRpnOp, TypedRpnOp, std::size_t> discarding[] = {
      {2580, kLoadBool, 1},    {2581, kLoadI8, 1},  {2582, kLoadI16, 2}, {2583, kLoadI32, 4},
      {2588, kLoadU32, 4},     {2589, kLoadI64, 8}, {2590, kLoadU64, 8}, {2592, kLoadDec64, 8},
      {2593, kLoadDec128, 12}, {2594, kLoadF32, 4}, {2595, kLoadF64, 8}, {2596, kLoadU128, 16}};
  for (const auto& [code, load, width] : discarding) {
    cases.push_back({code, load, width, 1});
    cases.push_back({code + 22, load, width, width});
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(k.code));
    std::array<unsigned char, 16> constant{};
    for (std::size_t i = 0; i < k.width; ++i)
      constant[i] = static_cast<unsigned char>(0x11 * (i + 3));
    Program p;
    if (k.load)
      p.column(k.load, 0);
    p.constant(k.code, constant);
    HarnessCase c(p);
    c.rows(3);
    if (k.load)
      c.addRawColumn(k.operandWidth, 3, std::vector<unsigned char>(3 * k.operandWidth, 0x5a));
    const HarnessResult r = c.run();
    if (vela::ParserUtils::get_type(k.code) == vela::ParserUtils::RpnDataType::Bool)
      constant[0] = 1;
    ASSERT_EQ(r.width, k.width);
    for (unsigned long row = 0; row < 3; ++row)
      EXPECT_EQ(0, std::memcmp(r.values.data() + row * k.width, constant.data(), k.width));
  }
  // As intermediates: a folded predicate consumed by a comparison; a constant of the operand's type
  // (2605) and one pushed without popping (2620) compared with each other.
  Program q;
  q.column(kLoadF64, 0).constant(2595, Bool{0}).column(kLoadBool, 1).op(950);
  HarnessCase(q).addColumn<double>({1.0, 2.0}).addColumn<Bool>({0, 1}).expectRows<Bool>({1, 0});
  Program s;
  s.column(kLoadI32, 0).constant(2605, std::int32_t{42}).constant(2620, std::int32_t{41}).op(992);
  HarnessCase(s).addColumn<std::int32_t>({7, 8}).expectRows<Bool>({1, 1});
}

} // namespace
