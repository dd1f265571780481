#pragma once
// charN cells as operand and result types of expectTable: Text<N> is an N-byte cell in the fixed-width
// layout, loaded and given as a constant by the charN codes of its width.
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cuda/VectorEvalTypes.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

namespace quarry::test {

template <std::size_t N>
struct Text {
  vela::cuda::cell_of_width_t<N> cell;
};

constexpr int widthIndex(std::size_t n) {
  int k = 0;
  while ((std::size_t{1} << k) != n)
    ++k;
  return k; // 1, 2, 4, ..., 256 -> 0 .. 8
}

template <std::size_t N>
struct Storage<Text<N>> : Codes<kLoadChar + widthIndex(N), kConstChar + widthIndex(N)> {};
template <>
struct Storage<fixed_array_t<16>> : Codes<kLoadU128, kConstU128> {};
// u32 operands: the u32 column load; constants through the 4-byte char4 constant (cells move by width).
template <>
struct Storage<unsigned int> : Codes<kLoadU32, kConstChar + 2> {};

/// `text` as a Text<N> (at most N bytes).
template <std::size_t N>
Text<N> txt(std::string_view text) {
  return Text<N>{packed<vela::cuda::cell_of_width_t<N>>(text)};
}
/// The first N bytes of `text` as a Text<N>: what a cast cutting to the width gives.
template <std::size_t N>
Text<N> cut(std::string_view text) {
  return txt<N>(text.substr(0, N));
}

template <std::size_t N>
std::string textOf(const Text<N>& t) {
  return vela::ParserUtils::unpackCharN(reinterpret_cast<const unsigned char*>(&t.cell), N);
}
template <std::size_t N>
void PrintTo(const Text<N>& t, std::ostream* os) {
  *os << "char" << N << " '" << textOf(t) << "'";
}

/// Calls f.template operator()<N>() for every charN width.
template <class F>
void forEachWidth(F&& f) {
  f.template operator()<1>();
  f.template operator()<2>();
  f.template operator()<4>();
  f.template operator()<8>();
  f.template operator()<16>();
  f.template operator()<32>();
  f.template operator()<64>();
  f.template operator()<128>();
  f.template operator()<256>();
}

/// Runs `op` on one column of `in` (loaded by its storage type's column load) in both evaluators and
/// checks the rows: the sweeps over every width, where the constant forms add nothing that the
/// smaller expectTable cases do not already cover.
template <class Out, class In>
void expectColumn(int op, const std::vector<In>& in, const std::vector<Out>& out,
                  const std::vector<std::uint8_t>& states = {}, const EvalInfo& info = {}) {
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(op));
  Program p;
  p.column(Storage<In>::load, 0);
  p.op(op, info);
  HarnessCase c(p);
  c.addColumn(in);
  c.expectRows<Out>(out, states, worstCode(states));
}

} // namespace quarry::test
