#pragma once
// Soundex codes (CHAR_SOUNDEX, STRING_SOUNDEX) and the DIFFERENCE count of two texts.
//
// A code is a capital letter and three digits '0'..'6', written as a char4 cell: the first character is
// the most significant byte of the 32-bit cell (byte 3), the last digit byte 0, so "R163" is the cell
// 0x52313633. A text with no ASCII letter has the empty code: all four bytes zero.
// Texts are walked in reading order: the <false> forms read a fixed-width cell of the given width
// (character 0 at the highest byte, ending at the first NUL), the <true> forms a heap string's bytes of
// the given length. A size <= 0 is the empty text.

namespace vela::cuda {

/// The digit class of a letter, either case: 1 B F P V; 2 C G J K Q S X Z; 3 D T; 4 L; 5 M N; 6 R;
/// -1 the vowels A E I O U; 0 H W Y and every byte that is not an ASCII letter.
int soundex_code(char c);

/// Writes the code of the text into the 4-byte cell out4 (the empty code when the text has no letter).
template <bool isString>
void soundex1(const char* s, char* out4, int len);

/// 0..4: the byte positions at which two char4 codes agree (two empty codes agree everywhere).
int soundex_difference(const char* code4a, const char* code4b);

/// DIFFERENCE of two texts of the same kind: soundex_difference of their codes.
template <bool isString>
int soundex_difference_of(const char* a, int aLen, const char* b, int bLen);

extern template void soundex1<false>(const char*, char*, int);
extern template void soundex1<true>(const char*, char*, int);
extern template int soundex_difference_of<false>(const char*, int, const char*, int);
extern template int soundex_difference_of<true>(const char*, int, const char*, int);

} // namespace vela::cuda
