#pragma once
// Shared pieces of the fixed-width text functions that match, measure and rewrite charN cells (the
// CharFunc*.cpp files): registration of a width family, and texts copied out of a cell in reading
// order and packed back.
//
// A width family is one op per width with consecutive codes, char1 .. char256 (or char8 .. char256);
// Shape<W> is the op of width W.
//
// The rewriting kernels work on the text in reading order in a stack buffer (at most 256 bytes) and
// pack the result back; packing writes every byte of the cell, so the positions past the new end are
// always zero. No kernel allocates.

#include <cstddef>
#include <cstring>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/text/CharN.h"

namespace vela::cuda::charfunc {

template <std::size_t N>
using Cell = charn::Cell<N>;

/// Registers Shape<W> for the widths W..., the first at `first`, the next at first + 1, and so on.
template <template <std::size_t> class Shape, std::size_t... W>
void addWidths(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  TypedRpnOp code = first;
  ((ops.push_back(opEntry<Shape<W>>(code)), ++code), ...);
}
/// char1 .. char256 at first .. first + 8.
template <template <std::size_t> class Shape>
void addAllWidths(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  addWidths<Shape, 1, 2, 4, 8, 16, 32, 64, 128, 256>(ops, first);
}
/// char8 .. char256 at first .. first + 5.
template <template <std::size_t> class Shape>
void addWideWidths(std::vector<OpRegistration>& ops, TypedRpnOp first) {
  addWidths<Shape, 8, 16, 32, 64, 128, 256>(ops, first);
}

/// The text of a cell given as its raw bytes (width N, character 0 at byte N - 1) copied into `out` in
/// reading order; returns its length (bytes before the first NUL from the top).
inline int textOf(const char* cell, int width, char* out) {
  const auto* top = reinterpret_cast<const unsigned char*>(cell) + (width - 1);
  int n = 0;
  while (n < width && top[-n] != 0) {
    out[n] = static_cast<char>(top[-n]);
    ++n;
  }
  return n;
}

/// Writes `len` bytes of text (reading order, len <= width) into the cell of `width` bytes, every
/// other byte zero.
inline void packText(char* cell, int width, const char* text, int len) {
  auto* top = reinterpret_cast<unsigned char*>(cell) + (width - 1);
  for (int i = 0; i < len; ++i)
    top[-i] = static_cast<unsigned char>(text[i]);
  std::memset(cell, 0, static_cast<std::size_t>(width - len));
}

template <class C>
inline char* rawOf(C& cell) {
  return reinterpret_cast<char*>(&cell);
}
template <class C>
inline const char* rawOf(const C& cell) {
  return reinterpret_cast<const char*>(&cell);
}

} // namespace vela::cuda::charfunc
