#pragma once
// Point-in-polygon classifier built once per polygon and queried per point.
//
// Pip<IntervalPip> indexes every edge of a polygonal geometry (a polygon, a multi-polygon, or a
// collection of them; holes included) by its Y range in an implicit interval tree: the edges sorted by
// their lower Y, each tree node holding the highest upper Y below it. A query visits only the edges
// whose closed Y range holds the point's Y (plus O(log n) tree nodes) and never builds a geometry.
//
// Classification of (x, y):
//   Boundary (2): the point lies exactly on an edge or a vertex. Exact: the side of an edge is decided
//                 by a floating-point filter backed by an exact orientation test.
//   Inside (1):   a ray from the point towards +X crosses the rings an odd number of times, each edge
//                 counted over the half-open Y range [lower, upper), so a vertex on the ray counts once.
//                 Holes are rings like shells, so a point in a hole is outside; for valid multi-polygons
//                 (members with disjoint interiors) this is the union of the members.
//   Outside (0):  otherwise, and for NaN or infinite coordinates.
// Non-zero means "covered by the polygon" (interior or boundary).
//
// The edge array is charged to a RamPool for the classifier's lifetime. Queries are const and safe to
// run concurrently.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <geos/geom/Geometry.h>

#include "base/RamPool.h"

namespace vela {

/// Index strategy tag: edges in an implicit interval tree over their Y ranges.
struct IntervalPip {};

enum class PipClass : int { Outside = 0, Inside = 1, Boundary = 2 };

template <class Strategy>
class Pip;

template <>
class Pip<IntervalPip> {
public:
  /// Indexes the rings of `polygonal`. Anything that is not made only of polygons (empty members
  /// allowed) is refused with a VelaException; edges with a NaN coordinate are left out. The index is
  /// charged to `pool` (nullptr: the default pool); a pool refusal throws and nothing stays reserved.
  explicit Pip(const geos::geom::Geometry& polygonal, RamPool* pool = nullptr);
  ~Pip();
  Pip(Pip&& other) noexcept;
  Pip& operator=(Pip&&) = delete;
  Pip(const Pip&) = delete;
  Pip& operator=(const Pip&) = delete;

  /// 0 outside, 1 inside, 2 on the boundary (PipClass values).
  int classify(double x, double y) const noexcept;

  std::size_t edgeCount() const noexcept { return m_edges.size(); }
  std::size_t reservedBytes() const noexcept { return m_reserved; }

private:
  struct Edge {
    double xLow, yLow;   // the endpoint with the lower Y (either one when horizontal)
    double xHigh, yHigh; // the other endpoint
    double maxYBelow;    // highest yHigh in this node's subtree of the implicit tree
  };

  void buildTree() noexcept;

  RamPool* m_pool;
  std::vector<Edge> m_edges; // sorted by yLow
  std::size_t m_reserved = 0;
  int m_topLevel = -1; // level of the root of the implicit tree; -1 when there are no edges
};

} // namespace vela
