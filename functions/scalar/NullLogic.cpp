// Null-handling family: bool values combined with their row states (codes 247-256), including the
// three-valued AND (253) and OR (256).
//
// Operand order, in pop order (the first-named operand is the top of its stack):
//   247       x; s                x AND (s == 0), state s == 1 ? 0 : s (null counts as false)
//   248, 249  x; s, t             s is the state of x
//   250       y; s, t, d          s is the state of y
//   251, 252  x, y; s
//   253, 256  x, y; s, t          s is the state of x, t the state of y; x and s are the second operand
//   254, 255  x, y; s
// The kernels list their parameters in push order (deepest first), as the shapes pass them.
//
// Three-valued connectives: the value byte is the AND (OR) of the two value bytes in every row; the
// state is 0 when a present operand decides the result (FALSE for AND, TRUE for OR), else the error of
// an operand carrying one, else null when an operand is null, else 0. When both operands carry errors
// the deeper operand (y, t: the first operand the program pushed) keeps its code, as in the
// comparison family's connectives.

#include "functions/scalar/NullShapes.h"

namespace vela::cuda {

namespace {

using namespace null_ops;

// The kernels are written with byte masks (maskIf, selectBits) so that their loops vectorise.

/// 0 or 1 for a bool byte (any non-zero byte is true).
constexpr Bool truth(Bool x) {
  return static_cast<Bool>(maskIf<Bool>(x != 0) & 1);
}

/// 247: null counts as false; an error passes on.
struct AndNotNullFunc {
  Bool operator()(Bool x, State s, State& state) const {
    state = static_cast<State>(s & ~maskIf<State>(s == RPN_EVAL_NULL));
    return static_cast<Bool>(truth(x) & maskIf<Bool>(s == RPN_EVAL_OK));
  }
};

/// 248 (Then = false): state r ? 0 : t. 249 (Then = true): state r ? t : 0. r = x AND (s == 0); an
/// error state s passes on with the value x unchanged.
template <bool Then>
struct WhenStateFunc {
  Bool operator()(Bool x, State t, State s, State& state) const {
    const State error = maskIf<State>(s >= RPN_EVAL_DIVIDE_BY_ZERO);
    const State r = static_cast<State>(maskIf<State>(x != 0) & maskIf<State>(s == RPN_EVAL_OK));
    const State picked = static_cast<State>(t & (Then ? r : static_cast<State>(~r)));
    state = selectBits<State>(error, s, picked);
    return selectBits<Bool>(error, x, static_cast<Bool>(r & 1));
  }
};

/// 250: state r ? t : d, r = y AND (s == 0); an error state s passes on with the value y unchanged.
struct WhenStateSelectFunc {
  Bool operator()(Bool y, State d, State t, State s, State& state) const {
    const State error = maskIf<State>(s >= RPN_EVAL_DIVIDE_BY_ZERO);
    const State r = static_cast<State>(maskIf<State>(y != 0) & maskIf<State>(s == RPN_EVAL_OK));
    state = selectBits<State>(error, s, selectBits<State>(r, t, d));
    return selectBits<Bool>(error, y, static_cast<Bool>(r & 1));
  }
};

/// 251, 252: value x AND y; state y ? s : 0.
struct AndStateIfYFunc {
  Bool operator()(Bool y, Bool x, State s, State& state) const {
    const State yTrue = maskIf<State>(y != 0);
    state = static_cast<State>(s & yTrue);
    return static_cast<Bool>(truth(x) & yTrue);
  }
};

/// 254, 255: value x OR y; state y ? 0 : s.
struct OrStateIfNotYFunc {
  Bool operator()(Bool y, Bool x, State s, State& state) const {
    const State yTrue = maskIf<State>(y != 0);
    state = static_cast<State>(s & ~yTrue);
    return static_cast<Bool>(truth(x) | (yTrue & 1));
  }
};

/// 253 (Dominant = false) and 256 (Dominant = true): a present operand equal to Dominant decides.
template <bool Dominant>
struct ThreeValuedFunc {
  Bool operator()(Bool y, Bool x, State t, State s, State& state) const {
    const Bool xTrue = maskIf<Bool>(x != 0), yTrue = maskIf<Bool>(y != 0);
    const Bool xDecides = Dominant ? xTrue : static_cast<Bool>(~xTrue);
    const Bool yDecides = Dominant ? yTrue : static_cast<Bool>(~yTrue);
    const State decided = static_cast<State>((maskIf<State>(s == RPN_EVAL_OK) & xDecides) |
                                             (maskIf<State>(t == RPN_EVAL_OK) & yDecides));
    const State errorT = errorOf(t);
    const State error = selectBits<State>(maskIf<State>(errorT != 0), errorT, errorOf(s));
    const State null = static_cast<State>(
        (maskIf<State>(s == RPN_EVAL_NULL) | maskIf<State>(t == RPN_EVAL_NULL)) & RPN_EVAL_NULL);
    state = static_cast<State>(~decided & selectBits<State>(maskIf<State>(error != 0), error, null));
    return static_cast<Bool>((Dominant ? (xTrue | yTrue) : (xTrue & yTrue)) & 1);
  }
};

using C = AsColumn<State>;

const OpRegistration kOps[] = {
    opEntry<StateOpWithState<AndNotNullFunc, Bool, Bool, State>>(247),              // AND_NOT_NULL
    opEntry<StateOpWithState<WhenStateFunc<false>, Bool, Bool, C, C>>(248),         // WHEN_STATE_ELSE
    opEntry<StateOpWithState<WhenStateFunc<true>, Bool, Bool, C, C>>(249),          // WHEN_STATE_THEN
    opEntry<StateOpWithState<WhenStateSelectFunc, Bool, Bool, C, C, C>>(250),       // WHEN_STATE_SELECT
    opEntry<StateOpWithState<AndStateIfYFunc, Bool, Bool, Bool, C>>(251),           // AND_STATE_IF_Y
    opEntry<StateOpWithState<AndStateIfYFunc, Bool, Bool, Bool, C>>(252),           // AND_STATE_IF_Y_2
    opEntry<StateOpWithState<ThreeValuedFunc<false>, Bool, Bool, Bool, C, C>>(253), // AND_3V
    opEntry<StateOpWithState<OrStateIfNotYFunc, Bool, Bool, Bool, C>>(254),         // OR_STATE_IF_NOT_Y
    opEntry<StateOpWithState<OrStateIfNotYFunc, Bool, Bool, Bool, C>>(255),         // OR_STATE_IF_NOT_Y_2
    opEntry<StateOpWithState<ThreeValuedFunc<true>, Bool, Bool, Bool, C, C>>(256),  // OR_3V
};

[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Null, kOps);

} // namespace

} // namespace vela::cuda
