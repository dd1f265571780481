// Fixed-width text: LPAD and RPAD. The result is always a char256 of n characters (n clamped to
// 0..256): the first n characters of s when s is at least that long, else s with the padding before
// (LPAD) or after it (RPAD), cycling through the pad text; an empty pad gives the empty text.
//
// A constant pad, the usual case, is expanded once per batch into a whole cell of repetitions, so that
// a row copies its padding in one move instead of cycling byte by byte.

#include "functions/text/CharTextOps.h"

namespace vela::cuda {

namespace {

using namespace chartext;
using Cell256 = Cell<256>;

template <class C, bool Left>
struct PadFunc {
  Cell256 operator()(const C& s, int n, const Cell256& pad) const {
    Cell256 out;
    const unsigned char* p = pad.bytes;
    padInto(out.bytes, charn::bytesOf(s), int(sizeof(C)), charn::length(s), n, RawPad{p, charn::length(pad)},
            Left);
    return out;
  }
};

template <class C, bool Left>
struct ConstantPadFunc {
  CyclePad pad;
  Cell256 operator()(const C& s, int n) const {
    Cell256 out;
    padInto(out.bytes, charn::bytesOf(s), int(sizeof(C)), charn::length(s), n, pad, Left);
    return out;
  }
};

template <class C, bool Left>
struct PadOp {
  template <class E>
  static void eval(E& e) {
    auto pad = e.template popInput<Cell256>();
    auto n = e.template popInput<int>();
    auto s = e.template popInput<C>();
    auto out = e.template prepareOutput<Cell256>();
    if constexpr (requires { pad.constInput(); }) {
      if (pad.isConstant()) {
        const ConstantPadFunc<C, Left> f{CyclePad(pad.constInput().value.bytes)};
        e.runKernel(f, out, s, n);
        e.push(std::move(out));
        return;
      }
    }
    e.runKernel(PadFunc<C, Left>{}, out, s, n, pad);
    e.push(std::move(out));
  }
};

template <class C>
using LpadOp = PadOp<C, true>;
template <class C>
using RpadOp = PadOp<C, false>;

bool registerCharPad() {
  std::vector<OpRegistration> ops;
  addAllWidths<LpadOp>(ops, 1679);
  return registerOps(OpFamily::Char, ops);
}
bool registerChar2Pad() {
  std::vector<OpRegistration> ops;
  addAllWidths<RpadOp>(ops, 1699);
  return registerOps(OpFamily::Char2, ops);
}

[[maybe_unused]] const bool kCharRegistered = registerCharPad();
[[maybe_unused]] const bool kChar2Registered = registerChar2Pad();

} // namespace

} // namespace vela::cuda
