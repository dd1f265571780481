#pragma once
// Point-in-ring test on coordinate arrays: is (x, y) inside the closed ring whose vertices are
// (xs[i], ys[i])? A crossing-number test: a ray from the point toward -x is intersected with every
// non-horizontal edge whose y range covers the point (half-open, lower end included, so a vertex on the
// ray is counted once). A point on a vertex or an edge gives `onRing` instead of a crossing count.
// All arithmetic is in T (float for the single-precision op), each step rounded on its own. Comparisons
// with NaN are false, so a NaN coordinate never matches a vertex or an edge.

#include <algorithm>
#include <cstdint>

#include "base/ParserUtils.h"

namespace vela::cuda {

template <class T>
bool xyIntersectsV(T x, T y, const T* xs, const T* ys, std::uint32_t n, bool onRing) {
  if (n < 1)
    return false;
  bool inside = false;
  std::uint32_t prev = n - 1;
  for (std::uint32_t i = 0; i < n; ++i) {
    const T xi = xs[i], yi = ys[i];
    const T xp = xs[prev], yp = ys[prev];
    if (yi != yp) {
      if (yi == y && xi == x)
        return onRing;
      if ((yi <= y && y < yp) || (yp <= y && y < yi)) {
        const T xint = (xp - xi) * (y - yi) / (yp - yi) + xi;
        if (x == xint)
          return onRing;
        if (x < xint)
          inside = !inside;
      }
    } else if (y == yi && ((xi <= x && x <= xp) || (xp <= x && x <= xi))) {
      return onRing;
    }
    prev = i;
  }
  return inside;
}

/// The op over list constants: the ring's x and y coordinates are two lists of T. The vertex count is
/// the x list's; a null list, or a y list shorter than the x list (a malformed ring), reads only the
/// vertices both lists hold.
template <class T>
struct PointInRingFunc {
  std::uint8_t operator()(T x, T y, const ParserUtils::TypedVec* xs, const ParserUtils::TypedVec* ys,
                          std::uint8_t onRing) const {
    if (xs == nullptr || ys == nullptr)
      return 0;
    const std::uint32_t n = std::min(xs->count, ys->count);
    return xyIntersectsV<T>(x, y, static_cast<const T*>(xs->values), static_cast<const T*>(ys->values), n,
                            onRing != 0);
  }
};

} // namespace vela::cuda
