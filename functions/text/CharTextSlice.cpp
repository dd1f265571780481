// Fixed-width text: LENGTH, ASCII, CHR, LEFT, RIGHT, SUBSTR, REVERSE and MASK. Counts and positions are
// clamped, never an error: a count below 0 takes nothing, one beyond the text takes all of it. Results
// are the kept characters moved to the top of the cell with every position past them zero.

#include "functions/text/CharTextOps.h"

namespace vela::cuda {

namespace {

using namespace chartext;

// The characters before the first NUL. For a valid cell that is also its count of non-zero bytes; a
// caller's cell with bytes after a NUL counts only its text, as every other op reads it.
template <class C>
struct LengthFunc {
  int operator()(const C& c) const { return textLength(c); }
};

// The first byte as an unsigned value; the empty text gives 0.
template <class C>
struct AsciiFunc {
  int operator()(const C& c) const { return charn::at(c, 0); }
};

// Codes 0..127 give that byte (0 the empty text); anything else, negatives included, '?'.
struct ChrFunc {
  std::uint8_t operator()(int code) const {
    return static_cast<unsigned>(code) < 128 ? static_cast<std::uint8_t>(code) : std::uint8_t('?');
  }
};

// The first clamp(n, 0, W) characters.
template <class C>
struct LeftFunc {
  C operator()(const C& c, int n) const {
    return slice(c, 0, std::min(std::clamp(n, 0, int(sizeof(C))), charn::length(c)));
  }
};

// The last min(clamp(n, 0, W), len) characters.
template <class C>
struct RightFunc {
  C operator()(const C& c, int n) const {
    const int len = charn::length(c);
    return slice(c, len - std::min(std::clamp(n, 0, int(sizeof(C))), len), len);
  }
};

// Characters start .. start + length - 1 (1-based) that exist; empty when start or length is below 1 or
// start is past the text.
template <class C>
struct SubstrFunc {
  C operator()(const C& c, int start, int length) const {
    const int len = charn::length(c);
    if (start < 1 || length < 1 || start > len)
      return charn::empty<C>();
    const long end = std::min<long>(len, long(start) + length - 1);
    return slice(c, start - 1, static_cast<int>(end));
  }
};

template <class C>
struct ReverseFunc {
  C operator()(const C& c) const {
    constexpr std::size_t N = sizeof(C);
    if constexpr (N <= 8) {
      // Byte-swapping the text's word puts its characters reversed in the low bytes; the shift brings
      // them up to the top.
      const Word v = cutWord(toWord(c));
      const int len = wordLength(v);
      return fromWord<C>(len == 0 ? 0 : __builtin_bswap64(v) << (8 * (8 - len)));
    } else {
      const int len = charn::length(c);
      C out = charn::empty<C>();
      const unsigned char* in = charn::bytesOf(c);
      std::reverse_copy(in + (N - len), in + N, charn::bytesOf(out) + (N - len));
      return out;
    }
  }
};

// Characters start .. start + length - 1 (1-based) replaced by the mask byte, as far as the text goes:
// the text is never extended. start or length below 1, or start past the text, keep the text. An
// empty mask character writes NULs, which end the text: the result is the text cut before `start`.
template <class C>
struct MaskFunc {
  C operator()(const C& c, int start, int length, std::uint8_t mask) const {
    const int len = charn::length(c);
    C out = slice(c, 0, len);
    if (start < 1 || length < 1 || start > len)
      return out;
    if (mask == 0) {
      charn::cutAt(out, start - 1);
      return out;
    }
    const long end = std::min<long>(len, long(start) + length - 1);
    for (int i = start - 1; i < end; ++i)
      charn::at(out, i) = mask;
    return out;
  }
};

template <class C>
using LengthOp = ElementwiseOp<LengthFunc<C>, int, C>;
template <class C>
using AsciiOp = ElementwiseOp<AsciiFunc<C>, int, C>;
template <class C>
using LeftOp = ElementwiseOp<LeftFunc<C>, C, C, int>;
template <class C>
using RightOp = ElementwiseOp<RightFunc<C>, C, C, int>;
template <class C>
using SubstrOp = ElementwiseOp<SubstrFunc<C>, C, C, int, int>;
template <class C>
using ReverseOp = ElementwiseOp<ReverseFunc<C>, C, C>;
template <class C>
using MaskOp = ElementwiseOp<MaskFunc<C>, C, C, int, int, std::uint8_t>;

bool registerCharSlice() {
  std::vector<OpRegistration> ops;
  addAllWidths<LengthOp>(ops, 1608);
  addAllWidths<LeftOp>(ops, 1669);
  addAllWidths<AsciiOp>(ops, 1740);
  ops.push_back(opEntry<ElementwiseOp<ChrFunc, std::uint8_t, int>>(1770));
  addAllWidths<MaskOp>(ops, 2187);
  return registerOps(OpFamily::Char, ops);
}
bool registerChar2Slice() {
  std::vector<OpRegistration> ops;
  addAllWidths<RightOp>(ops, 1689);
  addAllWidths<SubstrOp>(ops, 1730);
  addWidths<ReverseOp, 2, 4, 8, 16, 32, 64, 128, 256>(ops, 2153); // a char1 is its own reverse
  return registerOps(OpFamily::Char2, ops);
}

[[maybe_unused]] const bool kCharRegistered = registerCharSlice();
[[maybe_unused]] const bool kChar2Registered = registerChar2Slice();

} // namespace

} // namespace vela::cuda
