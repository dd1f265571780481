#pragma once
// CHAR_LIKE's plan for a pattern that is constant over a batch.
//
// Most patterns in practice are a literal with "%" at one or both ends. For those the pattern is
// analysed once per batch and every row runs a compare of the literal instead of the general matcher
// (like_match). A plan exists only where it gives exactly like_match's answer:
//   - flag bit 0 (wildcards skip newlines) is clear; flag bit 1 (case folding) folds both sides of the
//     compare the same way the matcher does; other flag bits mean nothing to either;
//   - the pattern, with its leading and trailing runs of "%" removed, holds no "%", "_" or "[", and
//     the escape byte (when not 0) occurs nowhere in the pattern.
// The shapes then are: no "%" (the exact text), "%" only at the end (a prefix), only at the start (a
// suffix), at both ends (a substring), and "%" alone (every text). An empty pattern is the exact empty
// text.
//
// The literal is kept reversed (its last character first), which is how it lies in a charN cell:
// character 0 at the highest byte. A prefix of length L is then the cell's top L bytes, a suffix the L
// bytes from the text's end upward, and a substring a run of the cell's text bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vela::cuda {

enum class LikeShape : std::uint8_t { General, Exact, Prefix, Suffix, Contains, All };

struct LikePlan {
  LikeShape shape = LikeShape::General;
  bool fold = false; // letters of the literal are lower case; text bytes are folded before the compare
  int len = 0;       // of the literal
  unsigned char reversed[256] = {}; // the literal, last character first
};

/// The plan of a constant pattern (a char256 cell), escape and flags; shape General when only the
/// general matcher gives the answer.
LikePlan like_plan(const char* pattern256, char escape, signed char flags);

/// The same plan for a pattern given as its bytes in reading order (a heap string's pattern, where a
/// NUL byte is an ordinary byte); General also for a literal longer than the plan holds (256 bytes).
LikePlan like_plan(std::string_view pattern, char escape, signed char flags);

/// The answer of a plan (shape other than General) for a cell of width N, which is like_match's.
template <std::size_t N>
bool like_plan_match(const LikePlan& plan, const char* cell);

#define VELA_LIKE_PLAN_EXTERN(N) extern template bool like_plan_match<N>(const LikePlan&, const char*);
VELA_LIKE_PLAN_EXTERN(1)
VELA_LIKE_PLAN_EXTERN(2)
VELA_LIKE_PLAN_EXTERN(4)
VELA_LIKE_PLAN_EXTERN(8)
VELA_LIKE_PLAN_EXTERN(16)
VELA_LIKE_PLAN_EXTERN(32)
VELA_LIKE_PLAN_EXTERN(64)
VELA_LIKE_PLAN_EXTERN(128)
VELA_LIKE_PLAN_EXTERN(256)
#undef VELA_LIKE_PLAN_EXTERN

} // namespace vela::cuda
