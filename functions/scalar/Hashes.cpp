// Math family: MurmurHash3 hashes of fixed-width values. Three forms, each over twenty operand kinds:
// 2197-2216 (64-bit, i64 seed), 2223-2242 and 2646 (128-bit, u128 seed), 2251-2270 (128-bit, seed 10).
// A value is hashed as its own bytes, so the kernel depends only on the operand's width, which is taken
// from the op's catalogue row: the twenty kinds of a form share ten kernels.

#include <cstddef>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/Hashes.h"

namespace vela::cuda {

namespace {

template <std::size_t W>
using Hash64Op = ElementwiseOp<Hash64Func<W>, long, cell_of_width_t<W>, long>;
template <std::size_t W>
using Hash128SeededOp = ElementwiseOp<Hash128SeededFunc<W>, U128Cell, cell_of_width_t<W>, U128Cell>;
template <std::size_t W>
using Hash128Op = ElementwiseOp<Hash128Func<W>, U128Cell, cell_of_width_t<W>>;

/// The registration of `code` with Shape<W>, W the byte width of the op's first operand; no handler
/// (reported at registration) for a width no hashed kind has.
template <template <std::size_t> class Shape>
OpRegistration byOperandWidth(TypedRpnOp code) {
  const ParserUtils::OpInfo* info = ParserUtils::opInfo(code);
  switch (info == nullptr || info->numOperands == 0 ? 0
                                                    : ParserUtils::get_rpn_datatype_size(info->operands[0])) {
  case 1:
    return opEntry<Shape<1>>(code);
  case 2:
    return opEntry<Shape<2>>(code);
  case 4:
    return opEntry<Shape<4>>(code);
  case 8:
    return opEntry<Shape<8>>(code);
  case 12:
    return opEntry<Shape<12>>(code);
  case 16:
    return opEntry<Shape<16>>(code);
  case 32:
    return opEntry<Shape<32>>(code);
  case 64:
    return opEntry<Shape<64>>(code);
  case 128:
    return opEntry<Shape<128>>(code);
  case 256:
    return opEntry<Shape<256>>(code);
  default:
    return {code, nullptr};
  }
}

bool registerHashes() {
  std::vector<OpRegistration> ops;
  for (TypedRpnOp code = 2197; code <= 2216; ++code)
    ops.push_back(byOperandWidth<Hash64Op>(code));
  for (TypedRpnOp code = 2223; code <= 2242; ++code)
    ops.push_back(byOperandWidth<Hash128SeededOp>(code));
  ops.push_back(byOperandWidth<Hash128SeededOp>(2646));
  for (TypedRpnOp code = 2251; code <= 2270; ++code)
    ops.push_back(byOperandWidth<Hash128Op>(code));
  return registerOps(OpFamily::Math, ops);
}

[[maybe_unused]] const bool kRegistered = registerHashes();

} // namespace

} // namespace vela::cuda
