// Integers in other bases: CHAR_CONV (1809, Char family) and CHAR_HEX_TO_LONG (1813, Char2 family).
//
// CHAR_CONV reads its char64 text as a signed integer in base `from` (an optional '-', then digits of
// that base in either case, up to the first other byte; the base is given, so no 0x-style prefix is
// looked for) and writes it in base `to`, '-' before negatives and upper-case letters for digits above
// 9. A base outside 2..36 gives the empty text; text without digits reads as 0.
//
// CHAR_HEX_TO_LONG reads its char32 text as a base-16 integer: an optional '-', an optional 0x, 0X or
// X'..' marker, then hexadecimal digits; it never fails (no digits give 0, a value beyond 64 bits keeps
// its low bits).

#include <cstdint>
#include <vector>

#include "functions/text/CharCastRegistration.h"
#include "functions/text/NumberText.h"

namespace vela::cuda {

namespace {

struct CharConvFunc {
  fixed_array_t<64> operator()(const fixed_array_t<64>& text, std::int8_t from, std::int8_t to) const {
    if (static_cast<unsigned>(from - 2) > 34u || static_cast<unsigned>(to - 2) > 34u)
      return charn::empty<fixed_array_t<64>>();
    const long v = charN_int_cast<long>(text, static_cast<unsigned>(from), IntPrefixes::None);
    return convert_int_types_to_charN<fixed_array_t<64>>(v, to);
  }
};

struct HexToLongFunc {
  long operator()(const fixed_array_t<32>& text) const {
    return charN_int_cast<long>(text, 16, IntPrefixes::Hex);
  }
};

[[maybe_unused]] const bool kRegistered =
    registerOps(
        OpFamily::Char,
        {opEntry<ElementwiseOp<CharConvFunc, fixed_array_t<64>, fixed_array_t<64>, std::int8_t, std::int8_t>>(
            1809)}) &&
    registerOps(OpFamily::Char2, {opEntry<ElementwiseOp<HexToLongFunc, long, fixed_array_t<32>>>(1813)});

} // namespace

} // namespace vela::cuda
