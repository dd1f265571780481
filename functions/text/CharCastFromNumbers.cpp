// Value family: integers to charN text (codes 642-694 and 739-750): decimal digits, '-' before
// negatives, written last-first straight into the top of the cell. A number whose text is longer than
// the cell keeps its first N characters, as every charN result is cut to its width (an i32 of 12345
// cast to char4 is "1234"); the casts never fail.

#include <cstdint>
#include <vector>

#include "functions/text/CharCastRegistration.h"
#include "functions/text/NumberText.h"

namespace vela::cuda {

namespace {

using namespace charcast;

template <class C, class T>
struct IntToTextFunc {
  C operator()(T v) const { return convert_int_types_to_charN<C>(v); }
};

template <class C>
struct U128ToTextFunc {
  C operator()(const fixed_array_t<16>& v) const { return convert_int_types_to_charN<C>(u128Of(v)); }
};

template <class T>
void addIntToText(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  forWidths(AllWidths{}, first, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<IntToTextFunc<C, T>, C, T>>(code));
  });
}

bool registerNumbersToText() {
  std::vector<OpRegistration> ops;
  addIntToText<std::int8_t>(ops, 642);
  addIntToText<std::int16_t>(ops, 653);
  addIntToText<std::int32_t>(ops, 664);
  addIntToText<long>(ops, 675);
  addIntToText<unsigned long>(ops, 686);
  addIntToText<std::uint32_t>(ops, 739);
  forWidths(Widths64Up{}, 748, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<U128ToTextFunc<C>, C, fixed_array_t<16>>>(code));
  });
  return registerOps(OpFamily::Value, ops);
}

[[maybe_unused]] const bool kRegistered = registerNumbersToText();

} // namespace

} // namespace vela::cuda
