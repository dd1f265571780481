// String family: heap strings to charN cells (CAST_STRING_TO_CHARn, codes 1508 ... 1554), to IPv4
// addresses and UUIDs (1596, 1600), and the tests STRING_IS_IPV4 (1716) and STRING_IS_NUMERIC (1807).
//
// A string cast to charN keeps its first N bytes, as the casts between charN widths keep the first
// characters. A cell's text cannot hold a NUL (its text ends at the first one), so a NUL byte in the
// string ends the text there: "ab\0cd" gives the cell "ab", and the bytes after the NUL are dropped.
//
// Addresses, UUIDs and the tests read the whole string, a NUL inside being a byte that belongs to no
// address, UUID or number. Text that is not an address (or UUID) casts to 0 with the row state 1 (null),
// as the charN casts do.

#include <cstdint>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/text/CharN.h"
#include "functions/text/NumberText.h"
#include "functions/text/StringCast.h"

namespace vela::cuda {

namespace {

using Bool = std::uint8_t;

template <std::size_t N>
struct StringToCharNFunc {
  charn::Cell<N> operator()(StringCell s) const {
    return charn::fromText<charn::Cell<N>>(stringData(s), stringSize(s));
  }
};

struct StringToIpv4Func {
  std::int32_t operator()(StringCell s, rpn_eval_result_t& code) const {
    std::uint32_t address = 0;
    if (!number_text::readIpv4(number_text::forwardText(stringData(s), stringSize(s)), &address)) {
      code = RPN_EVAL_NULL;
      return 0;
    }
    return static_cast<std::int32_t>(address);
  }
};

struct StringToUuidFunc {
  fixed_array_t<16> operator()(StringCell s, rpn_eval_result_t& code) const {
    fixed_array_t<16> uuid{};
    if (!uuid_from_text(stringData(s), stringSize(s), uuid.bytes)) {
      code = RPN_EVAL_NULL;
      return fixed_array_t<16>{};
    }
    return uuid;
  }
};

struct StringIsIpv4Func {
  Bool operator()(StringCell s) const { return is_ipv4(stringData(s), stringSize(s)) ? 1 : 0; }
};

struct StringIsNumericFunc {
  Bool operator()(StringCell s) const {
    return number_text::isNumericLiteral(number_text::forwardText(stringData(s), stringSize(s))) ? 1 : 0;
  }
};

template <std::size_t N>
OpRegistration toCharN(TypedRpnOp code) {
  return opEntry<ElementwiseOp<StringToCharNFunc<N>, charn::Cell<N>, StringCell>>(code);
}

bool registerStringTextReads() {
  const std::vector<OpRegistration> ops = {
      toCharN<1>(1508),
      toCharN<2>(1517),
      toCharN<4>(1525),
      toCharN<8>(1532),
      toCharN<16>(1538),
      toCharN<32>(1543),
      toCharN<64>(1549),
      toCharN<128>(1552),
      toCharN<256>(1554),
      opEntry<ElementwiseOpWithState<StringToIpv4Func, std::int32_t, StringCell>>(1596),
      opEntry<ElementwiseOpWithState<StringToUuidFunc, fixed_array_t<16>, StringCell>>(1600),
      opEntry<ElementwiseOp<StringIsIpv4Func, Bool, StringCell>>(1716),
      opEntry<ElementwiseOp<StringIsNumericFunc, Bool, StringCell>>(1807),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringTextReads();

} // namespace

} // namespace vela::cuda
