#pragma once
// Selection forms shared by the object kinds (strings, geometries, vectors, JSON): IF hands on the
// chosen input itself (its owner settles after the batch through checkObjectMove), and the
// EMPTY_FROM_ANY ops push one shared, never-freed empty object as a constant.

#include <cstdint>

#include "functions/scalar/CastZeroFromAny.h"

namespace vela::cuda::object_ops {

/// a where the condition byte is non-zero, else b; a null pointer is handed on like any other input.
template <class Out, class Cell>
struct SelectInputFunc {
  void operator()(Out out, Cell a, Cell b, std::uint8_t condition) const {
    out.writeInput(condition != 0 ? a : b);
  }
};

/// Pops one value of any type and pushes Shared() for every row (borrowed by intermediate results,
/// copied into owned objects in the final one).
template <class Cell, Cell (*Shared)()>
struct SharedConstantFromAnyOp {
  template <class E>
  static void eval(E& e) {
    zero_from_any_detail::popAnyValue(e);
    e.template evalConstValue<Cell>(Shared());
  }
};

} // namespace vela::cuda::object_ops
