#pragma once
// A stand-in for the null-flag column load (240) that pushes the column's bytes as row states verbatim,
// so that a test can feed any state, errors included, to the ops that take states. Installed in every
// evaluator for the scope of a ScopedStateLoads.
#include <cstdint>

#include "cuda/EvalElementHandler.h"

namespace quarry::test {

inline constexpr int kLoadStates = 240;

struct StateColumnShape {
  struct Identity {
    vela::cuda::rpn_eval_result_t operator()(std::uint8_t b) const {
      return static_cast<vela::cuda::rpn_eval_result_t>(b);
    }
  };
  template <class E>
  static void eval(E& e) {
    e.template evalVarFunc<std::uint8_t, vela::cuda::rpn_eval_result_t>(Identity{});
  }
};

struct ScopedStateLoads {
  vela::cuda::ScopedOpShape<StateColumnShape> shape{kLoadStates};
};

} // namespace quarry::test
