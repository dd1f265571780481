// Value family: charN text to exact decimals (codes 559-597) and decimals to text (711, 712, 751-756).
//
// Text to decimal goes through the decimal parser (ExactNumericType<T>::convert_charN1, reading the
// reversed cell) at the element's result precision and scale (CastCharNToDecimalFunc) or at a precision
// and scale given per row as two i8 operands. Every row that parses gets state 0. Text the parser
// refuses raises its VelaException (message "unable to convert string '...' to DECIMAL ..."), which
// ends the whole call: the parser sets the error flag only on its way to that throw, so the row state
// 15 mapped from the flag below is never reached while the parser raises.
//
// Decimal to text is the plain decimal form of the value at the source scale (CastDecimalToChar32Func,
// ExactNumericType<T>::to_char32); the wider cells hold the same text as the char32 form.

#include <cstdint>
#include <vector>

#include "functions/text/CharCastDecimal.h"
#include "functions/text/CharCastRegistration.h"

namespace vela::cuda {

namespace {

using namespace charcast;

// The run-time form: precision and scale are operands (i8 each; the precision read as unsigned).
template <class T>
struct CastCharNToDecimalRuntimeFunc {
  template <class C>
  ExactNumericType<T> operator()(const C& text, std::int8_t precision, std::int8_t scale,
                                 rpn_eval_result_t& code) const {
    return CastCharNToDecimalFunc<T>::parse(text, static_cast<std::uint8_t>(precision), scale, code);
  }
};

template <class C>
struct DecimalToWideTextFunc {
  CastDecimalToChar32Func narrow;
  explicit DecimalToWideTextFunc(const ParserUtils::EvalInfo& info) : narrow(info) {}
  template <class D>
  C operator()(D v) const {
    return charn::resize<C>(narrow(v));
  }
};

template <class T>
void addTextToDecimal(std::vector<OpRegistration>& ops, TypedRpnOp fixed, TypedRpnOp runtime) {
  using D = ExactNumericType<T>;
  forWidths(AllWidths{}, fixed, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOpWithState<CastCharNToDecimalFunc<T>, D, C>>(code));
  });
  forWidths(AllWidths{}, runtime, [&]<class C>(TypedRpnOp code) {
    ops.push_back(
        opEntry<ElementwiseOpWithState<CastCharNToDecimalRuntimeFunc<T>, D, C, std::int8_t, std::int8_t>>(
            code));
  });
}

bool registerDecimalTextCasts() {
  std::vector<OpRegistration> ops;
  addTextToDecimal<long>(ops, 559, 569);
  addTextToDecimal<Int96>(ops, 579, 589);
  ops.push_back(opEntry<ElementwiseOp<CastDecimalToChar32Func, fixed_array_t<32>, Decimal64>>(711));
  ops.push_back(opEntry<ElementwiseOp<CastDecimalToChar32Func, fixed_array_t<32>, Decimal128>>(712));
  forWidths(Widths64Up{}, 751, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<DecimalToWideTextFunc<C>, C, Decimal64>>(code));
  });
  forWidths(Widths64Up{}, 754, [&]<class C>(TypedRpnOp code) {
    ops.push_back(opEntry<ElementwiseOp<DecimalToWideTextFunc<C>, C, Decimal128>>(code));
  });
  return registerOps(OpFamily::Value, ops);
}

[[maybe_unused]] const bool kRegistered = registerDecimalTextCasts();

} // namespace

} // namespace vela::cuda
