// String family: heap-string text to bool, the integer types, u128 and floats (codes 358, 498-558,
// 1574), the checked casts to i32, i64 and f64 (1555-1557) and STRING_HEX_TO_LONG (1814).
//
// Each reads the text that its charN twin reads (the same reader, over the string's bytes in place),
// without the 256-character limit of a cell: integers read every digit, however many, keeping the low
// bits of the value (wrap-around, as the charN casts and the casts between integer widths do); floats
// are correctly rounded from any number of digits in one pass (see doubleCast). None of the unchecked
// casts fails: text that is not a number reads as far as it is one, 0 when it has no digits.
//
// The checked casts give the unchecked cast's value when the text is a number, and null (state 1, value
// 0) when it is not. "A number" is what the unchecked reader reads, filling the whole text:
//  - at least one digit (for integers a digit of the base after any base prefix; for floats a digit
//    of the decimal form, or the word inf or nan), so "", "-", "0x" and "abc" are not numbers;
//  - a quoted base form (X'1F') closed by its quote;
//  - after the number, nothing but spaces (byte 32): "12ab", "1.5" (as an integer), "1e", " 5" (the
//    readers skip no leading blank), "12\t" and a NUL byte make the text not a number.
// A number too large for the target is still a number and wraps as the unchecked cast does. An absent
// string is the empty text, so not a number.

#include <cstdint>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/text/CharCastRegistration.h"
#include "functions/text/NumberText.h"
#include "functions/text/StringCast.h"

namespace vela::cuda {

namespace {

using Bool = std::uint8_t;

struct StringToBoolFunc {
  Bool operator()(StringCell s) const { return bool_from_text(stringData(s), stringSize(s)) ? 1 : 0; }
};

template <class T>
struct StringToIntFunc {
  T operator()(StringCell s) const { return intCast<T>(stringData(s), stringSize(s)); }
};

struct StringToU128Func {
  fixed_array_t<16> operator()(StringCell s) const {
    return charcast::cellOfU128(intCast<uint128_t>(stringData(s), stringSize(s)));
  }
};

template <class T>
struct StringToFloatFunc {
  T operator()(StringCell s) const { return doubleCast<T>(stringData(s), stringSize(s)); }
};

// Reads the hexadecimal text as CHAR_HEX_TO_LONG does: an optional '-', an optional 0x, 0X or X'..'
// marker, hexadecimal digits; never fails.
struct StringHexToLongFunc {
  long operator()(StringCell s) const {
    return intCast<long>(stringData(s), stringSize(s), 16, IntPrefixes::Hex);
  }
};

bool onlySpacesFrom(const char* text, std::size_t len, std::size_t i) {
  while (i < len && text[i] == ' ')
    ++i;
  return i == len;
}

template <class T>
struct StringToIntCheckedFunc {
  T operator()(StringCell s, rpn_eval_result_t& code) const {
    const char* text = stringData(s);
    const std::size_t len = stringSize(s);
    number_text::IntTextEnd end;
    const T v = intCast<T>(text, len, 10, IntPrefixes::All, &end);
    std::size_t stop = end.end;
    bool closed = true;
    if (end.quoted) {
      closed = stop < len && text[stop] == '\'';
      stop += closed;
    }
    if (end.digits == 0 || !closed || !onlySpacesFrom(text, len, stop)) {
      code = RPN_EVAL_NULL;
      return T(0);
    }
    return v;
  }
};

struct StringToF64CheckedFunc {
  double operator()(StringCell s, rpn_eval_result_t& code) const {
    const char* text = stringData(s);
    const std::size_t len = stringSize(s);
    std::size_t consumed = 0;
    const double v = doubleCast<double>(text, len, &consumed);
    if (consumed == 0 || !onlySpacesFrom(text, len, consumed)) {
      code = RPN_EVAL_NULL;
      return 0;
    }
    return v;
  }
};

bool registerStringReads() {
  const std::vector<OpRegistration> ops = {
      opEntry<ElementwiseOp<StringToBoolFunc, Bool, StringCell>>(358),
      opEntry<ElementwiseOp<StringToFloatFunc<double>, double, StringCell>>(498),
      opEntry<ElementwiseOp<StringToFloatFunc<float>, float, StringCell>>(508),
      opEntry<ElementwiseOp<StringToIntFunc<std::int8_t>, std::int8_t, StringCell>>(518),
      opEntry<ElementwiseOp<StringToIntFunc<std::int16_t>, std::int16_t, StringCell>>(528),
      opEntry<ElementwiseOp<StringToIntFunc<std::int32_t>, std::int32_t, StringCell>>(538),
      opEntry<ElementwiseOp<StringToIntFunc<long>, long, StringCell>>(548),
      opEntry<ElementwiseOp<StringToIntFunc<unsigned long>, unsigned long, StringCell>>(558),
      opEntry<ElementwiseOpWithState<StringToIntCheckedFunc<std::int32_t>, std::int32_t, StringCell>>(1555),
      opEntry<ElementwiseOpWithState<StringToIntCheckedFunc<long>, long, StringCell>>(1556),
      opEntry<ElementwiseOpWithState<StringToF64CheckedFunc, double, StringCell>>(1557),
      opEntry<ElementwiseOp<StringToU128Func, fixed_array_t<16>, StringCell>>(1574),
      opEntry<ElementwiseOp<StringHexToLongFunc, long, StringCell>>(1814),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringReads();

} // namespace

} // namespace vela::cuda
