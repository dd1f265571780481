#pragma once
// Registration helpers of the fixed-width text ops: one entry per width of a width family, the cell
// type of each width given to the op's shape.

#include <cstddef>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/text/CharTextHelpers.h"

namespace vela::cuda::chartext {

template <std::size_t N>
using Cell = charn::Cell<N>;

/// Appends Shape<Cell<W>> for each width W, at consecutive codes from `first`.
template <template <class> class Shape, std::size_t... W>
void addWidths(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  TypedRpnOp code = first;
  (ops.push_back(opEntry<Shape<Cell<W>>>(code++)), ...);
}

/// The nine widths char1 .. char256.
template <template <class> class Shape>
void addAllWidths(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  addWidths<Shape, 1, 2, 4, 8, 16, 32, 64, 128, 256>(ops, first);
}

} // namespace vela::cuda::chartext
