#pragma once
// Registration helpers of the casts between charN cells and the other types. The casts come in blocks
// of consecutive codes, one per width in the order 1, 2, 4, ..., 256; forWidths hands each width's cell
// type and code to a generic lambda that adds the op's registration.

#include <cstddef>
#include <cstring>
#include <vector>

#include "base/Int128.h"
#include "cuda/EvalElementHandler.h"
#include "functions/text/CharN.h"

namespace vela::cuda::charcast {

template <std::size_t... W>
struct Widths {};
using AllWidths = Widths<1, 2, 4, 8, 16, 32, 64, 128, 256>;
using Widths8Up = Widths<8, 16, 32, 64, 128, 256>;
using Widths16Up = Widths<16, 32, 64, 128, 256>;
using Widths64Up = Widths<64, 128, 256>;

/// Calls add.template operator()<charn::Cell<W>>(first + k) for the k-th width W of the list.
template <std::size_t... W, class Add>
void forWidths(Widths<W...>, TypedRpnOp first, Add&& add) {
  TypedRpnOp code = first;
  (add.template operator()<charn::Cell<W>>(code++), ...);
}

/// The 16-byte cell of u128 and uuid values as the unsigned 128-bit number it holds (little-endian).
inline vela::uint128_t u128Of(const fixed_array_t<16>& cell) {
  vela::uint128_t v;
  std::memcpy(&v, cell.bytes, sizeof v);
  return v;
}
inline fixed_array_t<16> cellOfU128(vela::uint128_t v) {
  fixed_array_t<16> cell;
  std::memcpy(cell.bytes, &v, sizeof v);
  return cell;
}

} // namespace vela::cuda::charcast
