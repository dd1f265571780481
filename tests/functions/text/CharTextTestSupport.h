#pragma once
// Helpers of the fixed-width text op tests: Txt<N>, a charN cell that the table runner loads with the
// char load and constant codes of its width, and the reading-order view of cells.
#include <bit>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

#include "functions/text/CharN.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

namespace quarry::test {

namespace chartext_test {

/// Index k of a width in char1 .. char256 (load kLoadChar + k, constant kConstChar + k).
constexpr int widthIndex(std::size_t n) {
  return std::countr_zero(n);
}

template <std::size_t N>
struct Txt {
  vela::cuda::charn::Cell<N> cell;
  friend void PrintTo(const Txt& t, std::ostream* os) {
    const auto* b = reinterpret_cast<const unsigned char*>(&t.cell);
    *os << "char" << N << " \"" << vela::ParserUtils::unpackCharN(b, N) << "\" [";
    for (std::size_t i = N; i-- > 0;) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02x", b[i]);
      *os << hex;
    }
    *os << "]";
  }
};

/// `text` (at most N bytes) as a charN cell.
template <std::size_t N>
Txt<N> txt(std::string_view text) {
  return {packed<vela::cuda::charn::Cell<N>>(text)};
}

/// A cell whose bytes are given top first (character order), the rest zero: hostile cells with NULs.
template <std::size_t N>
Txt<N> rawTop(std::string_view bytes) {
  Txt<N> t{vela::cuda::charn::empty<vela::cuda::charn::Cell<N>>()};
  auto* b = reinterpret_cast<unsigned char*>(&t.cell);
  for (std::size_t i = 0; i < bytes.size() && i < N; ++i)
    b[N - 1 - i] = static_cast<unsigned char>(bytes[i]);
  return t;
}

} // namespace chartext_test

template <std::size_t N>
struct Storage<chartext_test::Txt<N>>
    : Codes<kLoadChar + chartext_test::widthIndex(N), kConstChar + chartext_test::widthIndex(N)> {};

} // namespace quarry::test
