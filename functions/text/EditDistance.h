#pragma once
// Levenshtein distance of CHAR_EDIT_DISTANCE and STRING_EDIT_DISTANCE: insertion, deletion and
// substitution cost 1 each, bytes compared exactly, texts in reading order.
//
// The dynamic programme keeps two rolling rows of unsigned 8-bit cells, sized by the shorter text plus
// one. Each cell is the minimum of its three candidates (neighbour + 1, diagonal + 0 or 1), computed in
// int from the 8-bit neighbours and stored modulo 256; border cells hold their index modulo 256. A
// distance below 256 is therefore exact; from 256 on the result is reduced modulo 256, with the later
// minima taken over reduced cells (possible for two char256 texts and for long strings). The result is
// 0..255.

#include <cstddef>

namespace vela::cuda {

template <class T>
class InlineBuffer;

/// Cells of one row that StringBufferEditDistance keeps on the stack.
inline constexpr std::size_t kEditDistanceStackRow = 512;

/// Distance of two fixed-width cells of width N (1, 2, 4, ..., 256): character 0 at the highest byte,
/// each text ending at its first NUL. No allocation: the rows (at most 2 x 257 bytes) are on the stack.
template <std::size_t N>
int edit_distance(const char* a, const char* b);

/// Distance of two heap strings over their whole byte lengths; 0 when either is absent. Rows of up to
/// kEditDistanceStackRow cells live on the stack; longer rows (both strings longer than that) are a
/// scratch array charged to the calling thread's pool, as every scratch array of an evaluation is, so a
/// long pair cannot use memory the query's limit does not see. A refusal of the pool passes on as its
/// VelaException (ResourceExhausted).
int StringBufferEditDistance(const InlineBuffer<char>* a, const InlineBuffer<char>* b);

extern template int edit_distance<1>(const char*, const char*);
extern template int edit_distance<2>(const char*, const char*);
extern template int edit_distance<4>(const char*, const char*);
extern template int edit_distance<8>(const char*, const char*);
extern template int edit_distance<16>(const char*, const char*);
extern template int edit_distance<32>(const char*, const char*);
extern template int edit_distance<64>(const char*, const char*);
extern template int edit_distance<128>(const char*, const char*);
extern template int edit_distance<256>(const char*, const char*);

} // namespace vela::cuda
