// Null-handling family: constant states, the null flags of a column, moving states between the stacks,
// and combining states (codes 237-246, 287, 320-322, 1228, 2649).
//
// Operand order. Where an op pops several states, the roles are named in pop order: `a` is the top
// state, `b` the one below it. 244-246 read the bool value on top of the value stack and leave it
// there, so that the IF that follows (condition on top, the second value selected when it is true) can
// pop the same condition: 246 picks `a` (the top state, the state of the second value) where the
// condition is true.

#include <cstdint>

#include "functions/scalar/NullShapes.h"

namespace vela::cuda {

namespace {

using namespace null_ops;

// The kernels choose with byte masks (maskIf, selectBits) so that their loops vectorise.

/// The same state for every row (237, 239, 287), ignoring a popped state when given one (238).
template <State S>
struct ConstantStateFunc {
  State operator()() const { return S; }
  State operator()(State) const { return S; }
};

/// A null flag (any non-zero byte) is the null state.
struct NullFlagFunc {
  State operator()(std::uint8_t flag) const {
    return static_cast<State>(maskIf<State>(flag != 0) & RPN_EVAL_NULL);
  }
};

/// Column null flag ? null : s.
struct OrNullFlagFunc {
  State operator()(State s, std::uint8_t flag) const {
    return selectBits<State>(maskIf<State>(flag != 0), RPN_EVAL_NULL, s);
  }
};

/// The i32 values narrowed to one byte become the row states; the value pushed is 0.
struct CodesToStateFunc {
  std::int32_t operator()(std::int32_t code, State& state) const {
    state = static_cast<State>(static_cast<std::uint8_t>(code));
    return 0;
  }
};

/// Null when `a` is null, else the first non-zero of `b` and `a` (b below a on the state stack).
struct CombineStatesFunc {
  State operator()(State b, State a) const {
    return selectBits<State>(maskIf<State>(a != RPN_EVAL_NULL && b != RPN_EVAL_OK), b, a);
  }
};

/// 244: a set state (null or error) gives 0, else the top value byte v.
struct StateSetZeroElseTopFunc {
  State operator()(State s, Bool v) const { return static_cast<State>(v & maskIf<State>(s == RPN_EVAL_OK)); }
};

/// 245: a set state gives the top value byte v, else 0.
struct StateSetTopElseZeroFunc {
  State operator()(State s, Bool v) const { return static_cast<State>(v & maskIf<State>(s != RPN_EVAL_OK)); }
};

/// 246: the condition on top of the value stack selects `a` (top state) when true, else `b`.
struct SelectStateFunc {
  State operator()(State b, State a, Bool c) const { return selectBits<State>(maskIf<State>(c != 0), a, b); }
};

/// A null row becomes error 16; other states pass.
struct NullToErrorFunc {
  State operator()(State s) const {
    return selectBits<State>(maskIf<State>(s == RPN_EVAL_NULL), RPN_EVAL_NULL_TO_ERROR, s);
  }
};

/// Null or error, as a bool value.
struct IsNullOrErrorFunc {
  Bool operator()(State s) const { return static_cast<Bool>(maskIf<Bool>(s != RPN_EVAL_OK) & 1); }
};

struct DropStateOp {
  template <class E>
  static void eval(E& e) {
    (void)e.template popInput<State>();
  }
};

struct NullFlagsLoadOp {
  template <class E>
  static void eval(E& e) {
    e.template evalVarFunc<std::uint8_t, State>(NullFlagFunc{});
  }
};

struct FalseColumnOp {
  template <class E>
  static void eval(E& e) {
    e.template evalConstNull<Bool>();
  }
};

const OpRegistration kOps[] = {
    opEntry<StateOp<ConstantStateFunc<RPN_EVAL_NULL>, State>>(237),        // NULL_STATE
    opEntry<StateOp<ConstantStateFunc<RPN_EVAL_NULL>, State, State>>(238), // SET_NULL_STATE
    opEntry<StateOp<ConstantStateFunc<RPN_EVAL_OK>, State>>(239),          // NOT_NULL_STATE
    opEntry<StateOp<ConstantStateFunc<RPN_EVAL_OK>, State>>(287),          // NOT_NULL_STATE_2
    opEntry<NullFlagsLoadOp>(240),                                         // LOAD_COL_NULLS
    opEntry<ColumnFlagsStateOp<OrNullFlagFunc>>(241),                      // OR_COL_NULLS
    opEntry<StateOp<CombineStatesFunc, State, AsColumn<State>, AsColumn<State>>>(242),
    opEntry<StateOpWithState<CodesToStateFunc, std::int32_t, std::int32_t>>(243),
    opEntry<ReadTopValueStateOp<StateSetZeroElseTopFunc, AsColumn<State>>>(244),
    opEntry<ReadTopValueStateOp<StateSetTopElseZeroFunc, AsColumn<State>>>(245),
    opEntry<ReadTopValueStateOp<SelectStateFunc, AsColumn<State>, AsColumn<State>>>(246),
    opEntry<DropStateOp>(320),                             // DROP_STATE
    opEntry<StateOp<IsNullOrErrorFunc, Bool, State>>(321), // IS_NULL_OR_ERROR
    opEntry<StateOp<NullToErrorFunc, State, State>>(322),  // NULL_TO_ERROR
    opEntry<DropValueOp<Bool>>(1228),                      // DROP_BOOL
    opEntry<FalseColumnOp>(2649),                          // FALSE_COLUMN
};

[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Null, kOps);

} // namespace

} // namespace vela::cuda
