// Value family: casts from charN text to bool, the integer types and u128 (codes 112-115, 349-357,
// 509-557, 1565-1573). Text is read in place from the top of the cell; none of these casts fails: text
// that is not a number reads as far as it is one (0 when it has no digits), and a number too large for
// the target keeps its low bits.

#include <cstdint>
#include <vector>

#include "functions/text/CharCastRegistration.h"
#include "functions/text/NumberText.h"

namespace vela::cuda {

namespace {

using namespace charcast;

template <class C>
struct TextToBoolFunc {
  std::uint8_t operator()(const C& text) const { return charN_to_bool(text) ? 1 : 0; }
};

// A charN column loaded and cast to bool in one pass.
template <class C>
struct LoadTextAsBoolOp {
  template <class E>
  static void eval(E& e) {
    e.template evalVarFunc<C, std::uint8_t>(TextToBoolFunc<C>{});
  }
};

template <class T, class C>
struct TextToIntFunc {
  T operator()(const C& text) const { return charN_int_cast<T>(text); }
};

// Code 541 (char4 to i64) does not read digits: it takes the cell's four bytes as the unsigned 32-bit
// number they form (the first character most significant) and widens it with zeros, as integer casts
// widen unsigned sources. Kept as the catalogue fixes it; the other widths read the text.
struct Char4BitsToI64Func {
  long operator()(std::uint32_t cell) const { return static_cast<long>(cell); }
};

template <class C>
struct TextToU128Func {
  fixed_array_t<16> operator()(const C& text) const { return cellOfU128(charN_int_cast<uint128_t>(text)); }
};

template <class T>
void addTextToInt(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  forWidths(AllWidths{}, first, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<TextToIntFunc<T, C>, T, C>>(code));
  });
}

bool registerTextToNumbers() {
  std::vector<OpRegistration> ops;
  forWidths(Widths<1, 2, 4, 8>{}, 112,
            [&]<class C>(TypedRpnOp code) { ops.push_back(opEntry<LoadTextAsBoolOp<C>>(code)); });
  forWidths(AllWidths{}, 349, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<TextToBoolFunc<C>, std::uint8_t, C>>(code));
  });
  addTextToInt<std::int8_t>(ops, 509);
  addTextToInt<std::int16_t>(ops, 519);
  addTextToInt<std::int32_t>(ops, 529);
  forWidths(AllWidths{}, 539, [&]<class C>(TypedRpnOp code) {
    if constexpr (sizeof(C) == 4)
      ops.push_back(opEntry<ElementwiseOp<Char4BitsToI64Func, long, std::uint32_t>>(code));
    else
      ops.push_back(opEntry<ElementwiseOp<TextToIntFunc<long, C>, long, C>>(code));
  });
  addTextToInt<unsigned long>(ops, 549);
  forWidths(AllWidths{}, 1565, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<TextToU128Func<C>, fixed_array_t<16>, C>>(code));
  });
  return registerOps(OpFamily::Value, ops);
}

[[maybe_unused]] const bool kRegistered = registerTextToNumbers();

} // namespace

} // namespace vela::cuda
