// String family: heap-string text to exact decimals (codes 568, 578, 588, 598 and the checked 1558,
// 1559) and decimals to strings (713, 714).
//
// Text to decimal is the decimal parser's heap-text form (CastDecimalStringFunc) at the element's
// result precision and scale, or at a precision and scale given per row as two i8 operands (the
// precision read as unsigned). Every row gets state 0, an absent string the value 0; text the parser
// refuses raises its VelaException ("unable to convert string '...' to DECIMAL ..."), ending the call.
// The parser reads any length in one pass, keeping the digits that can matter (see convert_charN1).
//
// The checked forms give null (state 1, value 0) instead when the parser refuses the text, and also
// when the text has no digit at all (empty, blanks, a lone sign or point), which the parser reads as
// 0. Their grammar is otherwise the parser's: leading blanks, '+', an exponent and trailing NUL
// padding are accepted; a number beyond the target precision is refused, so null. A precision or scale
// the parser cannot take at all is a fault of the program, not of the text: it ends the call before
// any row is read. Text with a byte that no number has is settled before the parser is asked; other
// refusals are the parser's, which logs each one as it always does.
//
// Decimal to string is the plain decimal text at the source scale (the element's first argument
// scale), the text of the charN cast (CastDecimalToChar32Func) without the cut at 32 characters, which
// only scales outside 0..18 can reach.

#include <cstdint>
#include <string>
#include <vector>

#include "base/VelaException.h"
#include "cuda/EvalElementHandler.h"
#include "functions/text/StringCast.h"

namespace vela::cuda {

namespace {

template <class T>
struct CastDecimalStringRuntimeFunc {
  ExactNumericType<T> operator()(StringCell s, std::int8_t precision, std::int8_t scale,
                                 rpn_eval_result_t& code) const {
    return CastDecimalStringFunc<T>::parse(s, static_cast<std::uint8_t>(precision), scale, code);
  }
};

template <class T>
struct CastDecimalStringCheckedFunc {
  CastDecimalStringFunc<T> cast;

  explicit CastDecimalStringCheckedFunc(const ParserUtils::EvalInfo& info) : cast(info) {
    // An unusable precision or scale is refused here, once, with the parser's own message.
    ExactNumericType<T>::template convert_charN1<true>("", 0, cast.precision, cast.scale);
  }

  // One pass over the text: a digit is needed, and a byte that the parser's grammar has no place for
  // (anything but digits, blanks, signs, '.', 'e', 'E' and trailing NULs) settles the row without
  // asking the parser, which would log and raise its refusal. Texts that pass go to the parser.
  static bool mayBeNumber(const char* text, std::size_t len) {
    bool digit = false;
    for (std::size_t i = 0; i < len; ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c >= '0' && c <= '9')
        digit = true;
      else if (!(c == ' ' || (c >= 9 && c <= 13) || c == '+' || c == '-' || c == '.' || c == 'e' ||
                 c == 'E' || c == 0))
        return false;
    }
    return digit;
  }

  ExactNumericType<T> operator()(StringCell s, rpn_eval_result_t& code) const {
    const char* text = stringData(s);
    const std::size_t len = stringSize(s);
    if (!mayBeNumber(text, len)) {
      code = RPN_EVAL_NULL;
      return ExactNumericType<T>();
    }
    try {
      return ExactNumericType<T>(
          ExactNumericType<T>::template convert_charN1<true>(text, len, cast.precision, cast.scale));
    } catch (const VelaException&) {
      code = RPN_EVAL_NULL;
      return ExactNumericType<T>();
    }
  }
};

struct DecimalToStringFunc {
  std::int8_t scale = 0;
  CastDecimalToChar32Func narrow;

  explicit DecimalToStringFunc(const ParserUtils::EvalInfo& info) : scale(info.argScale(0)), narrow(info) {}

  template <class D>
  void operator()(EvalOutputString out, D v) const {
    const fixed_array_t<32> cell = narrow(v);
    char text[32];
    const int len = charn::toText(cell, text);
    if (len < 32) {
      out.write(text, static_cast<std::uint64_t>(len));
      return;
    }
    // 32 characters or more: the cell may have been cut; the same text, whole.
    out.write(D::as_string(scale, v.value));
  }
};

template <class T>
void addStringToDecimal(std::vector<OpRegistration>& ops, TypedRpnOp fixed, TypedRpnOp runtime,
                        TypedRpnOp checked) {
  using D = ExactNumericType<T>;
  ops.push_back(opEntry<ElementwiseOpWithState<CastDecimalStringFunc<T>, D, StringCell>>(fixed));
  ops.push_back(opEntry<ElementwiseOpWithState<CastDecimalStringRuntimeFunc<T>, D, StringCell, std::int8_t,
                                               std::int8_t>>(runtime));
  ops.push_back(opEntry<ElementwiseOpWithState<CastDecimalStringCheckedFunc<T>, D, StringCell>>(checked));
}

bool registerStringDecimalCasts() {
  std::vector<OpRegistration> ops;
  addStringToDecimal<long>(ops, 568, 578, 1558);
  addStringToDecimal<Int96>(ops, 588, 598, 1559);
  ops.push_back(opEntry<ElementwiseOp<DecimalToStringFunc, EvalOutputString, Decimal64>>(713));
  ops.push_back(opEntry<ElementwiseOp<DecimalToStringFunc, EvalOutputString, Decimal128>>(714));
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringDecimalCasts();

} // namespace

} // namespace vela::cuda
