#include "base/Pip.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <geos/algorithm/Orientation.h>
#include <geos/geom/CoordinateSequence.h>
#include <geos/geom/LinearRing.h>
#include <geos/geom/Polygon.h>

#include "base/Logging.h"
#include "base/VelaException.h"

namespace vela {

namespace {

using geos::geom::Geometry;
using geos::geom::GeometryTypeId;

// Side of c relative to the directed line a -> b: 1 left, -1 right, 0 on it. A floating-point filter
// (the classic bound for this determinant of coordinate differences) settles almost every call; the
// rest go to the geometry library's exact test.
int orientation(double ax, double ay, double bx, double by, double cx, double cy) {
  const double left = (bx - ax) * (cy - ay);
  const double right = (by - ay) * (cx - ax);
  const double det = left - right;
  const double sum = std::fabs(left) + std::fabs(right);
  const double bound = 3.3306690738754716e-16 * sum;
  if (sum > 1e-280 && (det > bound || -det > bound))
    return det > 0 ? 1 : -1;
  return geos::algorithm::Orientation::index(geos::geom::Coordinate(ax, ay), geos::geom::Coordinate(bx, by),
                                             geos::geom::Coordinate(cx, cy));
}

} // namespace

Pip<IntervalPip>::Pip(const Geometry& polygonal, RamPool* pool)
    : m_pool(pool != nullptr ? pool : RamPool::getDefault()) {
  // Collect the rings first, refusing anything that is not polygonal, so that the reservation below
  // is made once for the exact edge count.
  std::vector<const geos::geom::CoordinateSequence*> rings;
  std::vector<const Geometry*> pending{&polygonal};
  while (!pending.empty()) {
    const Geometry* g = pending.back();
    pending.pop_back();
    switch (g->getGeometryTypeId()) {
    case GeometryTypeId::GEOS_POLYGON: {
      if (g->isEmpty())
        break;
      const auto* p = static_cast<const geos::geom::Polygon*>(g);
      rings.push_back(p->getExteriorRing()->getCoordinatesRO());
      for (std::size_t i = 0; i < p->getNumInteriorRing(); ++i)
        rings.push_back(p->getInteriorRingN(i)->getCoordinatesRO());
      break;
    }
    case GeometryTypeId::GEOS_MULTIPOLYGON:
    case GeometryTypeId::GEOS_GEOMETRYCOLLECTION:
      for (std::size_t i = 0; i < g->getNumGeometries(); ++i)
        pending.push_back(g->getGeometryN(i));
      break;
    default:
      throw VelaException(
          VelaWhat::Evaluation, locationSuffix("base/Pip", __LINE__),
          Status(StatusEnum::InvalidArgument,
                 "Pip: the classifier needs a polygonal geometry, not a " + g->getGeometryType()));
    }
  }
  std::size_t count = 0;
  for (const auto* ring : rings)
    count += ring->size() > 1 ? ring->size() - 1 : 0;
  const std::size_t bytes = count * sizeof(Edge);
  m_pool->reserveRaw(bytes);
  m_reserved = bytes;
  try {
    m_edges.reserve(count);
  } catch (...) {
    m_pool->unreserveRaw(bytes);
    throw;
  }
  for (const auto* ring : rings)
    for (std::size_t i = 1; i < ring->size(); ++i) {
      const geos::geom::Coordinate& a = ring->getAt(i - 1);
      const geos::geom::Coordinate& b = ring->getAt(i);
      if (std::isnan(a.x) || std::isnan(a.y) || std::isnan(b.x) || std::isnan(b.y))
        continue;
      if (a.y <= b.y)
        m_edges.push_back({a.x, a.y, b.x, b.y, 0.0});
      else
        m_edges.push_back({b.x, b.y, a.x, a.y, 0.0});
    }
  std::sort(m_edges.begin(), m_edges.end(), [](const Edge& l, const Edge& r) { return l.yLow < r.yLow; });
  buildTree();
}

Pip<IntervalPip>::~Pip() {
  if (m_reserved != 0)
    m_pool->unreserveRaw(m_reserved);
}

Pip<IntervalPip>::Pip(Pip&& other) noexcept
    : m_pool(other.m_pool), m_edges(std::move(other.m_edges)), m_reserved(std::exchange(other.m_reserved, 0)),
      m_topLevel(std::exchange(other.m_topLevel, -1)) {
  other.m_edges.clear();
}

// The implicit tree over the sorted array: the node at index i sits at level k, the number of trailing
// one bits of i; its subtree spans [i - (2^k - 1), i + (2^k - 1)]. Leaves (even indexes) hold their own
// upper Y; every inner node the highest of its own, its left subtree's and its right subtree's. Right
// subtrees cut off by the array's end take the highest value of the last complete part instead.
void Pip<IntervalPip>::buildTree() noexcept {
  const std::size_t n = m_edges.size();
  if (n == 0) {
    m_topLevel = -1;
    return;
  }
  std::size_t lastIndex = 0;
  double last = 0.0;
  for (std::size_t i = 0; i < n; i += 2) {
    lastIndex = i;
    m_edges[i].maxYBelow = last = m_edges[i].yHigh;
  }
  int k = 1;
  for (; (std::size_t{1} << k) <= n; ++k) {
    const std::size_t x = std::size_t{1} << (k - 1);
    const std::size_t first = (x << 1) - 1, step = x << 2;
    for (std::size_t i = first; i < n; i += step) {
      const double leftMax = m_edges[i - x].maxYBelow;
      const double rightMax = i + x < n ? m_edges[i + x].maxYBelow : last;
      m_edges[i].maxYBelow = std::max({m_edges[i].yHigh, leftMax, rightMax});
    }
    lastIndex = (lastIndex >> k & 1) != 0 ? lastIndex - x : lastIndex + x;
    if (lastIndex < n && m_edges[lastIndex].maxYBelow > last)
      last = m_edges[lastIndex].maxYBelow;
  }
  m_topLevel = k - 1;
}

int Pip<IntervalPip>::classify(double x, double y) const noexcept {
  if (m_topLevel < 0 || !std::isfinite(x) || !std::isfinite(y))
    return static_cast<int>(PipClass::Outside);
  const std::size_t n = m_edges.size();
  bool inside = false;
  // Returns true when the point is on the edge; otherwise toggles `inside` on a crossing.
  const auto visit = [&](const Edge& e) {
    if (e.yLow == e.yHigh) // horizontal: only its own span can hold the point, and it never crosses
      return x >= std::min(e.xLow, e.xHigh) && x <= std::max(e.xLow, e.xHigh);
    if (x > e.xLow && x > e.xHigh) // wholly to the left: neither on it nor crossed
      return false;
    if (x < e.xLow && x < e.xHigh) { // wholly to the right: crossed unless the point is level with its top
      if (y < e.yHigh)
        inside = !inside;
      return false;
    }
    const int side = orientation(e.xLow, e.yLow, e.xHigh, e.yHigh, x, y);
    if (side == 0)
      return true; // on the line through the edge, within its Y range: on the edge
    if (side > 0 && y < e.yHigh)
      inside = !inside; // left of the upward edge: the ray towards +X crosses it
    return false;
  };
  struct Frame {
    std::size_t node;
    int level;
    bool leftDone;
  };
  Frame stack[64];
  int top = 0;
  stack[top++] = {(std::size_t{1} << m_topLevel) - 1, m_topLevel, false};
  while (top > 0) {
    const Frame f = stack[--top];
    if (f.level <= 3) { // small subtree: scan it in order
      const std::size_t begin = f.node >> f.level << f.level;
      const std::size_t end = std::min(n, begin + (std::size_t{1} << (f.level + 1)) - 1);
      for (std::size_t i = begin; i < end && m_edges[i].yLow <= y; ++i)
        if (y <= m_edges[i].yHigh && visit(m_edges[i]))
          return static_cast<int>(PipClass::Boundary);
    } else if (!f.leftDone) {
      const std::size_t left = f.node - (std::size_t{1} << (f.level - 1));
      stack[top++] = {f.node, f.level, true};
      if (left >= n || m_edges[left].maxYBelow >= y)
        stack[top++] = {left, f.level - 1, false};
    } else if (f.node < n && m_edges[f.node].yLow <= y) {
      if (y <= m_edges[f.node].yHigh && visit(m_edges[f.node]))
        return static_cast<int>(PipClass::Boundary);
      stack[top++] = {f.node + (std::size_t{1} << (f.level - 1)), f.level - 1, false};
    }
  }
  return static_cast<int>(inside ? PipClass::Inside : PipClass::Outside);
}

} // namespace vela
