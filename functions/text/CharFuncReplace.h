#pragma once
// Replacement in fixed-width texts: CHAR_REPLACE (the result in a wider cell), CHAR_REPLACE_CHAR (one
// byte by another, or removed) and CHAR_REPLACE_CONST (the result cut to the operand's width).
//
// Cells are passed as their raw bytes (character 0 at the highest byte). Occurrences are found from
// character 0 on, without overlap: after a match the search goes on after it. Every helper rewrites
// whole cells, so the bytes past the result's end are zero.

#include <cstddef>

namespace vela::cuda {

/// Width of CHAR_REPLACE's result for operands of width N: N x N, at most 256 (char1 -> char1,
/// char2 -> char4, char4 -> char16, char8 -> char64, char16 and wider -> char256).
constexpr std::size_t charN_replace_width(std::size_t n) {
  return n * n < 256 ? n * n : 256;
}

/// `out` is a cell of charN_replace_width(N) bytes holding s (a text of at most N characters); `from`
/// and `to` are cells of width N. Every occurrence of from in s is replaced by to, in place. An empty s
/// or an empty from leaves out as it is. Up to char16 every result fits; from char32 on a result longer
/// than 256 characters is cut to its first 256.
template <std::size_t N>
void charN_replace(char* out, const char* from, const char* to);

/// s is a cell of width N, from and to char1 cells. An empty from, or from equal to to, leaves s as it
/// is; otherwise every byte of the text equal to from becomes to, or, when to is empty, is removed (the
/// rest closes up towards character 0).
template <std::size_t N>
void charN_replace_char(char* s, const char* from, const char* to);

/// s, from and to are cells of width N. An empty s, an empty from, or a from longer than s leaves s as
/// it is; otherwise every occurrence of from is replaced by to and the result cut to N characters.
template <std::size_t N>
void charN_replace_const(char* s, const char* from, const char* to);

#define VELA_CHARN_REPLACE_EXTERN(N)                                                                         \
  extern template void charN_replace<N>(char*, const char*, const char*);                                    \
  extern template void charN_replace_char<N>(char*, const char*, const char*);                               \
  extern template void charN_replace_const<N>(char*, const char*, const char*);
VELA_CHARN_REPLACE_EXTERN(1)
VELA_CHARN_REPLACE_EXTERN(2)
VELA_CHARN_REPLACE_EXTERN(4)
VELA_CHARN_REPLACE_EXTERN(8)
VELA_CHARN_REPLACE_EXTERN(16)
VELA_CHARN_REPLACE_EXTERN(32)
VELA_CHARN_REPLACE_EXTERN(64)
VELA_CHARN_REPLACE_EXTERN(128)
VELA_CHARN_REPLACE_EXTERN(256)
#undef VELA_CHARN_REPLACE_EXTERN

} // namespace vela::cuda
