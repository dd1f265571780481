#pragma once
// Helpers of the fixed-width text function tests: charN cells of every width as table operands (their
// column loads and constants), texts drawn at random, and a harness run of whole random columns.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "functions/text/CharN.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

namespace quarry::test {

template <std::size_t N>
using CharCell = vela::cuda::cell_of_width_t<N>;

// char2 and char4 cells have their own loads; char1 and char8 share the one-byte and eight-byte
// storage of bool and u64, whose loads move the same bytes.
template <>
struct Storage<std::uint16_t> : Codes<kLoadChar + 1, kConstChar + 1> {};
template <>
struct Storage<std::uint32_t> : Codes<kLoadChar + 2, kConstChar + 2> {};
template <>
struct Storage<fixed_array_t<16>> : Codes<kLoadChar + 4, kConstChar + 4> {};
template <>
struct Storage<fixed_array_t<32>> : Codes<kLoadChar + 5, kConstChar + 5> {};
template <>
struct Storage<fixed_array_t<64>> : Codes<kLoadChar + 6, kConstChar + 6> {};
template <>
struct Storage<fixed_array_t<128>> : Codes<kLoadChar + 7, kConstChar + 7> {};
template <>
struct Storage<fixed_array_t<256>> : Codes<kLoadChar + 8, kConstChar + 8> {};

/// The charN cell of width N holding `text`.
template <std::size_t N>
CharCell<N> ch(std::string_view text) {
  return packed<CharCell<N>>(text);
}

/// The text of a cell.
template <class C>
std::string textOf(const C& cell) {
  return vela::ParserUtils::unpackCharN(reinterpret_cast<const unsigned char*>(&cell), sizeof(C));
}

/// Whether every byte below the text of the cell is zero.
template <class C>
bool zeroTail(const C& cell) {
  const auto* b = reinterpret_cast<const unsigned char*>(&cell);
  const int len = vela::cuda::charn::length(cell);
  for (std::size_t i = 0; i + static_cast<std::size_t>(len) < sizeof(C); ++i)
    if (b[i] != 0)
      return false;
  return true;
}

/// A text of 0 to maxLen bytes drawn from the alphabet.
inline std::string draw(std::mt19937& gen, std::size_t maxLen, std::string_view alphabet) {
  std::string s(std::uniform_int_distribution<std::size_t>(0, maxLen)(gen), ' ');
  for (char& c : s)
    c = alphabet[gen() % alphabet.size()];
  return s;
}

/// Runs `op` over whole columns (every operand a column load, in push order) through the harness and
/// checks every row against `expected`.
template <class Out, class... In>
void expectColumns(int op, const std::vector<Out>& expected, const std::vector<In>&... columns) {
  vela::ParserUtils::Program p;
  int k = 0;
  ((p.column(Storage<In>::load, k++)), ...);
  p.op(op);
  HarnessCase c(p);
  (c.addColumn(columns), ...);
  c.expectRows<Out>(expected);
}

} // namespace quarry::test
