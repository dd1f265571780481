#pragma once
// The row functors of the casts between exact decimals and charN text, shared by the charN casts and
// the heap-string casts that give the same text.

#include <cstdint>

#include "TypeManagement/ExactNumericType.h"
#include "base/ParserUtils.h"
#include "cuda/TypedRpnEvaluator.h"
#include "cuda/VectorEvalTypes.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

using Decimal64 = ExactNumericType<long>;
using Decimal128 = ExactNumericType<Int96>;

/// Text to a decimal of width T at the target precision and scale (the element's result fields).
template <class T>
struct CastCharNToDecimalFunc {
  std::uint8_t precision = 0;
  std::int8_t scale = 0;

  CastCharNToDecimalFunc(std::uint8_t targetPrecision, std::int8_t targetScale)
      : precision(targetPrecision), scale(targetScale) {}
  explicit CastCharNToDecimalFunc(const ParserUtils::EvalInfo& info)
      : precision(static_cast<std::uint8_t>(info.precision())), scale(info.scale()) {}

  template <class C>
  ExactNumericType<T> operator()(const C& text, rpn_eval_result_t& code) const {
    return parse(text, precision, scale, code);
  }

  template <class C>
  static ExactNumericType<T> parse(const C& text, std::uint8_t precision, std::int8_t scale,
                                   rpn_eval_result_t& code) {
    bool error = false;
    const T v = ExactNumericType<T>::template convert_charN1<false>(
        reinterpret_cast<const char*>(charn::bytesOf(text)), sizeof(C), precision, scale, &error);
    if (error)
      code = RPN_EVAL_BAD_CAST;
    return ExactNumericType<T>(v);
  }
};

/// Decimal to its plain text at the source scale (the element's first argument scale), in a char32.
struct CastDecimalToChar32Func {
  std::int8_t scale = 0;

  explicit CastDecimalToChar32Func(std::int8_t sourceScale) : scale(sourceScale) {}
  explicit CastDecimalToChar32Func(const ParserUtils::EvalInfo& info) : scale(info.argScale(0)) {}

  fixed_array_t<32> operator()(Decimal64 v) const {
    fixed_array_t<32> cell;
    Decimal64::to_char32(scale, v.value, cell.bytes);
    return cell;
  }
  fixed_array_t<32> operator()(Decimal128 v) const {
    fixed_array_t<32> cell;
    Decimal128::to_char32(scale, v.value, cell.bytes);
    return cell;
  }
};

} // namespace vela::cuda
