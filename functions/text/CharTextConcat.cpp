// Fixed-width text: CONCAT (a then b, cut to the operands' width) and CONCAT_WIDE (b then a, in a cell
// of twice the width, which always holds both).

#include "functions/text/CharTextOps.h"

namespace vela::cuda {

namespace {

using namespace chartext;

template <class C>
struct ConcatFunc {
  C operator()(const C& a, const C& b) const {
    constexpr int N = int(sizeof(C));
    if constexpr (N <= 8) {
      const Word x = cutWord(toWord(a)), y = cutWord(toWord(b));
      const int la = wordLength(x);
      // Characters of b that fall below the cell's N bytes are cut off by the mask.
      return fromWord<C>((x | (la >= 8 ? 0 : y >> (8 * la))) & prefixMask(N));
    } else {
      const int la = charn::length(a);
      C out = slice(a, 0, la);
      const int m = std::min(N - la, charn::length(b));
      std::memcpy(charn::bytesOf(out) + (N - la - m), charn::bytesOf(b) + (N - m), std::size_t(m));
      return out;
    }
  }
};

template <class C>
struct ConcatWideFunc {
  using Out = Cell<2 * sizeof(C)>;
  Out operator()(const C& a, const C& b) const {
    constexpr int N = int(sizeof(C));
    if constexpr (2 * N <= 8) {
      const Word x = cutWord(toWord(a)), y = cutWord(toWord(b));
      // Both texts sit in the word's top N <= 4 bytes; a goes right after the lb characters of b.
      return static_cast<Out>((y | (x >> (8 * wordLength(y)))) >> (8 * (8 - 2 * N)));
    } else {
      const int la = charn::length(a), lb = charn::length(b);
      Out out = charn::empty<Out>();
      unsigned char* o = charn::bytesOf(out);
      std::memcpy(o + (2 * N - lb), charn::bytesOf(b) + (N - lb), std::size_t(lb));
      std::memcpy(o + (2 * N - lb - la), charn::bytesOf(a) + (N - la), std::size_t(la));
      return out;
    }
  }
};

template <class C>
using ConcatOp = ElementwiseOp<ConcatFunc<C>, C, C, C>;
template <class C>
using ConcatWideOp = ElementwiseOp<ConcatWideFunc<C>, typename ConcatWideFunc<C>::Out, C, C>;

bool registerCharConcat() {
  std::vector<OpRegistration> ops;
  addAllWidths<ConcatOp>(ops, 1771);
  addWidths<ConcatWideOp, 1, 2, 4, 8, 16, 32, 64, 128>(ops, 1780);
  return registerOps(OpFamily::Char, ops);
}

[[maybe_unused]] const bool kRegistered = registerCharConcat();

} // namespace

} // namespace vela::cuda
