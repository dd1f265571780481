#pragma once
// Op shapes of the arithmetic files that the generic shapes of EvalElementHandler.h do not cover.

#include <utility>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

/// Guarded division with null states: pops the values a, b, c (c on top) and their three states
/// (pushed in the same order, c's on top of the null-state stack), and pushes one state and one value
/// per row from `Out f(a, b, c, stateA, stateB, stateC, rpn_eval_result_t& state)`. The functor writes
/// the state of every row. The input states are taken as columns: a constant state is rare here, and
/// resolving it would multiply the loop instantiations by eight.
template <class F, class Out, class A, class B, class C>
struct GuardedDivideWithStatesOp {
  template <class E>
  static void eval(E& e) {
    auto c = e.template popInput<C>();
    auto b = e.template popInput<B>();
    auto a = e.template popInput<A>();
    auto stateC = e.template popNonConstInput<rpn_eval_result_t>();
    auto stateB = e.template popNonConstInput<rpn_eval_result_t>();
    auto stateA = e.template popNonConstInput<rpn_eval_result_t>();
    auto states = e.template prepareOutput<rpn_eval_result_t>();
    auto out = e.template prepareOutput<Out>();
    const F f = makeFunctor<F>(e);
    e.runKernelWithState(f, out, states, a, b, c, stateA, stateB, stateC);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

} // namespace vela::cuda
