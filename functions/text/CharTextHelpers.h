#pragma once
// Building blocks of the fixed-width text ops (length, case mapping, slices, trims, pads, search) and the
// named helpers that other text code shares: charN_ltrim, charN_trim, charN_pad, charN_locate.
//
// Reading rule. A cell is read as its text: the bytes from the top down to the first NUL (charn::length).
// A cell from a caller's column may hold bytes past such a NUL; no helper here reads them, and every
// result is written with all positions past its end zero, so results are valid cells whatever the input.
// For valid cells (no NUL inside the text) this is exactly the byte-level rule of each op.
//
// Widths 1..8 are handled as one 64-bit word with character 0 in its top byte ("left-aligned": the cell
// shifted up by 8 * (8 - N) bits, the new low bytes zero); slices and concatenations are then shifts
// and masks, and length and case mapping are bit tricks on the word. Wider cells take length and case
// mapping on 16- or 32-byte vectors (word by word without AVX2) and everything else on the byte array.
// Nothing here allocates or throws.
//
// White space is the byte 32 and the bytes 9 to 13; letters are the ASCII letters only.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "functions/text/CharN.h"

#ifdef __AVX2__
#include <immintrin.h>
#endif

namespace vela::cuda {

namespace chartext {

using Word = std::uint64_t;

inline constexpr Word kLow7 = 0x7F7F7F7F7F7F7F7FULL;
inline constexpr Word kHigh = 0x8080808080808080ULL;
/// Per-byte addends that carry into bit 7 exactly from a byte value on: 0x80 - v in every byte.
inline constexpr Word addendFrom(unsigned v) {
  return 0x0101010101010101ULL * (0x80u - v);
}

inline bool isSpace(unsigned char c) {
  return c == 32 || static_cast<unsigned char>(c - 9) < 5;
}
inline bool isLetter(unsigned char c) {
  return static_cast<unsigned char>((c | 32) - 'a') < 26;
}

// --- words --------------------------------------------------------------------------------------

/// The cell (width <= 8) as a left-aligned word, and back.
template <class C>
inline Word toWord(C c) {
  static_assert(sizeof(C) <= 8);
  return static_cast<Word>(c) << (8 * (8 - sizeof(C)));
}
template <class C>
inline C fromWord(Word v) {
  static_assert(sizeof(C) <= 8);
  return static_cast<C>(v >> (8 * (8 - sizeof(C))));
}

/// A word of the top k bytes set (k = 0..8).
inline Word prefixMask(int k) {
  return k <= 0 ? 0 : k >= 8 ? ~Word(0) : ~(~Word(0) >> (8 * k));
}

/// 0xFF in every byte at or below the highest NUL byte of v (the bytes past the end of the text that
/// starts at the top byte), 0 elsewhere, without a branch.
inline Word deadBytes(Word v) {
  Word m = charn::detail::zeroByteMask(v) >> 7; // bit 0 of every NUL byte
  m |= m >> 8;
  m |= m >> 16;
  m |= m >> 32;
  return (m << 8) - m; // m * 0xFF: each marked byte becomes 0xFF, no carries between bytes
}
/// v with everything from its highest NUL byte down cleared: the text of a left-aligned word.
inline Word cutWord(Word v) {
  return v & ~deadBytes(v);
}
/// Bytes from the top of v down to its first NUL (0..8).
inline int wordLength(Word v) {
  return std::countl_zero(charn::detail::zeroByteMask(v)) >> 3;
}

/// 'a'..'z' to upper case, every other byte kept.
inline Word upperWord(Word v) {
  const Word x = v & kLow7; // no addition carries into the next byte; bytes of 128 and up are masked by ~v
  const Word lower = (x + addendFrom('a')) & ~(x + addendFrom('z' + 1)) & ~v & kHigh;
  return v ^ (lower >> 2); // bit 7 of the flag to bit 5: minus 32
}
/// 'A'..'Z' to lower case, every other byte kept.
inline Word lowerWord(Word v) {
  const Word x = v & kLow7;
  const Word upper = (x + addendFrom('A')) & ~(x + addendFrom('Z' + 1)) & ~v & kHigh;
  return v ^ (upper >> 2); // plus 32
}

/// Word w (0 = lowest 8 bytes) of a byte array, as a little-endian integer.
inline Word loadWord(const unsigned char* bytes, std::size_t w) {
  Word v;
  std::memcpy(&v, bytes + 8 * w, 8);
  return v;
}
inline void storeWord(unsigned char* bytes, std::size_t w, Word v) {
  std::memcpy(bytes + 8 * w, &v, 8);
}

// --- cells ----------------------------------------------------------------------------------------

#ifdef __AVX2__
// The hot kernels (length, case mapping) of the 16- to 256-byte cells work on 16- or 32-byte vectors: a
// compare and a byte mask give the NULs of a whole chunk at once, so a row costs a few instructions and
// no branch. Written out because the compiler, at the build's -O2, does not vectorise the word forms
// across rows; a loop of 1M char16 cells runs about ten times faster this way. Without AVX2 the word
// forms below are used.

/// kKeepFrom + 31 - h, read as 16 or 32 bytes: 0xFF in the bytes above h, 0 at h and below (h = -1..31).
alignas(64) inline constexpr unsigned char kKeepFrom[64] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

/// Bit i set where byte i of the 16 (32) bytes at p is NUL.
inline unsigned nulBits16(const unsigned char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
}
inline unsigned nulBits32(const unsigned char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
}
/// Index of the highest NUL byte of a chunk from its NUL bits, -1 when there is none.
inline int highestNul(unsigned bits) {
  return 31 - std::countl_zero(bits);
}

/// ASCII letters of one case mapped to the other: bytes in [first, first + 25] get bit 5 flipped.
template <bool Upper>
inline __m128i mapLetters(__m128i v) {
  const __m128i t = _mm_sub_epi8(v, _mm_set1_epi8(Upper ? 'a' : 'A'));
  const __m128i in = _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(25)), t);
  return _mm_xor_si128(v, _mm_and_si128(in, _mm_set1_epi8(32)));
}
template <bool Upper>
inline __m256i mapLetters(__m256i v) {
  const __m256i t = _mm256_sub_epi8(v, _mm256_set1_epi8(Upper ? 'a' : 'A'));
  const __m256i in = _mm256_cmpeq_epi8(_mm256_min_epu8(t, _mm256_set1_epi8(25)), t);
  return _mm256_xor_si256(v, _mm256_and_si256(in, _mm256_set1_epi8(32)));
}
#endif

/// The word forms of textLength and mapCase below for 16- to 256-byte cells (the only forms without
/// AVX2): the same results, a word at a time with the bit tricks above.
template <class C>
inline int textLengthByWords(const C& c) {
  const unsigned char* b = charn::bytesOf(c);
  int len = 0, full = 1; // full: every word above was text throughout
  for (std::size_t w = sizeof(C) / 8; w-- > 0;) {
    const int l = wordLength(loadWord(b, w));
    len += l & -full;
    full &= l >> 3;
  }
  return len;
}
template <bool Upper, class C>
inline C mapCaseByWords(const C& c) {
  C out;
  const unsigned char* in = charn::bytesOf(c);
  unsigned char* o = charn::bytesOf(out);
  Word after = 0; // all ones once a word above held the end of the text
  for (std::size_t w = sizeof(C) / 8; w-- > 0;) {
    const Word v = loadWord(in, w);
    const Word dead = deadBytes(v) | after;
    storeWord(o, w, (Upper ? upperWord(v) : lowerWord(v)) & ~dead);
    after = Word(0) - (dead & 1); // the lowest byte is dead exactly when the text ended here or above
  }
  return out;
}

/// Length of the text, without branches: the same value as charn::length, computed over every chunk of
/// the cell so that a loop over many cells runs straight through (charn::length stops at the word
/// holding the end, the better choice for a single cell).
template <class C>
inline int textLength(const C& c) {
  constexpr std::size_t N = sizeof(C);
  if constexpr (N <= 8) {
    return wordLength(toWord(c));
  } else {
#ifdef __AVX2__
    const unsigned char* b = charn::bytesOf(c);
    if constexpr (N == 16) {
      return std::countl_zero(static_cast<std::uint16_t>(nulBits16(b)));
    } else {
      int len = 0, full = 1; // full: every chunk above was text throughout
      for (std::size_t k = N / 32; k-- > 0;) {
        const int l = std::countl_zero(nulBits32(b + 32 * k)); // 0..32
        len += l & -full;
        full &= l >> 5;
      }
      return len;
    }
#else
    return textLengthByWords(c);
#endif
  }
}

/// The text of c with its ASCII letters mapped to upper (Upper) or lower case, every other byte kept,
/// positions past the end zero. Branch-free over the whole cell.
template <bool Upper, class C>
inline C mapCase(const C& c) {
  constexpr std::size_t N = sizeof(C);
  if constexpr (N <= 8) {
    const Word v = cutWord(toWord(c));
    return fromWord<C>(Upper ? upperWord(v) : lowerWord(v));
  } else {
#ifdef __AVX2__
    C out;
    const unsigned char* in = charn::bytesOf(c);
    unsigned char* o = charn::bytesOf(out);
    if constexpr (N == 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
      const __m128i keep =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepFrom + 31 - highestNul(nulBits16(in))));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_and_si128(mapLetters<Upper>(v), keep));
    } else {
      int above = -1; // 31 once a chunk above held the end of the text: everything below is dead
      for (std::size_t k = N / 32; k-- > 0;) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32 * k));
        const int h = std::max(highestNul(nulBits32(in + 32 * k)), above);
        const __m256i keep = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kKeepFrom + 31 - h));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32 * k),
                            _mm256_and_si256(mapLetters<Upper>(v), keep));
        above = h >= 0 ? 31 : -1;
      }
    }
    return out;
#else
    return mapCaseByWords<Upper>(c);
#endif
  }
}

/// Characters i .. j - 1 of the text of c (0 <= i <= j <= length), moved to the top, the rest zero.
template <class C>
inline C slice(const C& c, int i, int j) {
  constexpr std::size_t N = sizeof(C);
  if constexpr (N <= 8) {
    const Word v = i >= 8 ? 0 : toWord(c) << (8 * i);
    return fromWord<C>(v & prefixMask(j - i));
  } else {
    C out = charn::empty<C>();
    const std::size_t n = static_cast<std::size_t>(j - i);
    std::memcpy(charn::bytesOf(out) + (N - n), charn::bytesOf(c) + (N - static_cast<std::size_t>(j)), n);
    return out;
  }
}

/// Leading and trailing white space of the first len characters.
template <class C>
inline int leadingSpaces(const C& c, int len) {
  int i = 0;
  while (i < len && isSpace(charn::at(c, i)))
    ++i;
  return i;
}
template <class C>
inline int endWithoutTrailingSpaces(const C& c, int len) {
  while (len > 0 && isSpace(charn::at(c, len - 1)))
    --len;
  return len;
}

/// -1, 0 or 1: byte order of the two texts, a text before its extensions.
template <class C>
inline int compareText(const C& a, const C& b) {
  constexpr std::size_t N = sizeof(C);
  if constexpr (N <= 8) {
    const Word x = cutWord(toWord(a)), y = cutWord(toWord(b));
    return (x > y) - (x < y);
  } else {
    const unsigned char *pa = charn::bytesOf(a), *pb = charn::bytesOf(b);
    for (std::size_t w = N / 8; w-- > 0;) {
      const Word x = loadWord(pa, w), y = loadWord(pb, w);
      const Word cx = cutWord(x), cy = cutWord(y);
      if (cx != cy)
        return cx < cy ? -1 : 1;
      // Equal cut words where either text ended: both ended at the same byte (a NUL in one and a
      // character in the other at that byte would differ), so the texts are equal.
      if ((charn::detail::zeroByteMask(x) | charn::detail::zeroByteMask(y)) != 0)
        return 0;
    }
    return 0;
  }
}

// --- byte arrays of a run-time width ----------------------------------------------------------------
// The cell is `width` bytes, character i at s[width - 1 - i].

/// Length of the text (bytes from the top before the first NUL).
inline int textLength(const unsigned char* s, int width) {
  int n = 0;
  while (n < width && s[width - 1 - n] != 0)
    ++n;
  return n;
}

/// Keeps characters i .. j - 1 (0 <= i <= j <= width), moved to the top, and zeroes the rest.
inline void sliceInPlace(unsigned char* s, int width, int i, int j) {
  const int n = j - i;
  std::memmove(s + (width - n), s + (width - j), static_cast<std::size_t>(n));
  std::memset(s, 0, static_cast<std::size_t>(width - n));
}

/// 1-based position of the first occurrence of the needle (characters at the top of its subWidth-byte
/// cell, subLen of them) in the text (len characters of a width-byte cell) at or after `start`; 0 when
/// there is none. An empty needle is found at 1 whatever start is; start < 1 finds nothing.
inline int locateIn(const unsigned char* s, int width, int len, const unsigned char* sub, int subWidth,
                    int subLen, int start) {
  if (subLen == 0)
    return 1;
  if (start < 1 || len < subLen)
    return 0;
  const unsigned char first = sub[subWidth - 1];
  const unsigned char* needle = sub + (subWidth - subLen); // its characters, in the cell's order
  for (int p = start - 1; p <= len - subLen; ++p)
    if (s[width - 1 - p] == first &&
        std::memcmp(s + (width - p - subLen), needle, static_cast<std::size_t>(subLen)) == 0)
      return p + 1;
  return 0;
}

/// Pad characters from the pad text itself: character j of the padding is pad character j mod padLen.
struct RawPad {
  const unsigned char* pad; // a 256-byte cell
  int padLen;               // > 0 when write is called
  /// Writes m padding characters as characters p .. p + m - 1 of the 256-byte cell out.
  void write(unsigned char* out, int p, int m) const {
    unsigned char* dst = out + (255 - p);
    const unsigned char* top = pad + 255;
    for (int j = 0, k = 0; j < m; ++j) {
      dst[-j] = top[-k];
      if (++k == padLen)
        k = 0;
    }
  }
};

/// Padding prepared once for a constant pad: the pad text repeated over a whole 256-byte cell.
struct CyclePad {
  unsigned char cycle[256];
  int padLen;
  explicit CyclePad(const unsigned char* pad256) : padLen(textLength(pad256, 256)) {
    std::memset(cycle, 0, sizeof cycle);
    if (padLen > 0)
      RawPad{pad256, padLen}.write(cycle, 0, 256);
  }
  void write(unsigned char* out, int p, int m) const {
    std::memcpy(out + (256 - p - m), cycle + (256 - m), static_cast<std::size_t>(m));
  }
};

/// The pad rule into a 256-byte cell: n (clamped to 0..256) characters, the first n of s when s has at
/// least n; otherwise s with n - len padding characters before it (left) or after it (right), cycling
/// through the pad text; nothing at all when the pad text is empty.
template <class Pad>
inline void padInto(unsigned char* out, const unsigned char* s, int width, int len, int n, const Pad& pad,
                    bool left) {
  n = std::clamp(n, 0, 256);
  std::memset(out, 0, 256);
  if (n <= len) {
    std::memcpy(out + (256 - n), s + (width - n), static_cast<std::size_t>(n));
    return;
  }
  if (pad.padLen == 0)
    return;
  const int m = n - len;
  std::memcpy(out + (256 - (left ? n : len)), s + (width - len), static_cast<std::size_t>(len));
  pad.write(out, left ? 0 : len, m);
}

} // namespace chartext

// --- named helpers on cells given as bytes --------------------------------------------------------

/// Removes leading white space of a `width`-byte cell in place; an all-white cell becomes empty.
inline void charN_ltrim(char* s, int width) {
  auto* b = reinterpret_cast<unsigned char*>(s);
  const int len = chartext::textLength(b, width);
  int i = 0;
  while (i < len && chartext::isSpace(b[width - 1 - i]))
    ++i;
  chartext::sliceInPlace(b, width, i, len);
}

/// Removes leading and trailing white space of a `width`-byte cell in place.
inline void charN_trim(char* s, int width) {
  auto* b = reinterpret_cast<unsigned char*>(s);
  int j = chartext::textLength(b, width);
  int i = 0;
  while (i < j && chartext::isSpace(b[width - 1 - i]))
    ++i;
  while (j > i && chartext::isSpace(b[width - j]))
    --j;
  chartext::sliceInPlace(b, width, i, j);
}

/// Pads or cuts the text of s (a `width`-byte cell) to n characters into the char256 out256, padding on
/// the left or the right with repetitions of the text of pad256 (a char256); see chartext::padInto.
inline void charN_pad(char* out256, const char* s, int n, const char* pad256, int width, bool left) {
  const auto* sb = reinterpret_cast<const unsigned char*>(s);
  const auto* pb = reinterpret_cast<const unsigned char*>(pad256);
  chartext::padInto(reinterpret_cast<unsigned char*>(out256), sb, width, chartext::textLength(sb, width), n,
                    chartext::RawPad{pb, chartext::textLength(pb, 256)}, left);
}

/// 1-based position of the text of sub in the text of s (both `width`-byte cells) at or after the
/// 1-based start, 0 when absent; an empty sub gives 1.
inline int charN_locate(const char* s, const char* sub, int width, int start) {
  const auto* sb = reinterpret_cast<const unsigned char*>(s);
  const auto* nb = reinterpret_cast<const unsigned char*>(sub);
  return chartext::locateIn(sb, width, chartext::textLength(sb, width), nb, width,
                            chartext::textLength(nb, width), start);
}

} // namespace vela::cuda
