// Comparison family: three-valued logic on bool values with their row states, maxima of states, and
// ops whose result is a constant of the program (codes 2553-2625).
//
// Truth maps (2553-2579) pop a bool and its state and map each of the three truth values to one of
// them: with m = code - 2553, FALSE goes to digit m % 3, TRUE to digit (m / 3) % 3 and NULL to digit
// m / 9, where digit 0 is FALSE, 1 TRUE and 2 NULL (2556 is IS TRUE, 2562 IS NULL, 2572 NOT, 2574 the
// identity). An error state passes on unchanged with value 0.
//
// Connectives (2584-2587, 2591 and their complements 22 codes later) pop x, y and the states of x
// (deeper) and y. The value byte is the connective of the two value bytes. The state follows Kleene
// logic: 0 when a present operand decides the result whatever the other one is (FALSE for AND, TRUE for
// OR, ...); otherwise the first operand's error, then the second's; otherwise null when either operand
// is null; otherwise 0. A definite operand thus hides a null or an error of the other one, and an error
// beats a null, as in the AND and OR of the null-handling family.
//
// State maxima (2597-2601) pop 2 to 6 states and push the largest: the highest error, else null when
// any is null, else 0.
//
// Constant results: 2580-2583, 2588-2590 and 2592-2596 discard one operand and push the element's
// constant as a bool (a predicate the compiler folded); their twins 22 codes later discard one operand
// and push the element's constant of the operand's type; 2619-2625 push the element's constant without
// popping. A bool constant is read from the first operand byte, any non-zero byte being TRUE.

#include <algorithm>

#include "functions/scalar/CompareRegistration.h"

namespace vela::cuda {

namespace {

using namespace compare_registration;

// --- truth maps ------------------------------------------------------------------------------------

template <int Map>
struct TruthMapFunc {
  static_assert(Map >= 0 && Map < 27);
  // Output digit of each input truth value: [FALSE, TRUE, NULL].
  static constexpr std::uint8_t kDigits[3] = {Map % 3, (Map / 3) % 3, Map / 9};

  Bool operator()(Bool x, State s, State& state) const {
    if (s >= RPN_EVAL_DIVIDE_BY_ZERO) {
      state = s;
      return 0;
    }
    const std::uint8_t out = kDigits[s == RPN_EVAL_NULL ? 2 : x != 0 ? 1 : 0];
    state = out == 2 ? RPN_EVAL_NULL : RPN_EVAL_OK;
    return out == 1;
  }
};

template <int... Maps>
void addTruthMaps(std::vector<OpRegistration>& ops, std::integer_sequence<int, Maps...>) {
  (ops.push_back(opEntry<ElementwiseOpWithState<TruthMapFunc<Maps>, Bool, Bool, State>>(2553 + Maps)), ...);
}

// --- connectives -----------------------------------------------------------------------------------

// A two-operand connective given by its truth table: bit (2x + y) of Table is f(x, y).
template <unsigned Table>
struct ConnectiveFunc {
  static constexpr bool f(bool x, bool y) { return (Table >> (2 * x + y)) & 1u; }
  // A value of one operand decides the result when the other operand cannot change it.
  static constexpr bool xDecides(bool x) { return f(x, false) == f(x, true); }
  static constexpr bool yDecides(bool y) { return f(false, y) == f(true, y); }

  Bool operator()(Bool xv, Bool yv, State sx, State sy, State& state) const {
    const bool x = xv != 0, y = yv != 0;
    if ((sx == RPN_EVAL_OK && xDecides(x)) || (sy == RPN_EVAL_OK && yDecides(y)))
      state = RPN_EVAL_OK;
    else if (sx >= RPN_EVAL_DIVIDE_BY_ZERO)
      state = sx;
    else if (sy >= RPN_EVAL_DIVIDE_BY_ZERO)
      state = sy;
    else if (sx == RPN_EVAL_NULL || sy == RPN_EVAL_NULL)
      state = RPN_EVAL_NULL;
    else
      state = RPN_EVAL_OK;
    return f(x, y);
  }
};

// Truth tables, bit (2x + y).
constexpr unsigned kAnd = 0b1000;     // x AND y
constexpr unsigned kOr = 0b1110;      // x OR y
constexpr unsigned kXor = 0b0110;     // x XOR y
constexpr unsigned kImplies = 0b1011; // NOT x OR y
constexpr unsigned kImplied = 0b1101; // x OR NOT y
constexpr unsigned complement(unsigned table) {
  return ~table & 0b1111u;
}

template <unsigned Table>
void addConnective(std::vector<OpRegistration>& ops, TypedRpnOp code) {
  ops.push_back(opEntry<ElementwiseOpWithState<ConnectiveFunc<Table>, Bool, Bool, Bool, State, State>>(code));
  ops.push_back(
      opEntry<ElementwiseOpWithState<ConnectiveFunc<complement(Table)>, Bool, Bool, Bool, State, State>>(
          code + 22));
}

// --- state maxima ----------------------------------------------------------------------------------

struct StateMaxFunc {
  template <class... S>
  State operator()(State first, S... rest) const {
    return std::max({first, rest...});
  }
};

// --- constant results ------------------------------------------------------------------------------

// Pushes the element's constant of type T (a bool as 0 or 1).
template <class T, class E>
void pushElementConstant(E& e) {
  if constexpr (std::is_same_v<T, bool>)
    e.template evalConstValue<Bool>(e.element().operand[0] != 0 ? 1 : 0);
  else
    e.template evalConst<T>();
}

// Discards one operand of type Operand, then pushes the element's constant of type T.
template <class Operand, class T>
struct DiscardForConstantOp {
  template <class E>
  static void eval(E& e) {
    (void)e.template popInput<Operand>();
    pushElementConstant<T>(e);
  }
};

template <class T>
struct ConstantResultOp {
  template <class E>
  static void eval(E& e) {
    pushElementConstant<T>(e);
  }
};

// A constant predicate and its twin 22 codes later, over an operand cell of the operand's width: the
// operand is only discarded, and the twin's constant is moved as bytes, so the kind does not matter.
template <class Cell>
void addConstantPair(std::vector<OpRegistration>& ops, TypedRpnOp predicateCode) {
  ops.push_back(opEntry<DiscardForConstantOp<Cell, bool>>(predicateCode));
  ops.push_back(opEntry<DiscardForConstantOp<Cell, Cell>>(predicateCode + 22));
}

bool registerLogic() {
  std::vector<OpRegistration> ops;
  addTruthMaps(ops, std::make_integer_sequence<int, 27>{});

  addConnective<kAnd>(ops, 2584);
  addConnective<kOr>(ops, 2585);
  addConnective<kXor>(ops, 2586);
  addConnective<kImplies>(ops, 2587);
  addConnective<kImplied>(ops, 2591);

  ops.push_back(opEntry<ElementwiseOp<StateMaxFunc, State, State, State>>(2597));
  ops.push_back(opEntry<ElementwiseOp<StateMaxFunc, State, State, State, State>>(2598));
  ops.push_back(opEntry<ElementwiseOp<StateMaxFunc, State, State, State, State, State>>(2599));
  ops.push_back(opEntry<ElementwiseOp<StateMaxFunc, State, State, State, State, State, State>>(2600));
  ops.push_back(opEntry<ElementwiseOp<StateMaxFunc, State, State, State, State, State, State, State>>(2601));

  ops.push_back(opEntry<DiscardForConstantOp<Bool, bool>>(2580));
  ops.push_back(opEntry<DiscardForConstantOp<Bool, bool>>(2602));
  addConstantPair<cell_of_width_t<1>>(ops, 2581);  // i8
  addConstantPair<cell_of_width_t<2>>(ops, 2582);  // i16
  addConstantPair<cell_of_width_t<4>>(ops, 2583);  // i32
  addConstantPair<cell_of_width_t<4>>(ops, 2588);  // u32
  addConstantPair<cell_of_width_t<8>>(ops, 2589);  // i64
  addConstantPair<cell_of_width_t<8>>(ops, 2590);  // u64
  addConstantPair<cell_of_width_t<8>>(ops, 2592);  // dec64
  addConstantPair<cell_of_width_t<12>>(ops, 2593); // dec128
  addConstantPair<cell_of_width_t<4>>(ops, 2594);  // f32
  addConstantPair<cell_of_width_t<8>>(ops, 2595);  // f64
  addConstantPair<cell_of_width_t<16>>(ops, 2596); // u128

  ops.push_back(opEntry<ConstantResultOp<bool>>(2619));
  ops.push_back(opEntry<ConstantResultOp<cell_of_width_t<4>>>(2620));  // i32
  ops.push_back(opEntry<ConstantResultOp<cell_of_width_t<8>>>(2621));  // i64
  ops.push_back(opEntry<ConstantResultOp<cell_of_width_t<8>>>(2622));  // dec64
  ops.push_back(opEntry<ConstantResultOp<cell_of_width_t<12>>>(2623)); // dec128
  ops.push_back(opEntry<ConstantResultOp<cell_of_width_t<4>>>(2624));  // f32
  ops.push_back(opEntry<ConstantResultOp<cell_of_width_t<8>>>(2625));  // f64
  return registerOps(OpFamily::Compare, ops);
}

[[maybe_unused]] const bool kRegistered = registerLogic();

} // namespace

} // namespace vela::cuda
