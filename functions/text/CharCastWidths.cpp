// Value family: casts between charN widths (codes 1500-1551) and the reinterpretation of a char16 as a
// u128 and back (1544, 1545). The catalogue has only narrowing casts (a wider target is a plain load of
// the same text): they keep the first N characters, the top bytes of the source cell.

#include <vector>

#include "functions/text/CharCastRegistration.h"

namespace vela::cuda {

namespace {

using namespace charcast;

template <class To, class From>
struct ResizeTextFunc {
  To operator()(const From& from) const { return charn::resize<To>(from); }
};

struct SameBytesFunc {
  fixed_array_t<16> operator()(const fixed_array_t<16>& v) const { return v; }
};

// The casts to cells of W bytes from every wider width, codes first, first + 1, ...
template <std::size_t W, std::size_t... From>
void addNarrowing(std::vector<OpRegistration>& ops, TypedRpnOp first, Widths<From...> widths) {
  forWidths(widths, first, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<ResizeTextFunc<charn::Cell<W>, C>, charn::Cell<W>, C>>(code));
  });
}

bool registerWidthCasts() {
  std::vector<OpRegistration> ops;
  addNarrowing<1>(ops, 1500, Widths<2, 4, 8, 16, 32, 64, 128, 256>{});
  addNarrowing<2>(ops, 1510, Widths<4, 8, 16, 32, 64, 128, 256>{});
  addNarrowing<4>(ops, 1519, Widths<8, 16, 32, 64, 128, 256>{});
  addNarrowing<8>(ops, 1527, Widths<16, 32, 64, 128, 256>{});
  addNarrowing<16>(ops, 1534, Widths<32, 64, 128, 256>{});
  addNarrowing<32>(ops, 1540, Widths<64, 128, 256>{});
  addNarrowing<64>(ops, 1547, Widths<128, 256>{});
  addNarrowing<128>(ops, 1551, Widths<256>{});
  ops.push_back(opEntry<ElementwiseOp<SameBytesFunc, fixed_array_t<16>, fixed_array_t<16>>>(1544));
  ops.push_back(opEntry<ElementwiseOp<SameBytesFunc, fixed_array_t<16>, fixed_array_t<16>>>(1545));
  return registerOps(OpFamily::Value, ops);
}

[[maybe_unused]] const bool kRegistered = registerWidthCasts();

} // namespace

} // namespace vela::cuda
