#pragma once
// The order of heap strings (InlineBuffer<char>) used by the string comparisons, and the list searches
// over string keys.
//
// Two orders exist, on purpose:
//   StringBufferStrcmp  the order of EQ ... GE, GREATEST, LEAST and IS NOT DISTINCT FROM: strncmp over
//                       the shorter length (a NUL byte inside both strings ends the comparison), then
//                       the shorter string first;
//   StringKeyPair       the order of list keys (IN, FIND, FIND_RANGE): memcmp over the shorter length,
//                       then the shorter string first. It is a total order that agrees with byte
//                       equality, which a membership test needs; for text without NUL bytes the two
//                       orders agree.

#include <cstdint>

#include "cuda/ManagedObjects.h"
#include "functions/scalar/CompareFunctors.h"

namespace vela::cuda {

using StringCell = const InlineBuffer<char>*;

/// -1, 0 or 1: the order of two present strings (strncmp over the shorter length, then length); 0 when
/// either is absent.
int StringBufferStrcmp(const InlineBuffer<char>* a, const InlineBuffer<char>* b);

/// String list keys: byte order (memcmp over the shorter length, then length). An absent string sorts
/// before every present one and equals nothing, not even another absent string.
struct StringKeyPair : PlainPair {
  static int order(StringCell a, StringCell b);
  static bool lt(StringCell a, StringCell b) { return order(a, b) < 0; }
  static bool gt(StringCell a, StringCell b) { return order(a, b) > 0; }
  static bool eq(StringCell a, StringCell b);
};

/// FIND over string keys sorted by StringKeyPair: the result stored beside the key equal to `value`
/// (the membership search of IN), else -1; -1 when `value` or the probed key is absent.
std::int32_t find_function(StringCell value, const TypedVec* keys);
/// FIND_RANGE over string bounds: the last lower bound not above `value` names range r; r when `value`
/// is below upper bound r, else -1 (also for an absent value).
std::int32_t find_range_function(StringCell value, const TypedVec* lowerBounds, const TypedVec* upperBounds);

} // namespace vela::cuda
