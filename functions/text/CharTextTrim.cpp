// Fixed-width text: LTRIM, RTRIM and TRIM. White space is the byte 32 and the bytes 9 to 13; the kept
// characters move to the top of the cell and the freed positions are zeroed. An all-white text becomes
// empty.

#include "functions/text/CharTextOps.h"

namespace vela::cuda {

namespace {

using namespace chartext;

template <class C>
struct LtrimFunc {
  C operator()(const C& c) const {
    const int len = charn::length(c);
    return slice(c, leadingSpaces(c, len), len);
  }
};
template <class C>
struct RtrimFunc {
  C operator()(const C& c) const { return slice(c, 0, endWithoutTrailingSpaces(c, charn::length(c))); }
};
template <class C>
struct TrimFunc {
  C operator()(const C& c) const {
    const int end = endWithoutTrailingSpaces(c, charn::length(c));
    return slice(c, leadingSpaces(c, end), end);
  }
};

template <class C>
using LtrimOp = ElementwiseOp<LtrimFunc<C>, C, C>;
template <class C>
using RtrimOp = ElementwiseOp<RtrimFunc<C>, C, C>;
template <class C>
using TrimOp = ElementwiseOp<TrimFunc<C>, C, C>;

bool registerCharTrim() {
  std::vector<OpRegistration> ops;
  addAllWidths<LtrimOp>(ops, 1639);
  return registerOps(OpFamily::Char, ops);
}
bool registerChar2Trim() {
  std::vector<OpRegistration> ops;
  addAllWidths<RtrimOp>(ops, 1649);
  addAllWidths<TrimOp>(ops, 1659);
  return registerOps(OpFamily::Char2, ops);
}

[[maybe_unused]] const bool kCharRegistered = registerCharTrim();
[[maybe_unused]] const bool kChar2Registered = registerChar2Trim();

} // namespace

} // namespace vela::cuda
