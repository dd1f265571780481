#pragma once
// Element dispatch, the op handler tables and the generic op shapes.
//
// Dispatch. EvalElementHandler<E>::evalElement() looks the element's op code up in the op handler
// table, which holds only codes installed by their own catalogue family (ParserUtils::opFamily), so the
// one lookup routes as the nine family members (evalElementValue, ...) do. A code without a handler goes
// to noOpElement() when it is a no-op marker, else to unhandledElement() (unassigned and out-of-range
// codes, and codes their family has not registered yet: a family grows one op at a time).
//
// Registration. Each family's small files register their ops at load time:
//
//   const OpRegistration kOps[] = {
//       opEntry<ElementwiseOp<AddWrapFunc, long, long, long>>(1054),
//       opEntry<ElementwiseOpWithState<DivSignedFunc, long, long, long>>(1078),
//   };
//   [[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);
//
// An op is one such line plus its row functor. opEntry<Shape>(code) instantiates the shape's
// `template <class E> static void eval(E&)` for every evaluator type in RegisteredEvaluators and installs
// one handler per evaluator: both evaluators run the same functor, the column-batch evaluator over a
// batch and the row evaluator over one row. A code whose catalogue family differs from the registering
// family, or that is registered twice, is not installed and is recorded in opRegistrationErrors().
//
// The handler table is one array per evaluator type, indexed by op code; since routing only sends a
// family its own codes, that array is the union of the nine per-family tables without duplicating the
// catalogue's routing.
//
// Shapes use only this evaluator interface, which both evaluators offer: popInput<T>(),
// popNonConstInput<T>(), prepareOutput<T>(), push(out), runKernel(f, out, inputs...),
// runKernelWithState(f, out, states, inputs...), checkObjectMove(in, out), element(), params(),
// startRow(), rowCount(), and the loaders evalVar<T>(), evalConst<T>(), evalConstValue<T>(v),
// evalConstNull<T>(), evalVarFunc<In, Out>(f), evalVarFuncResult<In, Out>(f). The column-batch evaluator
// (TypedRpnVectorEvaluator) runs them over a batch; the row evaluator (TypedRpnValueEvaluator) over one
// row, its inputs and outputs being single cells that it hands to the same kernel runner
// (dispatchFuncHost with n = 1), so an op's functor is written once and gives the same results in both.
// runKernelWithState stores 0 in each row's code before calling the functor: a functor sets the code
// only when the row fails.

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/ParserUtils.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"

namespace vela::cuda {

using ParserUtils::OpFamily;
using ParserUtils::TypedRpnOp;

/// The evaluator types every registered op is instantiated for.
template <class... E>
struct EvaluatorTypeList {};
using RegisteredEvaluators = EvaluatorTypeList<TypedRpnVectorEvaluator, TypedRpnValueEvaluator>;

/// Op code -> handler, for one evaluator type. Filled at load time by registerOps (and by
/// ScopedOpHandler in tests), read-only while evaluations run.
template <class E>
class OpHandlerTable {
public:
  using Handler = void (*)(E&);
  /// The handler of `code`, or nullptr (no handler, or a code outside 0..2649).
  static Handler find(TypedRpnOp code) noexcept;
  /// Installs a handler; refuses (and records in opRegistrationErrors) a code outside the code space,
  /// of another family than `family`, or already installed.
  static void install(OpFamily family, TypedRpnOp code, Handler handler);
  /// Replaces the handler of `code` (nullptr removes it) and returns the previous one.
  static Handler replace(TypedRpnOp code, Handler handler) noexcept;
};

/// Problems found while registering ops ("code 1054 (ADD_I64): registered by Value, catalogue says
/// Math"); empty when every registration was taken.
std::vector<std::string> opRegistrationErrors();
void recordOpRegistrationError(std::string message);

/// One op to register: its code and the function that installs its handlers.
struct OpRegistration {
  TypedRpnOp code;
  void (*install)(OpFamily family, TypedRpnOp code);
};

namespace eval_handler_detail {
template <class Shape, class... E>
void installShape(OpFamily family, TypedRpnOp code, EvaluatorTypeList<E...>) {
  (OpHandlerTable<E>::install(family, code, &Shape::template eval<E>), ...);
}
template <class Shape>
void installShapeForAll(OpFamily family, TypedRpnOp code) {
  installShape<Shape>(family, code, RegisteredEvaluators{});
}
} // namespace eval_handler_detail

/// The registration of `code` with the handler shape `Shape`.
template <class Shape>
constexpr OpRegistration opEntry(TypedRpnOp code) {
  return {code, &eval_handler_detail::installShapeForAll<Shape>};
}

/// The registration of `code` with Shape<C>, C the cell type of the width of the code's catalogue result
/// type (cell_of_width_t); install is nullptr when no cell type has that width. For ops that only move
/// cells (loads, constants), so that every type of one width shares one instantiation.
template <template <class> class Shape>
OpRegistration opEntryByResultWidth(TypedRpnOp code) {
  switch (ParserUtils::get_rpn_datatype_size(ParserUtils::get_type(code))) {
  case 1:
    return opEntry<Shape<cell_of_width_t<1>>>(code);
  case 2:
    return opEntry<Shape<cell_of_width_t<2>>>(code);
  case 4:
    return opEntry<Shape<cell_of_width_t<4>>>(code);
  case 8:
    return opEntry<Shape<cell_of_width_t<8>>>(code);
  case 12:
    return opEntry<Shape<cell_of_width_t<12>>>(code);
  case 16:
    return opEntry<Shape<cell_of_width_t<16>>>(code);
  case 32:
    return opEntry<Shape<cell_of_width_t<32>>>(code);
  case 64:
    return opEntry<Shape<cell_of_width_t<64>>>(code);
  case 128:
    return opEntry<Shape<cell_of_width_t<128>>>(code);
  case 256:
    return opEntry<Shape<cell_of_width_t<256>>>(code);
  default:
    return {code, nullptr};
  }
}

/// Installs a family's ops. Returns true (for use as a load-time initialiser).
bool registerOps(OpFamily family, std::initializer_list<OpRegistration> ops);
bool registerOps(OpFamily family, std::span<const OpRegistration> ops);

/// Replaces one op's handler for the lifetime of the object (tests drive frame paths with fake ops this
/// way). Not for use while evaluations run.
template <class E>
class ScopedOpHandler {
public:
  ScopedOpHandler(TypedRpnOp code, typename OpHandlerTable<E>::Handler handler)
      : m_code(code), m_previous(OpHandlerTable<E>::replace(code, handler)) {}
  ~ScopedOpHandler() { OpHandlerTable<E>::replace(m_code, m_previous); }
  ScopedOpHandler(const ScopedOpHandler&) = delete;
  ScopedOpHandler& operator=(const ScopedOpHandler&) = delete;

private:
  TypedRpnOp m_code;
  typename OpHandlerTable<E>::Handler m_previous;
};

/// ScopedOpHandler for every registered evaluator at once, with the handlers of a shape (a class with
/// `template <class E> static void eval(E&)`), so that a test-only op runs in both evaluators.
template <class Shape, class List = RegisteredEvaluators>
class ScopedOpShape;
template <class Shape, class... E>
class ScopedOpShape<Shape, EvaluatorTypeList<E...>> : private ScopedOpHandler<E>... {
public:
  explicit ScopedOpShape(TypedRpnOp code) : ScopedOpHandler<E>(code, &Shape::template eval<E>)... {}
};

/// Routes elements to the family members. Stateless; every member works on the evaluator it is given.
template <class E>
struct EvalElementHandler {
  static void evalElement(E& e);
  static void evalElementValue(E& e);
  static void evalElementCompare(E& e);
  static void evalElementMath(E& e);
  static void evalElementNull(E& e);
  static void evalElementChar(E& e);
  static void evalElementChar2(E& e);
  static void evalElementString(E& e);
  static void evalElementDateTime(E& e);
  static void evalElementGeo(E& e);
};

extern template class OpHandlerTable<TypedRpnVectorEvaluator>;
extern template struct EvalElementHandler<TypedRpnVectorEvaluator>;
extern template class OpHandlerTable<TypedRpnValueEvaluator>;
extern template struct EvalElementHandler<TypedRpnValueEvaluator>;

// ---------------------------------------------------------------------------------------------------
// Op shapes: how an op drives its row functor. A functor that needs the element's decimal precision and
// scale takes `const ParserUtils::EvalInfo&` in its constructor; others are default-constructed.

template <class F, class E>
F makeFunctor(const E& e) {
  if constexpr (std::is_constructible_v<F, const ParserUtils::EvalInfo&>)
    return F(e.element().info);
  else
    return F{};
}

/// Marks an operand of a shape that is popped as a column (popNonConstInput) rather than as a
/// constant-or-column view (popInput): for operands whose constant form would only double the loops.
template <class T>
struct AsColumn {
  using type = T;
};

namespace eval_handler_detail {
template <class T>
struct Popper {
  template <class E>
  static auto pop(E& e) {
    return e.template popInput<T>();
  }
};
template <class T>
struct Popper<AsColumn<T>> {
  template <class E>
  static auto pop(E& e) {
    return e.template popNonConstInput<T>();
  }
};
// Pops the operands of an op whose operands, in push order, are In...: the last one is on top of its
// stack, so it is popped first (values and states live on separate stacks; only the order within each
// matters). Returns the views in push order.
template <class T>
inline constexpr bool isAsColumn = false;
template <class T>
inline constexpr bool isAsColumn<AsColumn<T>> = true;
// Cells an element-wise op may be fused over: values (row states live on the other stack), plain (no
// objects), read as they are (no AsColumn operand, which asks for a writable column), and small enough
// for a block buffer on the stack.
template <class T>
inline constexpr bool fusableCell =
    !std::is_same_v<T, rpn_eval_result_t> && !isAsColumn<T> && std::is_trivially_copyable_v<T> &&
    !isObjectCell<T> && !isObjectHandle<T> && sizeof(T) <= 16;
template <class Out, class... In>
inline constexpr bool fusableCells = sizeof...(In) > 0 && fusableCell<Out> && (fusableCell<In> && ...);

template <class E>
std::tuple<> popOperands(E&) {
  return {};
}
template <class E, class First, class... Rest>
auto popOperands(E& e) {
  auto rest = popOperands<E, Rest...>(e);
  auto first = Popper<First>::pop(e);
  return std::tuple_cat(std::make_tuple(std::move(first)), std::move(rest));
}
} // namespace eval_handler_detail

/// Pops In... (the last operand on top; AsColumn<T> pops a column of T), pushes f(in...) as Out for
/// every row. The column-batch evaluator fuses chains of these over plain cells (evalFusedElementwise),
/// so F must be a pure function of its operands.
template <class F, class Out, class... In>
struct ElementwiseOp {
  template <class E>
  static void eval(E& e) {
    if constexpr (E::kFusesElementwise && eval_handler_detail::fusableCells<Out, In...>) {
      e.template evalFusedElementwise<Out, In...>(makeFunctor<F>(e));
    } else {
      auto inputs = eval_handler_detail::popOperands<E, In...>(e);
      auto out = e.template prepareOutput<Out>();
      const F f = makeFunctor<F>(e);
      std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
      e.push(std::move(out));
    }
  }
};

/// As ElementwiseOp for a functor `Out f(In..., rpn_eval_result_t& code)` that reports a row state:
/// pushes the states on the null-state stack, then the values.
template <class F, class Out, class... In>
struct ElementwiseOpWithState {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto states = e.template prepareOutput<rpn_eval_result_t>();
    auto out = e.template prepareOutput<Out>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernelWithState(f, out, states, in...); }, inputs);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

/// Plain column load of cells T.
template <class T>
struct LoadColumnOp {
  template <class E>
  static void eval(E& e) {
    e.template evalVar<T>();
  }
};

/// Constant held in the element's operand area.
template <class T>
struct LoadConstantOp {
  template <class E>
  static void eval(E& e) {
    e.template evalConst<T>();
  }
};

/// Null constant: the all-zero value of T (the null state itself comes from the state ops).
template <class T>
struct LoadNullConstantOp {
  template <class E>
  static void eval(E& e) {
    e.template evalConstNull<T>();
  }
};

} // namespace vela::cuda
