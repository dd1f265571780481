#pragma once
// CHAR_SPLIT: the k-th field of a fixed-width text split at a one-byte delimiter.
//
// Cells are passed as their raw bytes (character 0 at the highest byte, `width` bytes). Fields are the
// runs between delimiters, empty ones included, so a text with d delimiters has d + 1 fields. Field k
// counts from 1 at the start; a negative k counts from the end (-1 is the last field).

namespace vela::cuda {

/// The 0-based character index of the k-th occurrence (k >= 1) of the delimiter byte (the text of the
/// char1 cell `delimiter`) in s, or -1 when s is empty, the delimiter is empty, k < 1, or s holds fewer
/// than k occurrences.
int charN_find_match_pos(const char* s, const char* delimiter, int width, int k);

/// Rewrites s in place to its k-th field, moved to the top of the cell, the rest zeroed. An empty
/// delimiter, an empty s, k = 0, and k beyond the field count either way give the empty string; a text
/// without the delimiter is its own only field (k = 1 or -1).
void charN_split(char* s, const char* delimiter, int width, int k);

} // namespace vela::cuda
