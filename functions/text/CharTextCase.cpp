// Fixed-width text: case mapping (LOWER, UPPER, INITCAP). Only the ASCII letters change; every other
// byte, 128 and above included, is kept. LOWER and UPPER map whole words or vectors and clear the positions
// past the text in the same pass, so a loop over cells has no branch.

#include "functions/text/CharTextOps.h"

namespace vela::cuda {

namespace {

using namespace chartext;

template <class C>
struct LowerFunc {
  C operator()(const C& c) const { return mapCase<false>(c); }
};
template <class C>
struct UpperFunc {
  C operator()(const C& c) const { return mapCase<true>(c); }
};

// The first letter of every word upper case, every other letter lower case. Words are separated by
// white space only: "a-b" is one word.
template <class C>
struct InitcapFunc {
  C operator()(const C& c) const {
    const int len = charn::length(c);
    C out = slice(c, 0, len);
    bool wordStart = true;
    for (int i = 0; i < len; ++i) {
      unsigned char& ch = charn::at(out, i);
      if (isLetter(ch))
        ch = wordStart ? static_cast<unsigned char>(ch & ~32) : static_cast<unsigned char>(ch | 32);
      wordStart = isSpace(ch);
    }
    return out;
  }
};

template <class C>
using LowerOp = ElementwiseOp<LowerFunc<C>, C, C>;
template <class C>
using UpperOp = ElementwiseOp<UpperFunc<C>, C, C>;
template <class C>
using InitcapOp = ElementwiseOp<InitcapFunc<C>, C, C>;

bool registerCharCase() {
  std::vector<OpRegistration> ops;
  addAllWidths<LowerOp>(ops, 1619);
  addAllWidths<InitcapOp>(ops, 2162);
  return registerOps(OpFamily::Char, ops);
}
bool registerChar2Case() {
  std::vector<OpRegistration> ops;
  addAllWidths<UpperOp>(ops, 1629);
  return registerOps(OpFamily::Char2, ops);
}

[[maybe_unused]] const bool kCharRegistered = registerCharCase();
[[maybe_unused]] const bool kChar2Registered = registerChar2Case();

} // namespace

} // namespace vela::cuda
