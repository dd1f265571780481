#pragma once
// Numeric text of fixed-width cells: the decimal-literal test (CHAR_IS_NUMERIC), integers in base 2, 8
// and 16 (TO_BINARY, TO_OCT, TO_HEX) and human-readable byte counts (SIZE_PRETTY).

#include <cstdint>

namespace vela::cuda {

/// Whether the text of the cell (raw bytes, `width` bytes, character 0 at the highest byte) is a
/// decimal number literal: optional leading spaces, an optional sign, digits with at most one '.',
/// where the first character after the sign is a digit or a '.' followed by a digit; then optionally
/// one exponent marker 'e' or 'E', directly followed by an optional sign; then optionally spaces up to
/// the end. No digits are required after the exponent marker or its sign, but a text that ends at the
/// marker itself is refused.
bool charN_is_numeric(const char* s, int width);

/// Writes v in base `radix` (2, 8 or 16; digits 'A'..'F' above 9) into the cell `out` of `width` bytes:
/// a '-' for a negative v, then the magnitude's digits, most significant first, with '0' digits in
/// front up to `digits` digits (the sign not counted); characters beyond the width are dropped and the
/// rest of the cell is zero.
void charN_to_radix(char* out, int width, std::int64_t v, int radix, unsigned digits);

/// Writes the human-readable form of a byte count into the char16 cell `out16`: up to 999 as
/// "<n> bytes", else the count in KB, MB, GB, TB or PB, rounded half up, with a '-' for a negative
/// count.
void size_pretty(char* out16, std::int64_t bytes);

} // namespace vela::cuda
