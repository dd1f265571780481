// Value family: charN text to f64 and f32 (codes 489-507, doubleCast) and f32/f64 to char16 ... char256
// (codes 697-708, the fixed number-to-text rule of convert_num_to_text). Neither direction fails.

#include <vector>

#include "functions/text/CharCastRegistration.h"
#include "functions/text/NumberText.h"

namespace vela::cuda {

namespace {

using namespace charcast;

template <class T, class C>
struct TextToFloatFunc {
  T operator()(const C& text) const { return charN_double_cast<T>(text); }
};

template <class C, class T>
struct FloatToTextFunc {
  C operator()(T x) const { return convert_num_to_charN<C>(x); }
};

bool registerFloatTextCasts() {
  std::vector<OpRegistration> ops;
  forWidths(AllWidths{}, 489, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<TextToFloatFunc<double, C>, double, C>>(code));
  });
  forWidths(AllWidths{}, 499, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<TextToFloatFunc<float, C>, float, C>>(code));
  });
  forWidths(Widths16Up{}, 697, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<FloatToTextFunc<C, float>, C, float>>(code));
  });
  forWidths(Widths16Up{}, 704, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<FloatToTextFunc<C, double>, C, double>>(code));
  });
  return registerOps(OpFamily::Value, ops);
}

[[maybe_unused]] const bool kRegistered = registerFloatTextCasts();

} // namespace

} // namespace vela::cuda
