#pragma once
// ZERO_FROM_ANY (611-623, 628-637): pops one value of any type and pushes the all-zero value of the
// result type.
//
// Neither evaluator records the type of a stack entry, but the row evaluator's value stack needs the
// width of what it pops, and an object must be popped as an object, so that its owner (the row
// evaluator's holder, the column-batch evaluator's entry) frees it when the op has finished. The type
// is the result type of the element that pushed the top value, found by walking back over the program
// with the catalogue's stack effects, the same effects the stack-depth analysis counts; the walk
// usually stops at the element just before.

#include <cstddef>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace zero_from_any_detail {

using ParserUtils::OpInfo;

/// The result type of the element whose value is on top of the value stack when element `index` runs;
/// None when the elements before it leave no value there (popping then underflows).
inline RpnDataType topValueType(const TypedRpnElement* elements, std::size_t index) {
  std::size_t above = 0; // values pushed after the wanted one and still on the stack
  for (std::size_t i = index; i-- > 0;) {
    const OpInfo* op = ParserUtils::opInfo(elements[i].op);
    if (op == nullptr)
      continue;
    if (op->pushesValue()) {
      if (above == 0)
        return op->result;
      --above;
    }
    above += op->numOperands;
  }
  return RpnDataType::None;
}

template <class T, class E>
void discard(E& e) {
  (void)e.template popInput<T>();
}

/// Pops the top value as its own type: objects through their cell type, other values by width.
template <class E>
void popAnyValue(E& e) {
  const RpnDataType type = topValueType(e.params().elements, e.elementIndex());
  switch (type) {
  case RpnDataType::String:
  case RpnDataType::String2:
    return discard<const InlineBuffer<char>*>(e);
  case RpnDataType::Vector:
    return discard<const InlineBuffer<float>*>(e);
  case RpnDataType::Json:
  case RpnDataType::Array:
    return discard<const nlohmann::json*>(e);
  case RpnDataType::Geometry:
    return discard<const geos::geom::Geometry*>(e);
  default:
    break;
  }
  switch (ParserUtils::get_rpn_datatype_size(type)) {
  case 1:
    return discard<cell_of_width_t<1>>(e);
  case 2:
    return discard<cell_of_width_t<2>>(e);
  case 4:
    return discard<cell_of_width_t<4>>(e);
  case 12:
    return discard<cell_of_width_t<12>>(e);
  case 16:
    return discard<cell_of_width_t<16>>(e);
  case 32:
    return discard<cell_of_width_t<32>>(e);
  case 64:
    return discard<cell_of_width_t<64>>(e);
  case 128:
    return discard<cell_of_width_t<128>>(e);
  case 256:
    return discard<cell_of_width_t<256>>(e);
  default: // 8-byte cells, and an empty stack (which refuses the pop)
    return discard<cell_of_width_t<8>>(e);
  }
}

} // namespace zero_from_any_detail

/// Pops any value, pushes the all-zero cell T.
template <class T>
struct ZeroFromAnyOp {
  template <class E>
  static void eval(E& e) {
    zero_from_any_detail::popAnyValue(e);
    e.template evalConstNull<T>();
  }
};

} // namespace vela::cuda
