#pragma once
// The LIKE matcher of CHAR_LIKE (charN text, char256 pattern) and STRING_LIKE (heap strings).
//
// Both forms read text and pattern in reading order and differ only in how they walk the bytes:
//   like_match<false>  s and pattern are fixed-width cells of the given widths, character 0 at the
//                      highest byte; a length is the number of bytes before the first NUL, counted
//                      from the top (the whole width when there is none). Cells of width 1..8 are the
//                      little-endian integers, so their bytes are walked the same way.
//   like_match<true>   s and pattern are a heap string's bytes, first byte first, of the given lengths;
//                      a NUL byte there is an ordinary byte.
// A width or length <= 0 (or a null pointer) is the empty text.
//
// Pattern elements:
//   %        any run of characters, the empty run included
//   _        exactly one character
//   [...]    one character of a set of bytes and ranges ("a-z"; a range written high-to-low means the
//            same as low-to-high); "^" right after "[" negates the set. The set ends at the first "]"
//            after "[" or "[^", so "[]" matches nothing and "[^]" any one character. "-" first or last
//            in the set is a member. The escape character has no meaning inside a set.
//            A "[" with no "]" after it is an ordinary character.
//   escape   the next pattern character is taken literally ("%", "_", "[" and the escape itself
//            included). An escape that ends the pattern stands for itself. Escape 0 means none. The
//            escape is recognised before "%" and "_", so an escape of '%' turns "%" into the escape.
//   other    matches itself.
// flags bit 0 (1): "%" and "_" do not match the byte 10 (sets, escaped and literal characters still
//                  may). bit 1 (2): ASCII letters compare case-insensitively, letters of both sides
//                  mapped by OR 32; a set matches a character when the set folded the same way holds
//                  the folded character.
// The rest of the pattern at the end of the text must be empty or only "%": an empty pattern matches
// only the empty text, and "%" (or "%%"...) matches every text without a byte 10 under bit 0.
//
// Matching runs left to right with one backtrack point, the last "%" seen: on a mismatch the matcher
// returns to the element after that "%" and lets the "%" take one more character. Constant extra space,
// no allocation, O(text x pattern) steps. The search is exact for every pattern except under flag bit 0
// where a text's byte 10 must be matched by a set, an escaped or a literal byte 10 while an earlier "%"
// would have to give way: only the last "%" is retried, so such a match can be missed (never invented).

namespace vela::cuda {

template <bool isString>
bool like_match(const char* s, int sWidthOrLen, const char* pattern, int patternWidthOrLen, char escape,
                signed char flags);

extern template bool like_match<false>(const char*, int, const char*, int, char, signed char);
extern template bool like_match<true>(const char*, int, const char*, int, char, signed char);

} // namespace vela::cuda
