// Polygon fill on the H3 grid: the cells whose centres lie inside a polygon. Containment is a
// ray cast in latitude/longitude with the polygon's bounding box as a first filter; a loop whose edges
// cross the antimeridian (a longitude step over 180 degrees) is handled by shifting negative
// longitudes by 360 degrees. A loop that winds around a pole has no latitude/longitude interior that
// a ray cast can describe and is refused (Failed).
//
// Candidates come from a descent of the cell hierarchy from the 122 base cells: a cell's descendants'
// centres stay within reachRads(res) of its centre, so a cell whose reach misses the bounding box is
// pruned with its whole family. The descent visits base cells and digits in ascending order, so the
// result comes out sorted.
#include <algorithm>
#include <cmath>
#include <limits>

#include "base/H3Core.h"

namespace vela::h3 {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;
constexpr double kHalfPi = kPi / 2;

struct BBox {
  double north, south, east, west; // radians; east < west when the box crosses the antimeridian
  bool transmeridian;
};

double normalizeLng(double lng, bool transmeridian) {
  return transmeridian && lng < 0 ? lng + kTwoPi : lng;
}

BBox bboxFromLoop(const GeoLoop& loop) {
  BBox b{-std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
         -std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), false};
  double minPosLng = std::numeric_limits<double>::max();
  double maxNegLng = -std::numeric_limits<double>::max();
  for (int i = 0; i < loop.numVerts; ++i) {
    const LatLng& p = loop.verts[i];
    const LatLng& q = loop.verts[(i + 1) % loop.numVerts];
    b.south = std::min(b.south, p.lat);
    b.north = std::max(b.north, p.lat);
    b.west = std::min(b.west, p.lng);
    b.east = std::max(b.east, p.lng);
    if (p.lng > 0 && p.lng < minPosLng) {
      minPosLng = p.lng;
    }
    if (p.lng < 0 && p.lng > maxNegLng) {
      maxNegLng = p.lng;
    }
    if (std::fabs(p.lng - q.lng) > kPi) {
      b.transmeridian = true;
    }
  }
  if (b.transmeridian) {
    b.east = maxNegLng;
    b.west = minPosLng;
  }
  return b;
}

bool bboxContains(const BBox& b, const LatLng& p) {
  return p.lat >= b.south && p.lat <= b.north &&
         (b.transmeridian ? (p.lng >= b.west || p.lng <= b.east) : (p.lng >= b.west && p.lng <= b.east));
}

bool pointInsideLoop(const GeoLoop& loop, const BBox& bbox, const LatLng& p) {
  if (!bboxContains(bbox, p)) {
    return false;
  }
  const bool tm = bbox.transmeridian;
  bool contains = false;
  const double lat = p.lat;
  double lng = normalizeLng(p.lng, tm);
  for (int i = 0; i < loop.numVerts; ++i) {
    LatLng a = loop.verts[i];
    LatLng b = loop.verts[(i + 1) % loop.numVerts];
    // the ray is cast eastwards; orient the edge from south to north
    if (a.lat > b.lat) {
      std::swap(a, b);
    }
    if (lat < a.lat || lat > b.lat) {
      continue;
    }
    const double aLng = normalizeLng(a.lng, tm);
    const double bLng = normalizeLng(b.lng, tm);
    // a point level with a vertex is nudged west so that the vertex counts for one edge only
    if (aLng == lng || bLng == lng) {
      lng -= std::numeric_limits<double>::epsilon();
    }
    const double ratio = (lat - a.lat) / (b.lat - a.lat);
    const double testLng = normalizeLng(aLng + (bLng - aLng) * ratio, tm);
    if (testLng > lng) {
      contains = !contains;
    }
  }
  return contains;
}

// Angle swept in longitude around the loop: about +-2 pi for a loop around a pole, else about 0.
double lngWinding(const GeoLoop& loop) {
  double sum = 0;
  for (int i = 0; i < loop.numVerts; ++i) {
    double d = loop.verts[(i + 1) % loop.numVerts].lng - loop.verts[i].lng;
    while (d > kPi) {
      d -= kTwoPi;
    }
    while (d <= -kPi) {
      d += kTwoPi;
    }
    sum += d;
  }
  return sum;
}

// Upper bound (radians) on the distance from a cell's centre to the centre of any of its descendants:
// twice the sum of the centre spacings of the finer resolutions, bounded using the resolution-0
// gnomonic unit (the gnomonic projection never shrinks distances).
double reachRads(int res) {
  return 0.5 / std::pow(std::sqrt(7.0), res);
}

// Whether the spherical cap of radius `r` around `c` can meet the bounding box.
bool capMeetsBox(const LatLng& c, double r, const BBox& b) {
  if (c.lat - r > b.north || c.lat + r < b.south) {
    return false;
  }
  if (std::fabs(c.lat) + r >= kHalfPi - 1e-9) {
    return true; // the cap reaches a pole: every longitude
  }
  const double s = std::sin(r) / std::cos(std::fabs(c.lat) + r);
  if (s >= 1.0) {
    return true;
  }
  const double dlng = std::asin(s);
  // circular distance from the centre's longitude to the box's longitude interval
  const double west = b.west;
  const double east = b.transmeridian ? b.east + kTwoPi : b.east;
  double lng = c.lng;
  while (lng < west) {
    lng += kTwoPi;
  }
  if (lng <= east) {
    return true;
  }
  const double toEast = lng - east;
  const double toWest = west + kTwoPi - lng;
  return std::min(toEast, toWest) <= dlng;
}

// Bounding boxes computed once per polygon.
struct PreparedPolygon {
  const GeoPolygon& polygon;
  BBox outer;
  ManagedBuffer<BBox, 8> holes;

  explicit PreparedPolygon(const GeoPolygon& p, RamPool* pool = nullptr)
      : polygon(p), outer(bboxFromLoop(p.outer)),
        holes(static_cast<std::size_t>(std::max(0, p.numHoles)), pool) {
    for (int i = 0; i < p.numHoles; ++i) {
      holes[i] = bboxFromLoop(p.holes[i]);
    }
  }
  bool contains(const LatLng& p) const {
    if (polygon.outer.numVerts < 3 || !pointInsideLoop(polygon.outer, outer, p)) {
      return false;
    }
    for (int i = 0; i < polygon.numHoles; ++i) {
      const GeoLoop& hole = polygon.holes[i];
      if (hole.numVerts >= 3 && pointInsideLoop(hole, holes[i], p)) {
        return false;
      }
    }
    return true;
  }
};

} // namespace

bool pointInsidePolygon(const GeoPolygon& polygon, const LatLng& p) {
  return PreparedPolygon(polygon).contains(p);
}

H3Error maxPolygonToCellsSize(const GeoPolygon& polygon, int res, std::int64_t& out) {
  if (res < 0 || res > kMaxRes) {
    return H3Error::ResDomain;
  }
  const GeoLoop& loop = polygon.outer;
  // Coordinates beyond a million radians are refused with the non-finite ones: the walks below step
  // longitudes by 2 pi, which does not change a number near 1e308 (the step would never end).
  const auto usable = [](double v) { return std::fabs(v) <= 1e6; };
  for (int i = 0; i < loop.numVerts; ++i) {
    if (!usable(loop.verts[i].lat) || !usable(loop.verts[i].lng)) {
      return H3Error::LatLngDomain;
    }
  }
  for (int h = 0; h < polygon.numHoles; ++h) {
    for (int i = 0; i < polygon.holes[h].numVerts; ++i) {
      if (!usable(polygon.holes[h].verts[i].lat) || !usable(polygon.holes[h].verts[i].lng)) {
        return H3Error::LatLngDomain;
      }
    }
  }
  if (loop.numVerts < 3) {
    out = 0;
    return H3Error::Success;
  }
  if (std::fabs(lngWinding(loop)) > kPi) {
    return H3Error::Failed;
  }
  const BBox b = bboxFromLoop(loop);
  // Cells counted have centres in the box, so they lie inside the box grown by a cell's reach.
  const double grow = reachRads(res);
  const double north = std::min(kHalfPi, b.north + grow);
  const double south = std::max(-kHalfPi, b.south - grow);
  const double maxAbsLat = std::max(std::fabs(north), std::fabs(south));
  double lngSpan = (b.transmeridian ? b.east + kTwoPi - b.west : b.east - b.west);
  lngSpan = maxAbsLat >= kHalfPi - 1e-9 ? kTwoPi : std::min(kTwoPi, lngSpan + 2 * grow / std::cos(maxAbsLat));
  const double area = lngSpan * (std::sin(north) - std::sin(south)); // steradians
  // No cell is smaller than a third of the mean cell area (4 pi / cell count).
  const double cells = 2.0 + 120.0 * std::pow(7.0, res);
  const double minCellArea = 4 * kPi / cells / 3.0;
  const double estimate = std::ceil(area / minCellArea) + 12.0;
  if (!(estimate <= static_cast<double>(kMaxPolygonCells))) {
    return H3Error::MemoryBounds;
  }
  out = std::min(static_cast<std::int64_t>(estimate), static_cast<std::int64_t>(cells));
  return H3Error::Success;
}

H3Error polygonToCells(const GeoPolygon& polygon, int res, ManagedBuffer<H3Index, 8>& out) {
  std::int64_t estimate = 0;
  if (const H3Error e = maxPolygonToCellsSize(polygon, res, estimate); e != H3Error::Success) {
    return e;
  }
  out.clear();
  if (estimate == 0) {
    return H3Error::Success;
  }
  out.reserve(static_cast<std::size_t>(estimate)); // charged before the walk
  const PreparedPolygon prepared(polygon, out.pool());
  const BBox& box = prepared.outer;
  // Explicit stack: the base cells, then at most 7 pending siblings per finer level.
  H3Index stack[kNumBaseCells + 7 * kMaxRes];
  int top = 0;
  for (int bc = kNumBaseCells - 1; bc >= 0; --bc) {
    // resolution-0 cell of base cell bc: mode 1, res 0, all digits 7
    stack[top++] = (H3Index{1} << 59) | (H3Index(bc) << 45) | 35184372088831ULL;
  }
  std::size_t n = 0;
  while (top > 0) {
    const H3Index h = stack[--top];
    LatLng c;
    cellToLatLng(h, c);
    const int r = getResolution(h);
    if (r == res) {
      if (prepared.contains(c)) {
        if (n == out.capacity()) {
          out.reserve(out.capacity() * 2);
        }
        out.resize(n + 1);
        out[n++] = h;
      }
      continue;
    }
    if (!capMeetsBox(c, reachRads(r), box)) {
      continue;
    }
    // children pushed in descending digit order so that they pop ascending
    const bool pent = isPentagon(h);
    H3Index child = h;
    cellToCenterChild(h, r + 1, child);
    const int shift = (kMaxRes - (r + 1)) * 3;
    for (int d = 6; d >= 0; --d) {
      if (pent && d == 1) {
        continue;
      }
      stack[top++] = (child & ~(H3Index{7} << shift)) | (H3Index(d) << shift);
    }
  }
  return H3Error::Success;
}

} // namespace vela::h3
