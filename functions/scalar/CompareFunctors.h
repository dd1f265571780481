#pragma once
// Row kernels of the comparison family: two-operand comparisons, IN lists, GREATEST and LEAST, null-safe
// equality, FIND, FIND_RANGE and LOOKUP. Every functor is written once over an operand-pair policy that
// says how a first and a second operand are brought together and ordered:
//
//   PlainPair    the storage type's own order: signed or unsigned integers, IEEE floats (every ordered
//                test with a NaN is false), fixed arrays of 16 to 256 bytes as unsigned 64-bit words from
//                the highest offset down (the first character of a charN cell sits in the most significant
//                byte, so this is string order);
//   BoolPair     bool bytes compared as truth values;
//   DecimalPair  (DecimalCompareFunctors.h) exact decimals brought to the larger of two scales.
//
// A policy offers first(a) and second(b) (the operand as it is compared and returned: identity, or
// rescaled) and lt, eq, gt on a first and a second operand. The decimal policy is not symmetric: the
// first operand is the row's value, the first operand of a two-operand op, or a LOOKUP list element; the
// second is the list key or bound, the other operand, or LOOKUP's default.
//
// Lists (ParserUtils::TypedVec) arrive as one list pointer per batch or per row. Their values are read
// by memcpy: a list is a packed array of cells of the element's width with no alignment promise.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "base/Int128.h"
#include "base/ParserUtils.h"
#include "cuda/TypedRpnEvaluator.h"
#include "cuda/VectorEvalTypes.h"

namespace vela::cuda {

using ParserUtils::TypedVec;

// ---------------------------------------------------------------------------------------------------
// Storage order

/// Three-way order of two fixed arrays read as little-endian unsigned integers: 64-bit words from the
/// last (most significant) down, the first unequal word deciding.
template <std::size_t N>
inline int compareFixedWords(const fixed_array_t<N>& a, const fixed_array_t<N>& b) {
  static_assert(N % 8 == 0, "fixed arrays compared by words are whole 64-bit words");
  if constexpr (N == 16) {
    uint128_t x, y;
    std::memcpy(&x, a.bytes, 16);
    std::memcpy(&y, b.bytes, 16);
    return (x > y) - (x < y);
  } else {
    for (std::size_t w = N / 8; w-- > 0;) {
      std::uint64_t x, y;
      std::memcpy(&x, a.bytes + 8 * w, 8);
      std::memcpy(&y, b.bytes + 8 * w, 8);
      if (x != y)
        return x < y ? -1 : 1;
    }
    return 0;
  }
}

/// Operands compared by their storage type's own order.
struct PlainPair {
  template <class T>
  static const T& first(const T& a) {
    return a;
  }
  template <class T>
  static const T& second(const T& b) {
    return b;
  }

  template <class T>
  static bool lt(const T& a, const T& b) {
    return a < b;
  }
  template <class T>
  static bool gt(const T& a, const T& b) {
    return a > b;
  }
  template <class T>
  static bool eq(const T& a, const T& b) {
    return a == b;
  }
  template <std::size_t N>
  static bool lt(const fixed_array_t<N>& a, const fixed_array_t<N>& b) {
    return compareFixedWords(a, b) < 0;
  }
  template <std::size_t N>
  static bool gt(const fixed_array_t<N>& a, const fixed_array_t<N>& b) {
    return compareFixedWords(a, b) > 0;
  }
  template <std::size_t N>
  static bool eq(const fixed_array_t<N>& a, const fixed_array_t<N>& b) {
    return std::memcmp(a.bytes, b.bytes, N) == 0;
  }
};

/// Bool bytes: any non-zero byte is TRUE. Only equality is defined for bool.
struct BoolPair : PlainPair {
  static bool eq(std::uint8_t a, std::uint8_t b) { return (a != 0) == (b != 0); }
};

// ---------------------------------------------------------------------------------------------------
// Two-operand comparisons: one byte, 0 or 1.

template <class Pair>
struct EqFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::uint8_t operator()(const T& a, const T& b) const {
    return this->eq(a, b);
  }
};
/// Unordered-or-unequal: true for a NaN operand.
template <class Pair>
struct NeFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::uint8_t operator()(const T& a, const T& b) const {
    return !this->eq(a, b);
  }
};
template <class Pair>
struct LtFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::uint8_t operator()(const T& a, const T& b) const {
    return this->lt(a, b);
  }
};
/// a <= b as "less or equal", so that a NaN operand gives false.
template <class Pair>
struct LeFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::uint8_t operator()(const T& a, const T& b) const {
    return this->lt(a, b) || this->eq(a, b);
  }
};
template <class Pair>
struct GtFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::uint8_t operator()(const T& a, const T& b) const {
    return this->gt(a, b);
  }
};
template <class Pair>
struct GeFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::uint8_t operator()(const T& a, const T& b) const {
    return this->gt(a, b) || this->eq(a, b);
  }
};

/// a > b ? a : b; ties and a NaN in either operand give b.
template <class Pair>
struct GreatestFunc : Pair {
  using Pair::Pair;
  template <class T>
  T operator()(const T& a, const T& b) const {
    return this->gt(a, b) ? this->first(a) : this->second(b);
  }
};
/// a < b ? a : b; ties and a NaN in either operand give b.
template <class Pair>
struct LeastFunc : Pair {
  using Pair::Pair;
  template <class T>
  T operator()(const T& a, const T& b) const {
    return this->lt(a, b) ? this->first(a) : this->second(b);
  }
};

// ---------------------------------------------------------------------------------------------------
// Null-safe equality

/// IS NOT DISTINCT FROM on two values with their row states, for every row: an operand error passes on
/// (the first operand's first) with value 0; otherwise two nulls are not distinct, a null and a value
/// are, and two present values are compared by `equal`. The result is never null.
template <class Equal>
inline std::uint8_t notDistinct(rpn_eval_result_t sa, rpn_eval_result_t sb, rpn_eval_result_t& state,
                                Equal equal) {
  if (sa >= RPN_EVAL_DIVIDE_BY_ZERO) {
    state = sa;
    return 0;
  }
  if (sb >= RPN_EVAL_DIVIDE_BY_ZERO) {
    state = sb;
    return 0;
  }
  state = RPN_EVAL_OK;
  if (sa == RPN_EVAL_NULL || sb == RPN_EVAL_NULL)
    return sa == sb;
  return equal();
}

template <class Pair>
struct IsNotDistinctFromFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::uint8_t operator()(const T& a, const T& b, rpn_eval_result_t sa, rpn_eval_result_t sb,
                          rpn_eval_result_t& state) const {
    return notDistinct(sa, sb, state, [&] { return this->eq(a, b); });
  }
};

// ---------------------------------------------------------------------------------------------------
// Constant lists

/// Value i of a list of T cells.
template <class T>
inline T listValue(const TypedVec& list, std::size_t i) {
  T v;
  std::memcpy(static_cast<void*>(&v), static_cast<const unsigned char*>(list.values) + i * sizeof(T),
              sizeof(T));
  return v;
}

/// The membership search over keys sorted ascending: exactly floor(log2(count)) + 1 probes. Each probe
/// looks at mid = (lo + hi) / 2; a value above the key moves lo to min(mid + 1, hi), a value below it
/// moves hi to mid, an equal (or unordered) key moves nothing. Returns the index of the last probed key;
/// the caller tests that key for equality. `count` must be at least 1.
/// `above(i)` / `below(i)`: the value is greater / smaller than key i.
template <class Above, class Below>
inline std::uint32_t probeSortedKeys(std::uint32_t count, Above above, Below below) {
  std::uint64_t lo = 0, hi = count - 1, mid = 0;
  for (std::uint32_t k = count; k != 0; k >>= 1) {
    mid = (lo + hi) >> 1;
    if (above(static_cast<std::uint32_t>(mid)))
      lo = std::min(mid + 1, hi);
    else if (below(static_cast<std::uint32_t>(mid)))
      hi = mid;
  }
  return static_cast<std::uint32_t>(mid);
}

/// Number of leading keys (sorted ascending) that are at most the value: the index after the last lower
/// bound not above it. `atMost(i)`: key i is not greater than the value.
template <class AtMost>
inline std::uint32_t countBoundsAtMost(std::uint32_t count, AtMost atMost) {
  std::uint32_t lo = 0, n = count;
  while (n > 0) {
    const std::uint32_t half = n / 2;
    if (atMost(lo + half)) {
      lo += half + 1;
      n -= half + 1;
    } else {
      n = half;
    }
  }
  return lo;
}

/// The i32 result stored beside key i, or i itself for a list without a parallel array.
inline std::int32_t listResult(const TypedVec& list, std::uint32_t i) {
  return list.aux != nullptr ? list.aux[i] : static_cast<std::int32_t>(i);
}

/// value IN list: the probe search, then equality with the last probed key. An absent or empty list
/// contains nothing.
template <class Pair>
struct InFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::uint8_t operator()(const T& value, const TypedVec* list) const {
    if (list == nullptr || list->count == 0)
      return 0;
    const std::uint32_t i = probeSortedKeys(
        list->count, [&](std::uint32_t k) { return this->gt(value, listValue<T>(*list, k)); },
        [&](std::uint32_t k) { return this->lt(value, listValue<T>(*list, k)); });
    return this->eq(value, listValue<T>(*list, i));
  }
};

/// FIND: the result stored beside the key equal to the value (found by the membership search), else -1.
template <class Pair>
struct FindFunc : Pair {
  using Pair::Pair;
  template <class T>
  std::int32_t operator()(const T& value, const TypedVec* list) const {
    if (list == nullptr || list->count == 0)
      return -1;
    const std::uint32_t i = probeSortedKeys(
        list->count, [&](std::uint32_t k) { return this->gt(value, listValue<T>(*list, k)); },
        [&](std::uint32_t k) { return this->lt(value, listValue<T>(*list, k)); });
    return this->eq(value, listValue<T>(*list, i)) ? listResult(*list, i) : -1;
  }
};

/// FIND_RANGE over half-open ranges [lower, upper): the last lower bound not above the value names a
/// range r (the integer stored beside it); the result is r when the value is below upper bound r, else
/// -1. A range index outside the upper-bound list gives -1. `lower` orders the value against the lower
/// bounds, `upper` against the upper bounds (one policy for plain types; decimals may sit at different
/// scales in the two lists).
template <class Pair>
struct FindRangeFunc {
  Pair lower, upper;

  FindRangeFunc() = default;
  FindRangeFunc(Pair lowerPair, Pair upperPair) : lower(lowerPair), upper(upperPair) {}

  template <class T>
  std::int32_t operator()(const T& value, const TypedVec* lowerBounds, const TypedVec* upperBounds) const {
    if (lowerBounds == nullptr || upperBounds == nullptr)
      return -1;
    const std::uint32_t n = countBoundsAtMost(lowerBounds->count, [&](std::uint32_t k) {
      const T bound = listValue<T>(*lowerBounds, k);
      return lower.gt(value, bound) || lower.eq(value, bound);
    });
    if (n == 0)
      return -1;
    const std::int32_t r = listResult(*lowerBounds, n - 1);
    if (r < 0 || static_cast<std::uint32_t>(r) >= upperBounds->count)
      return -1;
    return upper.lt(value, listValue<T>(*upperBounds, static_cast<std::uint32_t>(r))) ? r : -1;
  }
};

/// LOOKUP: element p of the list for 0 <= p < count, else the default. `first` / `second` bring a list
/// element / the default to the result's form (identity except for decimals).
template <class Pair>
struct LookupFunc : Pair {
  using Pair::Pair;
  template <class T>
  T operator()(std::int32_t p, const TypedVec* list, const T& fallback) const {
    if (list != nullptr && p >= 0 && static_cast<std::uint32_t>(p) < list->count)
      return this->first(listValue<T>(*list, static_cast<std::uint32_t>(p)));
    return this->second(fallback);
  }
  /// With the states of the position and of the default: an erroneous position passes its error on; a
  /// null position or an absent list gives the default as null; an in-range position gives the element,
  /// present; an out-of-range one the default with the default's state. The value of an erroneous or
  /// null row is the default (the row's cell is cleared at the end of the batch anyway).
  template <class T>
  T operator()(std::int32_t p, const TypedVec* list, const T& fallback, rpn_eval_result_t positionState,
               rpn_eval_result_t fallbackState, rpn_eval_result_t& state) const {
    if (positionState >= RPN_EVAL_DIVIDE_BY_ZERO) {
      state = positionState;
      return this->second(fallback);
    }
    if (positionState == RPN_EVAL_NULL || list == nullptr) {
      state = RPN_EVAL_NULL;
      return this->second(fallback);
    }
    if (p >= 0 && static_cast<std::uint32_t>(p) < list->count) {
      state = RPN_EVAL_OK;
      return this->first(listValue<T>(*list, static_cast<std::uint32_t>(p)));
    }
    state = fallbackState;
    return this->second(fallback);
  }
};

} // namespace vela::cuda
