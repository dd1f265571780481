#pragma once
// The charN layout, shared by every fixed-width text kernel and cast.
//
// A charN value is a cell of N bytes (N = 1, 2, 4, ..., 256): widths 1..8 are the unsigned integers of
// that size, wider ones fixed_array_t<N>. Character 0 is the byte at the highest address (N - 1),
// character i the byte N - 1 - i; the positions past the end of the text are the low bytes and hold 0.
// Read as a little-endian unsigned number, the first character is therefore the most significant byte,
// and unsigned order of two cells is string order.
//
// The length of a cell is the number of bytes from the top down before the first NUL (N when there is
// none). Valid cells hold no NUL inside the text; cells from a caller's column may, and every reader
// here stops at the first one, so a hostile cell is read as its leading text and nothing past the cell
// is ever touched. Every writer zero-fills the positions past the new end.
//
// Helpers work on the cell's bytes in reading order so that a kernel is written once for all widths;
// kernels of widths 1..8 that have a cheaper integer form (case mapping, length) use the integer.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "cuda/VectorEvalTypes.h"

namespace vela::cuda::charn {

template <std::size_t N>
using Cell = cell_of_width_t<N>;

/// The width N of a charN cell type.
template <class C>
inline constexpr std::size_t kWidth = sizeof(C);

template <class C>
inline unsigned char* bytesOf(C& cell) {
  return reinterpret_cast<unsigned char*>(&cell);
}
template <class C>
inline const unsigned char* bytesOf(const C& cell) {
  return reinterpret_cast<const unsigned char*>(&cell);
}

/// The all-zero cell (the empty text).
template <class C>
inline C empty() {
  C c;
  std::memset(static_cast<void*>(&c), 0, sizeof(C));
  return c;
}

namespace detail {
// Bit 7 of each byte of the result is set exactly where the byte of v is 0 (no false positives, unlike
// the borrow trick).
inline std::uint64_t zeroByteMask(std::uint64_t v) {
  constexpr std::uint64_t k7f = 0x7F7F7F7F7F7F7F7FULL;
  return ~(((v & k7f) + k7f) | v | k7f);
}
} // namespace detail

/// Length of the text: bytes from the top before the first NUL.
template <class C>
inline int length(const C& cell) {
  constexpr std::size_t N = sizeof(C);
  if constexpr (N <= 8) {
    std::uint64_t v = 0;
    std::memcpy(&v, &cell, N);
    v <<= 8 * (8 - N); // the cell's top byte becomes the word's top byte; the added low bytes are 0
    const std::uint64_t z = detail::zeroByteMask(v);
    if (z == 0) // N = 8 with no NUL: the whole cell is text
      return 8;
    // The highest zero byte h ends the text, which fills bytes 7 .. h + 1. For N < 8 the shifted-in low
    // bytes are zero, so h >= 7 - N and the length never exceeds N.
    return 7 - (63 - std::countl_zero(z)) / 8;
  } else {
    const unsigned char* b = bytesOf(cell);
    for (std::size_t w = N / 8; w-- > 0;) {
      std::uint64_t v;
      std::memcpy(&v, b + 8 * w, 8);
      const std::uint64_t z = detail::zeroByteMask(v);
      if (z != 0) {
        const int highestZero = (63 - std::countl_zero(z)) / 8; // byte index within the word
        return static_cast<int>(N - 8 * w) - 1 - highestZero;
      }
    }
    return static_cast<int>(N);
  }
}

/// Character i (0-based, reading order) of the cell; valid for 0 <= i < N.
template <class C>
inline unsigned char at(const C& cell, int i) {
  return bytesOf(cell)[sizeof(C) - 1 - i];
}
/// Writable character i.
template <class C>
inline unsigned char& at(C& cell, int i) {
  return bytesOf(cell)[sizeof(C) - 1 - i];
}

/// Copies the text of the cell into out (reading order, no terminator; room for N bytes) and returns
/// its length.
template <class C>
inline int toText(const C& cell, char* out) {
  const int len = length(cell);
  const unsigned char* top = bytesOf(cell) + (sizeof(C) - 1);
  for (int i = 0; i < len; ++i)
    out[i] = static_cast<char>(top[-i]);
  return len;
}

/// A cell holding the first min(len, N) bytes of text (reading order), the rest zero. A NUL byte in the
/// text ends it there, so the cell stays valid.
template <class C>
inline C fromText(const char* text, std::size_t len) {
  C c = empty<C>();
  unsigned char* top = bytesOf(c) + (sizeof(C) - 1);
  const std::size_t n = len < sizeof(C) ? len : sizeof(C);
  for (std::size_t i = 0; i < n && text[i] != 0; ++i)
    top[-static_cast<std::ptrdiff_t>(i)] = static_cast<unsigned char>(text[i]);
  return c;
}

/// Zeroes characters from position len on (the positions past a shortened text).
template <class C>
inline void cutAt(C& cell, int len) {
  if (len < 0)
    len = 0;
  if (static_cast<std::size_t>(len) < sizeof(C))
    std::memset(bytesOf(cell), 0, sizeof(C) - static_cast<std::size_t>(len));
}

/// A cell of width M holding the text of a cell of width N, cut to M characters (the casts between
/// widths, and results wider than their operand).
template <class To, class From>
inline To resize(const From& from) {
  constexpr std::size_t N = sizeof(From), M = sizeof(To);
  To to = empty<To>();
  const unsigned char* src = bytesOf(from);
  unsigned char* dst = bytesOf(to);
  if constexpr (M >= N)
    std::memcpy(dst + (M - N), src, N); // the text keeps its top-aligned place; the new low bytes are 0
  else
    std::memcpy(dst, src + (N - M), M); // the first M characters
  const int len = length(from);
  if (len < static_cast<int>(M))
    cutAt(to, len); // bytes of the source below its first NUL stay out
  return to;
}

} // namespace vela::cuda::charn
