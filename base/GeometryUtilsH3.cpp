// GeometryUtils' H3 entry points: argument checks, degree/radian conversion, geometries to and from
// cells, the list size caps, and the per-call memo of lists for the "n-th cell" functions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <geos/geom/CoordinateArraySequence.h>
#include <geos/geom/LinearRing.h>
#include <geos/geom/MultiPolygon.h>
#include <geos/geom/Point.h>
#include <geos/geom/Polygon.h>

#include "base/CallContext.h"
#include "base/GeometryUtils.h"
#include "base/H3Core.h"
#include "base/ManagedGeometryPtr.h"
#include "base/VelaException.h"

namespace vela {

namespace {

using h3::H3Error;
using h3::H3Index;
using GeometryPtr = GeometryUtils::GeometryPtr;

constexpr double kRadPerDeg = 3.14159265358979323846 / 180.0;

[[noreturn]] void throwTooLarge(const char* function, std::int64_t cells) {
  throw VelaException(VelaWhat::ResourceExhausted,
                      std::string("GeometryUtils::") + function + ": the result would hold " +
                          (cells < 0 ? std::string("too many") : std::to_string(cells)) +
                          " cells, more than the limit of " + std::to_string(GeometryUtils::kMaxH3ListCells));
}

geos::geom::Coordinate toCoordinate(const h3::LatLng& g) {
  return geos::geom::Coordinate(g.lng / kRadPerDeg, g.lat / kRadPerDeg);
}

// Loops of one polygon converted to radians; the closing vertex is dropped (the fill closes loops).
struct PolygonLoops {
  std::vector<std::vector<h3::LatLng>> loops; // [0] the shell
  std::vector<h3::GeoLoop> holes;
  h3::GeoPolygon polygon{};

  explicit PolygonLoops(const geos::geom::Polygon& p) {
    add(*p.getExteriorRing());
    for (std::size_t i = 0; i < p.getNumInteriorRing(); ++i) {
      add(*p.getInteriorRingN(i));
    }
    polygon.outer = {loops[0].data(), static_cast<int>(loops[0].size())};
    for (std::size_t i = 1; i < loops.size(); ++i) {
      holes.push_back({loops[i].data(), static_cast<int>(loops[i].size())});
    }
    polygon.holes = holes.data();
    polygon.numHoles = static_cast<int>(holes.size());
  }
  void add(const geos::geom::LinearRing& ring) {
    std::vector<h3::LatLng> pts;
    const auto* seq = ring.getCoordinatesRO();
    for (std::size_t i = 0; i < seq->size(); ++i) {
      const geos::geom::Coordinate& c = seq->getAt(i);
      pts.push_back({c.y * kRadPerDeg, c.x * kRadPerDeg});
    }
    if (pts.size() > 1 && pts.front().lat == pts.back().lat && pts.front().lng == pts.back().lng) {
      pts.pop_back();
    }
    loops.push_back(std::move(pts));
  }
};

// The polygons of a polygonal geometry; false for anything else.
bool polygonsOf(const geos::geom::Geometry* g, std::vector<const geos::geom::Polygon*>& out) {
  if (g == nullptr) {
    return false;
  }
  if (const auto* p = dynamic_cast<const geos::geom::Polygon*>(g)) {
    if (!p->isEmpty()) {
      out.push_back(p);
    }
    return true;
  }
  if (const auto* mp = dynamic_cast<const geos::geom::MultiPolygon*>(g)) {
    for (std::size_t i = 0; i < mp->getNumGeometries(); ++i) {
      const auto* p = static_cast<const geos::geom::Polygon*>(mp->getGeometryN(i));
      if (!p->isEmpty()) {
        out.push_back(p);
      }
    }
    return true;
  }
  return false;
}

// Fills `out` (ascending, without duplicates across the parts of a multi-polygon). Returns false for a
// NULL result; throws above the size cap.
bool polygonFill(const geos::geom::Geometry* g, int resolution, GeometryUtils::H3CellList& out) {
  std::vector<const geos::geom::Polygon*> parts;
  if (!polygonsOf(g, parts) || resolution < 0 || resolution > h3::kMaxRes) {
    return false;
  }
  out.clear();
  // Sizes first: the estimate of every part is checked against the cap before any fill allocates.
  std::int64_t total = 0;
  for (const auto* p : parts) {
    PolygonLoops loops(*p);
    std::int64_t estimate = 0;
    const H3Error e = h3::maxPolygonToCellsSize(loops.polygon, resolution, estimate);
    if (e == H3Error::MemoryBounds) {
      throwTooLarge("h3PolygonToCells", -1);
    }
    if (e != H3Error::Success) {
      return false;
    }
    total += estimate;
    if (total > GeometryUtils::kMaxH3ListCells) {
      throwTooLarge("h3PolygonToCells", total);
    }
  }
  for (const auto* p : parts) {
    PolygonLoops loops(*p);
    GeometryUtils::H3CellList cells;
    if (h3::polygonToCells(loops.polygon, resolution, cells) != H3Error::Success) {
      return false;
    }
    if (out.empty()) {
      out = std::move(cells);
      continue;
    }
    const std::size_t before = out.size();
    out.reserve(before + cells.size());
    out.resize(before + cells.size());
    std::copy(cells.begin(), cells.end(), out.begin() + static_cast<std::ptrdiff_t>(before));
    std::inplace_merge(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(before), out.end());
    out.resize(static_cast<std::size_t>(std::unique(out.begin(), out.end()) - out.begin()));
  }
  return true;
}

// Per-call memo of lists for the n-th-cell functions, keyed by the arguments' values (cell and k, or
// the polygon's 128-bit hash and resolution). A NULL result is memoised as an absent list. Entries stay
// for the call; past kMaxH3CacheEntries lists are computed and not kept.
// The list is pool-charged on its own, so the cache entry declares no extra bytes.
struct MemoList {
  bool isNull = false;
  GeometryUtils::H3CellList cells;
};

template <class Compute>
const MemoList& memoised(EvaluatorCache* cache, const std::string& key, MemoList& local, Compute&& compute) {
  if (cache != nullptr) {
    if (const MemoList* hit = cache->get<MemoList>(key)) {
      return *hit;
    }
  }
  compute(local);
  if (cache != nullptr && cache->size() < GeometryUtils::kMaxH3CacheEntries) {
    // a racing task may have stored the same key first; its list is equal
    cache->put<MemoList>(key, std::move(local));
    if (const MemoList* stored = cache->get<MemoList>(key)) {
      return *stored;
    }
  }
  return local;
}

std::string polygonKey(const char* kind, const geos::geom::Geometry* g, int resolution) {
  const Hash128 h = GeometryUtils::hash128(g, nullptr);
  char buf[96];
  std::snprintf(buf, sizeof buf, "h3.%s:%016llx%016llx:%d", kind, static_cast<unsigned long long>(h.h1),
                static_cast<unsigned long long>(h.h2), resolution);
  return buf;
}

} // namespace

GeometryPtr GeometryUtils::createGeometryFromH3(std::uint64_t cell, bool& isNull) {
  h3::CellBoundary b;
  if (h3::cellToBoundary(cell, b) != H3Error::Success) {
    isNull = true;
    return nullptr;
  }
  std::vector<geos::geom::Coordinate> coords;
  coords.reserve(static_cast<std::size_t>(b.numVerts) + 1);
  for (int i = 0; i < b.numVerts; ++i) {
    coords.push_back(toCoordinate(b.verts[i]));
  }
  coords.push_back(coords.front());
  const auto& f = sharedGeometryFactory();
  auto shell = f.createLinearRing(new geos::geom::CoordinateArraySequence(std::move(coords), 2));
  return GeometryPtr(f.createPolygon(shell, nullptr));
}

GeometryPtr GeometryUtils::createGeometryXYFromH3(std::uint64_t cell, bool& isNull) {
  h3::LatLng c;
  if (h3::cellToLatLng(cell, c) != H3Error::Success) {
    isNull = true;
    return nullptr;
  }
  return GeometryPtr(sharedGeometryFactory().createPoint(toCoordinate(c)));
}

std::uint64_t GeometryUtils::createH3FromGeometry(const Geometry* g, int resolution, bool& isNull) {
  const auto* p = dynamic_cast<const geos::geom::Point*>(g);
  H3Index h = 0;
  if (p == nullptr || p->isEmpty() ||
      h3::latLngToCell({p->getY() * kRadPerDeg, p->getX() * kRadPerDeg}, resolution, h) != H3Error::Success) {
    isNull = true;
    return 0;
  }
  return h;
}

std::uint64_t GeometryUtils::createH3FromXY(double x, double y, int resolution) {
  H3Index h = 0;
  return h3::latLngToCell({y * kRadPerDeg, x * kRadPerDeg}, resolution, h) == H3Error::Success ? h : 0;
}

std::uint64_t GeometryUtils::h3CellToCenterChild(std::uint64_t cell, int resolution) {
  H3Index h = 0;
  return h3::isValidCell(cell) && h3::cellToCenterChild(cell, resolution, h) == H3Error::Success ? h : 0;
}

std::uint64_t GeometryUtils::h3CellToChildN(std::uint64_t cell, int resolution, std::int64_t n) {
  H3Index h = 0;
  return h3::isValidCell(cell) && h3::childPosToCell(n, cell, resolution, h) == H3Error::Success ? h : 0;
}

std::int64_t GeometryUtils::h3CellToChildPos(std::uint64_t cell, int resolution) {
  std::int64_t pos = 0;
  return h3::isValidCell(cell) && h3::cellToChildPos(cell, resolution, pos) == H3Error::Success ? pos : -1;
}

GeometryUtils::H3CellList GeometryUtils::h3CellToChildren(std::uint64_t cell, int resolution, bool& isNull) {
  H3CellList out;
  std::int64_t count = 0;
  if (!h3::isValidCell(cell) || h3::cellToChildrenSize(cell, resolution, count) != H3Error::Success) {
    isNull = true;
    return out;
  }
  if (count > kMaxH3ListCells) {
    throwTooLarge("h3CellToChildren", count);
  }
  if (h3::cellToChildren(cell, resolution, out) != H3Error::Success) {
    isNull = true;
    out.clear();
  }
  return out;
}

std::int64_t GeometryUtils::h3CellToChildrenSize(std::uint64_t cell, int resolution) {
  std::int64_t n = 0;
  return h3::isValidCell(cell) && h3::cellToChildrenSize(cell, resolution, n) == H3Error::Success ? n : -1;
}

std::uint64_t GeometryUtils::h3CellToFirstChild(std::uint64_t cell, int resolution) {
  H3Index h = 0;
  return h3::isValidCell(cell) && h3::cellToFirstChild(cell, resolution, h) == H3Error::Success ? h : 0;
}

std::uint64_t GeometryUtils::h3CellToLastChild(std::uint64_t cell, int resolution) {
  H3Index h = 0;
  return h3::isValidCell(cell) && h3::cellToLastChild(cell, resolution, h) == H3Error::Success ? h : 0;
}

std::uint64_t GeometryUtils::h3ChildPosToCell(std::int64_t position, std::uint64_t parent, int resolution) {
  return h3CellToChildN(parent, resolution, position);
}

namespace {

// The cells within (gridDisk) or at (gridRing) grid distance k of a valid cell: null for an invalid
// cell, a negative k or a walk the grid refuses; lists longer than the cap end the call. The ring is
// bounded by the disk's size, which is the check made before any cell is produced.
template <class Walk>
GeometryUtils::H3CellList boundedCellList(std::uint64_t cell, int k, bool& isNull, const char* name,
                                          Walk walk) {
  GeometryUtils::H3CellList out;
  std::int64_t size = 0;
  if (!h3::isValidCell(cell) || h3::maxGridDiskSize(k, size) != H3Error::Success) {
    isNull = true;
    return out;
  }
  if (size > GeometryUtils::kMaxH3ListCells)
    throwTooLarge(name, size);
  if (walk(cell, k, out) != H3Error::Success) {
    isNull = true;
    out.clear();
  }
  return out;
}

} // namespace

GeometryUtils::H3CellList GeometryUtils::h3GridDisk(std::uint64_t cell, int k, bool& isNull) {
  return boundedCellList(cell, k, isNull, "h3GridDisk",
                         [](std::uint64_t c, int d, H3CellList& out) { return h3::gridDisk(c, d, out); });
}

std::uint64_t GeometryUtils::h3GridDiskN(std::uint64_t cell, int k, int n, bool& isNull,
                                         EvaluatorCache* cache) {
  MemoList local;
  const MemoList& m = memoised(cache, "h3.disk:" + std::to_string(cell) + ":" + std::to_string(k), local,
                               [&](MemoList& into) { into.cells = h3GridDisk(cell, k, into.isNull); });
  if (m.isNull || n < 0 || static_cast<std::size_t>(n) >= m.cells.size()) {
    isNull = true;
    return 0;
  }
  return m.cells[static_cast<std::size_t>(n)];
}

GeometryUtils::H3CellList GeometryUtils::h3GridRing(std::uint64_t cell, int k, bool& isNull) {
  return boundedCellList(cell, k, isNull, "h3GridRing",
                         [](std::uint64_t c, int d, H3CellList& out) { return h3::gridRing(c, d, out); });
}

std::int64_t GeometryUtils::h3NumGridDisk(std::uint64_t cell, int k, EvaluatorCache* cache) {
  std::int64_t size = 0;
  if (!h3::isValidCell(cell) || h3::maxGridDiskSize(k, size) != H3Error::Success) {
    return -1;
  }
  MemoList local;
  const MemoList& m = memoised(cache, "h3.disk:" + std::to_string(cell) + ":" + std::to_string(k), local,
                               [&](MemoList& into) { into.cells = h3GridDisk(cell, k, into.isNull); });
  return m.isNull ? -1 : static_cast<std::int64_t>(m.cells.size());
}

void GeometryUtils::convertH3ToChar16(std::uint64_t cell, char* out) {
  char text[17];
  const int n = h3::h3ToString(cell, text);
  std::memset(out, 0, 16);
  std::memcpy(out, text, static_cast<std::size_t>(std::min(n, 16)));
}

std::string GeometryUtils::convertH3ToString(std::uint64_t cell) {
  char text[17];
  const int n = h3::h3ToString(cell, text);
  return std::string(text, static_cast<std::size_t>(n));
}

std::uint64_t GeometryUtils::convertStringToH3(std::string_view text) {
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  H3Index h = 0;
  return h3::stringToH3(text.data(), text.size(), h) == H3Error::Success ? h : 0;
}

GeometryUtils::H3CellList GeometryUtils::h3PolygonToCells(const Geometry* g, int resolution, bool& isNull) {
  H3CellList out;
  if (!polygonFill(g, resolution, out)) {
    isNull = true;
    out.clear();
  }
  return out;
}

std::uint64_t GeometryUtils::h3PolygonToCellsN(const Geometry* g, int resolution, int n, bool& isNull,
                                               EvaluatorCache* cache) {
  if (g == nullptr) {
    isNull = true;
    return 0;
  }
  MemoList local;
  const MemoList& m = memoised(cache, polygonKey("fill", g, resolution), local, [&](MemoList& into) {
    into.cells = h3PolygonToCells(g, resolution, into.isNull);
  });
  if (m.isNull || n < 0 || static_cast<std::size_t>(n) >= m.cells.size()) {
    isNull = true;
    return 0;
  }
  return m.cells[static_cast<std::size_t>(n)];
}

std::int64_t GeometryUtils::h3NumPolygonToCells(const Geometry* g, int resolution, EvaluatorCache* cache) {
  if (g == nullptr) {
    return -1;
  }
  MemoList local;
  const MemoList& m = memoised(cache, polygonKey("fill", g, resolution), local, [&](MemoList& into) {
    into.cells = h3PolygonToCells(g, resolution, into.isNull);
  });
  return m.isNull ? -1 : static_cast<std::int64_t>(m.cells.size());
}

} // namespace vela
