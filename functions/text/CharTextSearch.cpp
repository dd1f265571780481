// Fixed-width text: ENDS_WITH, LOCATE and STRCMP.
//
// LOCATE with a constant needle, the usual case, measures the needle once per batch rather than per row.

#include "functions/text/CharTextOps.h"

namespace vela::cuda {

namespace {

using namespace chartext;

// Whether s ends with p. An empty s ends only with the empty p; a non-empty s never ends with the
// empty p, nor with a p longer than itself.
template <class C>
struct EndsWithFunc {
  bool operator()(const C& p, const C& s) const {
    constexpr int N = int(sizeof(C));
    if constexpr (N <= 8) {
      const Word x = cutWord(toWord(p)), y = cutWord(toWord(s));
      const int lp = wordLength(x), ls = wordLength(y);
      if (ls == 0)
        return lp == 0;
      if (lp == 0 || lp > ls)
        return false;
      return (y << (8 * (ls - lp))) == x; // ls - lp < 8 here
    } else {
      const int lp = charn::length(p), ls = charn::length(s);
      if (ls == 0)
        return lp == 0;
      if (lp == 0 || lp > ls)
        return false;
      return std::memcmp(charn::bytesOf(s) + (N - ls), charn::bytesOf(p) + (N - lp), std::size_t(lp)) == 0;
    }
  }
};

template <class C>
struct StrcmpFunc {
  int operator()(const C& a, const C& b) const { return compareText(a, b); }
};

template <class C>
struct LocateFunc {
  int operator()(const C& sub, const C& s, int start) const {
    constexpr int N = int(sizeof(C));
    return locateIn(charn::bytesOf(s), N, charn::length(s), charn::bytesOf(sub), N, charn::length(sub),
                    start);
  }
};

template <class C>
struct ConstantNeedleLocateFunc {
  C sub;
  int subLen;
  int operator()(const C& s, int start) const {
    constexpr int N = int(sizeof(C));
    return locateIn(charn::bytesOf(s), N, charn::length(s), charn::bytesOf(sub), N, subLen, start);
  }
};

template <class C>
struct LocateOp {
  template <class E>
  static void eval(E& e) {
    auto start = e.template popInput<int>();
    auto s = e.template popInput<C>();
    auto sub = e.template popInput<C>();
    auto out = e.template prepareOutput<int>();
    if constexpr (requires { sub.constInput(); }) {
      if (sub.isConstant()) {
        const C needle = sub.constInput().value;
        e.runKernel(ConstantNeedleLocateFunc<C>{needle, charn::length(needle)}, out, s, start);
        e.push(std::move(out));
        return;
      }
    }
    e.runKernel(LocateFunc<C>{}, out, sub, s, start);
    e.push(std::move(out));
  }
};

template <class C>
using EndsWithOp = ElementwiseOp<EndsWithFunc<C>, std::uint8_t, C, C>;
template <class C>
using StrcmpOp = ElementwiseOp<StrcmpFunc<C>, int, C, C>;

bool registerCharSearch() {
  std::vector<OpRegistration> ops;
  addAllWidths<EndsWithOp>(ops, 1720);
  addAllWidths<LocateOp>(ops, 1978);
  return registerOps(OpFamily::Char, ops);
}
bool registerChar2Search() {
  std::vector<OpRegistration> ops;
  addAllWidths<StrcmpOp>(ops, 1790);
  return registerOps(OpFamily::Char2, ops);
}

[[maybe_unused]] const bool kCharRegistered = registerCharSearch();
[[maybe_unused]] const bool kChar2Registered = registerChar2Search();

} // namespace

} // namespace vela::cuda
