#pragma once
// Casts between heap strings and the other types: shared pieces.
//
// A heap string gives or reads exactly the text that the charN cast of the same type gives or reads,
// without the width limit:
//  - readers see the string's text as all its bytes, in one pass and in place (never copied whole);
//    a NUL byte inside is a byte like any other, which no reader takes for a digit, sign, blank or
//    marker: a number ends before it, and a whole-text test (bool, address, UUID, numeric literal,
//    the checked casts) fails on it. The decimal parser keeps its own rule: trailing NULs are padding;
//  - an absent (null) string is read as the empty text; the row's null state is the program's;
//  - writers build each result string once, at its final length, charged to the query's pool.

#include <cstddef>
#include <cstdint>

#include "cuda/ManagedObjects.h"
#include "functions/text/CharCastDecimal.h"

namespace vela::cuda {

using StringCell = const InlineBuffer<char>*;

/// The text of a string cell: its bytes, or the empty text for an absent string.
inline const char* stringData(StringCell s) {
  return s == nullptr ? "" : s->data();
}
inline std::size_t stringSize(StringCell s) {
  return s == nullptr ? 0 : static_cast<std::size_t>(s->size());
}

/// A new string holding the text of a charN cell of `width` bytes (characters in reading order up to
/// the first NUL; the cell's character 0 is its highest byte), charged to the default pool.
ManagedInlineBufferPtr<char> charN_StringBuffer_cast(const char* s, unsigned long width);

/// String text to a decimal of width T at a precision and scale: the decimal parser's heap-text form.
/// Text it refuses raises its VelaException, which ends the call; the error flag it sets on the way
/// is mapped to the row state 15 for a parser that would report instead of raising. An absent string
/// gives 0 with state 0.
template <class T>
struct CastDecimalStringFunc {
  std::uint8_t precision = 0;
  std::int8_t scale = 0;

  CastDecimalStringFunc(std::uint8_t targetPrecision, std::int8_t targetScale)
      : precision(targetPrecision), scale(targetScale) {}
  explicit CastDecimalStringFunc(const ParserUtils::EvalInfo& info)
      : precision(static_cast<std::uint8_t>(info.precision())), scale(info.scale()) {}

  ExactNumericType<T> operator()(StringCell s, rpn_eval_result_t& code) const {
    return parse(s, precision, scale, code);
  }

  static ExactNumericType<T> parse(StringCell s, std::uint8_t precision, std::int8_t scale,
                                   rpn_eval_result_t& code) {
    if (s == nullptr)
      return ExactNumericType<T>();
    bool error = false;
    const T v = ExactNumericType<T>::template convert_charN1<true>(
        s->data(), static_cast<std::size_t>(s->size()), precision, scale, &error);
    if (error)
      code = RPN_EVAL_BAD_CAST;
    return ExactNumericType<T>(v);
  }
};

} // namespace vela::cuda
