#pragma once
// Op shapes of the null-handling family that the generic shapes of EvalElementHandler.h do not cover,
// and the cell types its files share.
//
// Row states travel on the null-state stack as one byte per row: 0 present, 1 null, 2 and above the
// row's error code. Several state ops pop two to four states besides one or two bool values; popping
// every state as a constant-or-column view would multiply the kernel loops by two per state, so the
// shapes here take states as columns (a constant state, such as the present state of a non-nullable
// operand, is expanded into a column of its value first) and keep the constant/column choice for
// values only.

#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda::null_ops {

/// A bool value: one byte, 0 or 1 (any non-zero byte is read as true).
using Bool = std::uint8_t;
/// A row state.
using State = rpn_eval_result_t;

/// How a row functor takes a cell: by value up to 16 bytes, so that both operands of a selection are
/// loaded unconditionally and the select vectorises; wider text cells by reference.
template <class T>
using CellParam = std::conditional_t<(sizeof(T) <= 16), T, const T&>;

using vela::cuda::AsColumn;

/// Branch-free selection. At -O2 the compiler turns `c ? a : b` over loaded cells into masked loads or
/// branches and leaves the loop scalar, while the same choice written with all-ones / all-zero masks of
/// the cell's own width vectorises; the per-row kernels of this family use these forms.
template <class T>
using MaskBits =
    typename std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>, std::type_identity<T>>::type;
/// All ones when c, else 0 (for an unsigned integer or a byte enumeration such as State).
template <class T>
constexpr T maskIf(bool c) {
  using U = MaskBits<T>;
  static_assert(std::is_integral_v<U> && std::is_unsigned_v<U>);
  return static_cast<T>(static_cast<U>(U(0) - U(c)));
}
/// a where the mask is set, else b.
template <class T>
constexpr T selectBits(T mask, T a, T b) {
  using U = MaskBits<T>;
  const U m = static_cast<U>(mask);
  return static_cast<T>(static_cast<U>((static_cast<U>(a) & m) | (static_cast<U>(b) & static_cast<U>(~m))));
}
/// The state's error code (2 and above), else 0.
constexpr State errorOf(State s) {
  return static_cast<State>(s & maskIf<State>(s >= RPN_EVAL_DIVIDE_BY_ZERO));
}

namespace detail {

// Puts back a value popped only to be read. The column-batch evaluator re-pushes the very entry (a
// borrowed column stays borrowed, nothing is copied); the row evaluator writes the cell back into the
// slot it was popped from.
template <class E, class In>
void restoreValue(E& e, In& in) {
  if constexpr (requires { e.pushValue(std::move(in.entry())); }) {
    e.pushValue(std::move(in.entry()));
  } else {
    auto out = e.template prepareOutput<typename In::value_type>();
    *out.column() = in.value();
    e.push(std::move(out));
  }
}

} // namespace detail

/// The generic shapes, which pop AsColumn<T> operands as columns. The functors of StateOpWithState
/// write the state of every row (a state op computes it, it is no failure flag).
template <class F, class Out, class... In>
using StateOp = ElementwiseOp<F, Out, In...>;
template <class F, class Out, class... In>
using StateOpWithState = ElementwiseOpWithState<F, Out, In...>;

/// IS NULL of any kind: pops the row state s, then discards the value operand of cell type T (none
/// for void; an object operand's owner frees it), and pushes s == 1 with the state s == 1 ? 0 : s: the
/// test itself is never null, an error passes on.
struct IsNullFunc {
  Bool operator()(State s, State& state) const {
    const State isNull = maskIf<State>(s == RPN_EVAL_NULL);
    state = static_cast<State>(s & ~isNull);
    return static_cast<Bool>(isNull & 1);
  }
};

template <class T>
struct IsNullOp {
  template <class E>
  static void eval(E& e) {
    auto s = e.template popInput<State>();
    if constexpr (!std::is_void_v<T>)
      (void)e.template popInput<T>();
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<Bool>();
    e.runKernelWithState(IsNullFunc{}, out, states, s);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

/// Pops the states In... (push order), reads the bool value on top of the value stack without
/// removing it, and pushes the state f(in..., top) per row.
template <class F, class... In>
struct ReadTopValueStateOp {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto top = e.template popInput<Bool>();
    auto out = e.template prepareOutput<State>();
    const F f{};
    std::apply([&](auto&... in) { e.runKernel(f, out, in..., top); }, inputs);
    detail::restoreValue(e, top);
    e.push(std::move(out));
  }
};

/// Pops one state s and pushes f(s, flag) per row, flag being the row's byte of the element's column
/// (a column of one-byte null flags, 1 = null).
template <class F>
struct ColumnFlagsStateOp {
  template <class E>
  static void eval(E& e) {
    auto s = e.template popNonConstInput<State>();
    auto out = e.template prepareOutput<State>();
    const auto* flags =
        reinterpret_cast<const std::uint8_t*>(e.params().columns[e.element().columnIndex()]) + e.startRow();
    vela::cuda::dispatchFuncHost(e.rowCount(), F{}, out.view(), s.column(), flags);
    e.push(std::move(out));
  }
};

/// Pops one value of cell type T and nothing else.
template <class T>
struct DropValueOp {
  template <class E>
  static void eval(E& e) {
    (void)e.template popInput<T>();
  }
};

} // namespace vela::cuda::null_ops
