#pragma once
// Reading-order access to the two kinds of text of the matchers (internal to functions/text).
//   TextWalk<false>  a fixed-width cell: character i is the byte width-1-i; the length is the number of
//                    bytes before the first NUL counted from the top (at most the width).
//   TextWalk<true>   a heap string's bytes, first byte first; the length is the byte count as given.
// A size <= 0 or a null pointer gives the empty text. Indexing is valid for 0 <= i < len only.

#include <cstdint>

namespace vela::cuda::text_walk {

inline bool isLetter(unsigned char c) {
  const unsigned char lower = c | 32;
  return lower >= 'a' && lower <= 'z';
}
/// ASCII letters to lower case by OR 32; every other byte unchanged.
inline unsigned char foldLetter(unsigned char c) {
  return isLetter(c) ? c | 32 : c;
}

template <bool isString>
struct TextWalk {
  const unsigned char* base = nullptr; // the string's first byte, or the cell's highest byte
  std::int64_t len = 0;

  static TextWalk of(const char* s, std::int64_t widthOrLen) {
    if (s == nullptr || widthOrLen <= 0)
      return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(s);
    if constexpr (isString) {
      return {bytes, widthOrLen};
    } else {
      const unsigned char* top = bytes + (widthOrLen - 1);
      std::int64_t n = 0;
      while (n < widthOrLen && top[-n] != 0)
        ++n;
      return {top, n};
    }
  }

  unsigned char operator[](std::int64_t i) const {
    if constexpr (isString)
      return base[i];
    else
      return base[-i];
  }
};

} // namespace vela::cuda::text_walk
