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

/// Marks an operand of a shape that is popped as a column (popNonConstInput) rather than as a
/// constant-or-column view (popInput).
template <class T>
struct AsColumn {
  using type = T;
};

namespace detail {

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

// Pops operands listed in push order (the last one is on top of its stack and is popped first); values
// and states live on separate stacks, so only the order within each stack matters. Returns the views
// in push order.
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

/// Pops In... (push order; AsColumn<T> pops a column of T), pushes f(in...) as Out.
template <class F, class Out, class... In>
struct StateOp {
  template <class E>
  static void eval(E& e) {
    auto inputs = detail::popOperands<E, In...>(e);
    auto out = e.template prepareOutput<Out>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
    e.push(std::move(out));
  }
};

/// As StateOp for `Out f(in..., rpn_eval_result_t& state)`: pushes a state and a value per row. The
/// functors of this family write the state of every row (a state op computes it, it is no failure
/// flag).
template <class F, class Out, class... In>
struct StateOpWithState {
  template <class E>
  static void eval(E& e) {
    auto inputs = detail::popOperands<E, In...>(e);
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<Out>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernelWithState(f, out, states, in...); }, inputs);
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
    auto inputs = detail::popOperands<E, In...>(e);
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
