// CHAR_REPLACE, CHAR_REPLACE_CHAR and CHAR_REPLACE_CONST: the helpers and their per-width ops.

#include "functions/text/CharFuncReplace.h"

#include <cstring>

#include "functions/text/CharFuncShared.h"

namespace vela::cuda {

using namespace charfunc;

namespace {

// Writes s with every non-overlapping occurrence of f (fl >= 1, scanning from the start) replaced by
// t into out, at most `cap` bytes; returns the bytes written.
int replaceAll(const char* s, int sl, const char* f, int fl, const char* t, int tl, char* out, int cap) {
  int n = 0;
  for (int i = 0; i < sl && n < cap;) {
    if (i + fl <= sl && s[i] == f[0] && std::memcmp(s + i, f, static_cast<std::size_t>(fl)) == 0) {
      const int take = tl < cap - n ? tl : cap - n;
      std::memcpy(out + n, t, static_cast<std::size_t>(take));
      n += take;
      i += fl;
    } else {
      out[n++] = s[i++];
    }
  }
  return n;
}

} // namespace

template <std::size_t N>
void charN_replace(char* out, const char* from, const char* to) {
  constexpr int R = static_cast<int>(charN_replace_width(N));
  char s[N], f[N], t[N], result[R];
  const int sl = textOf(out + (R - static_cast<int>(N)), static_cast<int>(N), s);
  const int fl = textOf(from, static_cast<int>(N), f);
  if (sl == 0 || fl == 0)
    return packText(out, R, s, sl); // s as it is (re-packed: nothing of a hostile cell past its NUL)
  const int tl = textOf(to, static_cast<int>(N), t);
  packText(out, R, result, replaceAll(s, sl, f, fl, t, tl, result, R));
}

template <std::size_t N>
void charN_replace_char(char* s, const char* from, const char* to) {
  const auto f = static_cast<unsigned char>(*from), t = static_cast<unsigned char>(*to);
  // In place, in reading order: the write position never passes the read position.
  auto* top = reinterpret_cast<unsigned char*>(s) + (N - 1);
  int n = 0;
  for (int i = 0; i < static_cast<int>(N) && top[-i] != 0; ++i) {
    const unsigned char c = top[-i];
    if (c != f || f == 0)
      top[-n++] = c;
    else if (t != 0)
      top[-n++] = t;
  }
  std::memset(s, 0, N - static_cast<std::size_t>(n));
}

template <std::size_t N>
void charN_replace_const(char* s, const char* from, const char* to) {
  constexpr int W = static_cast<int>(N);
  char text[N], f[N], t[N], result[N];
  const int sl = textOf(s, W, text);
  const int fl = textOf(from, W, f);
  if (sl == 0 || fl == 0 || fl > sl)
    return packText(s, W, text, sl);
  const int tl = textOf(to, W, t);
  packText(s, W, result, replaceAll(text, sl, f, fl, t, tl, result, W));
}

#define VELA_CHARN_REPLACE_INSTANCES(N)                                                                      \
  template void charN_replace<N>(char*, const char*, const char*);                                           \
  template void charN_replace_char<N>(char*, const char*, const char*);                                      \
  template void charN_replace_const<N>(char*, const char*, const char*);
VELA_CHARN_REPLACE_INSTANCES(1)
VELA_CHARN_REPLACE_INSTANCES(2)
VELA_CHARN_REPLACE_INSTANCES(4)
VELA_CHARN_REPLACE_INSTANCES(8)
VELA_CHARN_REPLACE_INSTANCES(16)
VELA_CHARN_REPLACE_INSTANCES(32)
VELA_CHARN_REPLACE_INSTANCES(64)
VELA_CHARN_REPLACE_INSTANCES(128)
VELA_CHARN_REPLACE_INSTANCES(256)
#undef VELA_CHARN_REPLACE_INSTANCES

namespace {

template <std::size_t N>
using ReplaceCell = Cell<charN_replace_width(N)>;

template <std::size_t N>
struct ReplaceFunc {
  ReplaceCell<N> operator()(const Cell<N>& s, const Cell<N>& from, const Cell<N>& to) const {
    auto out = charn::resize<ReplaceCell<N>>(s);
    charN_replace<N>(rawOf(out), rawOf(from), rawOf(to));
    return out;
  }
};

template <std::size_t N>
struct ReplaceCharFunc {
  Cell<N> operator()(const Cell<N>& s, const Cell<1>& from, const Cell<1>& to) const {
    Cell<N> out = s;
    charN_replace_char<N>(rawOf(out), rawOf(from), rawOf(to));
    return out;
  }
};

template <std::size_t N>
struct ReplaceConstFunc {
  Cell<N> operator()(const Cell<N>& s, const Cell<N>& from, const Cell<N>& to) const {
    Cell<N> out = s;
    charN_replace_const<N>(rawOf(out), rawOf(from), rawOf(to));
    return out;
  }
};

template <std::size_t N>
using ReplaceOp = ElementwiseOp<ReplaceFunc<N>, ReplaceCell<N>, Cell<N>, Cell<N>, Cell<N>>;
template <std::size_t N>
using ReplaceCharOp = ElementwiseOp<ReplaceCharFunc<N>, Cell<N>, Cell<N>, Cell<1>, Cell<1>>;
template <std::size_t N>
using ReplaceConstOp = ElementwiseOp<ReplaceConstFunc<N>, Cell<N>, Cell<N>, Cell<N>, Cell<N>>;

bool registerReplace() {
  std::vector<OpRegistration> ops;
  // char1 .. char16 have two codes each, sharing one kernel per width.
  addWidths<ReplaceOp, 1, 2, 4, 8, 16>(ops, 1988);
  addWidths<ReplaceOp, 1, 2, 4, 8, 16>(ops, 1994);
  addWidths<ReplaceOp, 32, 64, 128, 256>(ops, 1999);
  addAllWidths<ReplaceCharOp>(ops, 2003);
  addAllWidths<ReplaceConstOp>(ops, 2013);
  return registerOps(OpFamily::Char2, ops);
}

[[maybe_unused]] const bool kRegistered = registerReplace();

} // namespace

} // namespace vela::cuda
