#include "base/GeometryUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>
#include <utility>

#include <GeographicLib/AzimuthalEquidistant.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicLine.hpp>
#include <GeographicLib/PolygonArea.hpp>
#include <geos/algorithm/Area.h>
#include <geos/algorithm/Distance.h>
#include <geos/algorithm/PointLocation.h>
#include <geos/algorithm/hull/ConcaveHull.h>
#include <geos/geom/CoordinateArraySequence.h>
#include <geos/geom/CoordinateSequenceFilter.h>
#include <geos/geom/GeometryCollection.h>
#include <geos/geom/LineSegment.h>
#include <geos/geom/LineString.h>
#include <geos/geom/LinearRing.h>
#include <geos/geom/MultiLineString.h>
#include <geos/geom/MultiPoint.h>
#include <geos/geom/MultiPolygon.h>
#include <geos/geom/Point.h>
#include <geos/geom/Polygon.h>
#include <geos/geom/util/CoordinateOperation.h>
#include <geos/geom/util/Densifier.h>
#include <geos/geom/util/GeometryEditor.h>
#include <geos/geom/util/GeometryFixer.h>
#include <geos/linearref/LengthIndexedLine.h>
#include <geos/operation/buffer/BufferOp.h>
#include <geos/operation/buffer/BufferParameters.h>
#include <geos/operation/distance/DistanceOp.h>
#include <geos/operation/linemerge/LineMerger.h>
#include <geos/operation/overlay/snap/GeometrySnapper.h>
#include <geos/operation/polygonize/Polygonizer.h>
#include <geos/operation/sharedpaths/SharedPathsOp.h>
#include <geos/operation/union/UnaryUnionOp.h>
#include <geos/operation/valid/IsValidOp.h>
#include <geos/operation/valid/MakeValid.h>
#include <geos/simplify/DouglasPeuckerSimplifier.h>
#include <geos/simplify/TopologyPreservingSimplifier.h>
#include <geos/triangulate/DelaunayTriangulationBuilder.h>
#include <geos/triangulate/VoronoiDiagramBuilder.h>
#include <geos/triangulate/polygon/ConstrainedDelaunayTriangulator.h>
#include <geos/util/GEOSException.h>
#include <geos/util/GeometricShapeFactory.h>

#include "base/GeometryCodec.h"
#include "base/Logging.h"
#include "base/ManagedGeometryPtr.h"
#include "base/Sha256.h"
#include "base/VelaException.h"

namespace vela {

namespace {

using geos::geom::Coordinate;
using geos::geom::CoordinateSequence;
using geos::geom::Geometry;
using geos::geom::GeometryTypeId;
using geos::geom::LineString;
using geos::geom::Location;
using geos::geom::Point;
using geos::geom::Polygon;
using GeometryPtr = std::unique_ptr<Geometry>;

constexpr const char* kSourcePath = "base/GeometryUtils";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

[[noreturn]] void refuse(int line, const char* function, const std::string& message) {
  throw VelaException(
      VelaWhat::Evaluation, locationSuffix(kSourcePath, line),
      Status(StatusEnum::InvalidArgument, std::string("GeometryUtils::") + function + ": " + message));
}

// Runs f, turning every exception of the geometry library (all derive from the standard runtime and
// logic errors) into a VelaException that names the function. VelaException and std::bad_alloc pass.
template <class F>
auto guarded(const char* function, int line, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const std::runtime_error& e) {
    throw VelaException(
        VelaWhat::Evaluation, locationSuffix(kSourcePath, line),
        Status(StatusEnum::EvaluationError, std::string("GeometryUtils::") + function + ": " + e.what()));
  } catch (const std::logic_error& e) {
    throw VelaException(
        VelaWhat::Evaluation, locationSuffix(kSourcePath, line),
        Status(StatusEnum::EvaluationError, std::string("GeometryUtils::") + function + ": " + e.what()));
  }
}

const geos::geom::GeometryFactory& factory() {
  return sharedGeometryFactory();
}

// Results of the geometry library are built by the factory of their first input; a geometry from
// another factory is copied onto the shared one so that every result has the same owner.
GeometryPtr onShared(GeometryPtr g) {
  if (g && g->getFactory() != &factory())
    return GeometryPtr(factory().createGeometry(g.get()));
  return g;
}

GeometryPtr copyOf(const Geometry& g) {
  return onShared(g.clone());
}

GeoMetric checkMetric(int metric, const char* function) {
  if (metric < 0 || metric > 2)
    refuse(__LINE__, function,
           "unknown metric " + std::to_string(metric) + " (0 planar, 1 sphere, 2 WGS84 spheroid)");
  return static_cast<GeoMetric>(metric);
}

const GeographicLib::Geodesic& geodesicOf(GeoMetric metric) {
  static const GeographicLib::Geodesic sphere(GeometryUtils::kEarthMeanRadiusMeters, 0.0);
  return metric == GeoMetric::Sphere ? sphere : GeographicLib::Geodesic::WGS84();
}

bool isPoint(const Geometry* g) {
  return g != nullptr && g->getGeometryTypeId() == GeometryTypeId::GEOS_POINT && !g->isEmpty();
}

bool isLine(const Geometry* g) {
  return g != nullptr && (g->getGeometryTypeId() == GeometryTypeId::GEOS_LINESTRING ||
                          g->getGeometryTypeId() == GeometryTypeId::GEOS_LINEARRING);
}

bool isCollectionType(const Geometry& g) {
  const auto id = g.getGeometryTypeId();
  return id == GeometryTypeId::GEOS_MULTIPOINT || id == GeometryTypeId::GEOS_MULTILINESTRING ||
         id == GeometryTypeId::GEOS_MULTIPOLYGON || id == GeometryTypeId::GEOS_GEOMETRYCOLLECTION;
}

const Coordinate& pointCoordinate(const Geometry& g) {
  return *static_cast<const Point&>(g).getCoordinate();
}

// Role of a coordinate list met by forEachPart.
enum class Part { Line, Shell, Hole };

// Walks the leaves of g without recursion: onPoint(coordinate) for every non-empty point,
// onLine(sequence, part) for every non-empty line string, ring or polygon ring.
template <class OnPoint, class OnLine>
void forEachPart(const Geometry& g, OnPoint&& onPoint, OnLine&& onLine) {
  // Visits one geometry; true for a non-empty collection, whose members are to be walked.
  const auto visit = [&](const Geometry& cur) {
    if (cur.isEmpty())
      return false;
    switch (cur.getGeometryTypeId()) {
    case GeometryTypeId::GEOS_POINT:
      onPoint(pointCoordinate(cur));
      return false;
    case GeometryTypeId::GEOS_LINESTRING:
    case GeometryTypeId::GEOS_LINEARRING:
      onLine(*static_cast<const LineString&>(cur).getCoordinatesRO(), Part::Line);
      return false;
    case GeometryTypeId::GEOS_POLYGON: {
      const auto& p = static_cast<const Polygon&>(cur);
      onLine(*p.getExteriorRing()->getCoordinatesRO(), Part::Shell);
      for (std::size_t i = 0; i < p.getNumInteriorRing(); ++i)
        if (!p.getInteriorRingN(i)->isEmpty())
          onLine(*p.getInteriorRingN(i)->getCoordinatesRO(), Part::Hole);
      return false;
    }
    default:
      return true;
    }
  };
  if (!visit(g))
    return; // a single part (the common row): no stack to allocate
  std::vector<const Geometry*> pending;
  const auto pushMembers = [&](const Geometry& c) {
    for (std::size_t i = c.getNumGeometries(); i-- > 0;)
      pending.push_back(c.getGeometryN(i));
  };
  pushMembers(g);
  while (!pending.empty()) {
    const Geometry* cur = pending.back();
    pending.pop_back();
    if (visit(*cur))
      pushMembers(*cur);
  }
}

// Every vertex of g (points and line vertices), in order.
std::vector<Coordinate> vertices(const Geometry& g) {
  std::vector<Coordinate> out;
  forEachPart(
      g, [&](const Coordinate& c) { out.push_back(c); },
      [&](const CoordinateSequence& s, Part) {
        for (std::size_t i = 0; i < s.size(); ++i)
          out.push_back(s.getAt(i));
      });
  return out;
}

// Calls fn on every member of g that is not a collection (g itself when it is none), in order, nested
// collections included (walked with an explicit stack).
template <class Fn>
void forEachAtomic(const Geometry& g, Fn&& fn) {
  std::vector<const Geometry*> pending{&g};
  while (!pending.empty()) {
    const Geometry* cur = pending.back();
    pending.pop_back();
    if (isCollectionType(*cur))
      for (std::size_t i = cur->getNumGeometries(); i-- > 0;)
        pending.push_back(cur->getGeometryN(i));
    else
      fn(*cur);
  }
}

// Copies of the polygons of g (members of multi-polygons and collections included).
void collectPolygons(const Geometry& g, std::vector<std::unique_ptr<Geometry>>& out) {
  forEachAtomic(g, [&](const Geometry& part) {
    if (part.getGeometryTypeId() == GeometryTypeId::GEOS_POLYGON && !part.isEmpty())
      out.push_back(copyOf(part));
  });
}

// Where (x, y) lies relative to g, as the predicates see it: the boundary of an areal part is all of its
// rings (so a vertex shared by two members of a multi-polygon is on the boundary), the boundary of the
// linear parts is the set of line ends met an odd number of times (closed lines have none), and a
// point's boundary is empty.
Location locateXYUnguarded(double x, double y, const Geometry* g) {
  if (g == nullptr || g->isEmpty() || std::isnan(x) || std::isnan(y))
    return Location::EXTERIOR;
  const Coordinate p(x, y);
  if (!g->getEnvelopeInternal()->covers(&p))
    return Location::EXTERIOR;
  bool interior = false, areaBoundary = false;
  int lineEnds = 0;
  std::vector<const Geometry*> pending{g};
  while (!pending.empty()) {
    const Geometry* cur = pending.back();
    pending.pop_back();
    if (cur->isEmpty() || !cur->getEnvelopeInternal()->covers(&p))
      continue;
    switch (cur->getGeometryTypeId()) {
    case GeometryTypeId::GEOS_POINT:
      interior = interior || pointCoordinate(*cur).equals2D(p);
      break;
    case GeometryTypeId::GEOS_LINESTRING:
    case GeometryTypeId::GEOS_LINEARRING: {
      const CoordinateSequence* s = static_cast<const LineString*>(cur)->getCoordinatesRO();
      const bool closed = s->getAt(0).equals2D(s->getAt(s->size() - 1));
      if (!closed && (p.equals2D(s->getAt(0)) || p.equals2D(s->getAt(s->size() - 1))))
        ++lineEnds;
      else if (geos::algorithm::PointLocation::isOnLine(p, s))
        interior = true;
      break;
    }
    case GeometryTypeId::GEOS_POLYGON: {
      const auto* poly = static_cast<const Polygon*>(cur);
      Location loc =
          geos::algorithm::PointLocation::locateInRing(p, *poly->getExteriorRing()->getCoordinatesRO());
      for (std::size_t i = 0; loc == Location::INTERIOR && i < poly->getNumInteriorRing(); ++i) {
        const Location hole =
            geos::algorithm::PointLocation::locateInRing(p, *poly->getInteriorRingN(i)->getCoordinatesRO());
        loc = hole == Location::INTERIOR   ? Location::EXTERIOR
              : hole == Location::BOUNDARY ? Location::BOUNDARY
                                           : loc;
      }
      interior = interior || loc == Location::INTERIOR;
      areaBoundary = areaBoundary || loc == Location::BOUNDARY;
      break;
    }
    default:
      for (std::size_t i = 0; i < cur->getNumGeometries(); ++i)
        pending.push_back(cur->getGeometryN(i));
    }
  }
  if (interior && !areaBoundary)
    return Location::INTERIOR;
  if (areaBoundary || lineEnds % 2 == 1)
    return Location::BOUNDARY;
  return interior || lineEnds > 0 ? Location::INTERIOR : Location::EXTERIOR;
}

// The orientation tests of the ring and line walks refuse infinite coordinates (the point's or g's);
// that refusal is the evaluation error the predicates between two geometries give for them too.
Location locateXY(double x, double y, const Geometry* g) {
  return guarded("locateXY", __LINE__, [&] { return locateXYUnguarded(x, y, g); });
}

// ---- Geodesic measures ----------------------------------------------------------------------------

double geoInverse(const GeographicLib::Geodesic& geod, const Coordinate& a, const Coordinate& b) {
  double s12 = kNaN;
  geod.Inverse(a.y, a.x, b.y, b.x, s12);
  return s12;
}

double pointDistance(GeoMetric metric, const Coordinate& a, const Coordinate& b) {
  if (metric == GeoMetric::Planar)
    return std::hypot(a.x - b.x, a.y - b.y);
  return geoInverse(geodesicOf(metric), a, b);
}

bool validLatitude(const Coordinate& c) {
  return std::fabs(c.y) <= 90.0 && !std::isnan(c.x);
}

// ---- Great-circle estimates: cheap brackets that pick the parts worth an exact geodesic solve ----------

struct Vec3 {
  double x, y, z;
};

Vec3 unitOf(const Coordinate& c) {
  const double lat = c.y * (std::numbers::pi / 180.0), lon = c.x * (std::numbers::pi / 180.0);
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}

double dot(const Vec3& u, const Vec3& v) {
  return u.x * v.x + u.y * v.y + u.z * v.z;
}

Vec3 cross(const Vec3& u, const Vec3& v) {
  return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

double norm(const Vec3& u) {
  return std::sqrt(dot(u, u));
}

double angleBetween(const Vec3& u, const Vec3& v) {
  return std::atan2(norm(cross(u, v)), dot(u, v));
}

// Angle from p to the minor great-circle arc a-b: to the foot of the perpendicular when it falls
// inside the arc, else to the nearer end. Nearly antipodal ends have no minor arc: 0, so that such a
// segment is always solved exactly.
double arcAngle(const Vec3& p, const Vec3& a, const Vec3& b) {
  const double ends = std::min(angleBetween(p, a), angleBetween(p, b));
  const Vec3 n = cross(a, b);
  const double length = norm(n);
  if (!(length > 1e-12))
    return dot(a, b) > 0 ? ends : 0.0;
  const Vec3 u{n.x / length, n.y / length, n.z / length};
  const double off = dot(p, u); // sine of p's angle off the great circle
  const Vec3 foot{p.x - off * u.x, p.y - off * u.y, p.z - off * u.z};
  if (dot(cross(a, foot), u) >= 0 && dot(cross(foot, b), u) >= 0)
    return std::min(ends, std::asin(std::min(1.0, std::fabs(off))));
  return ends;
}

// Shortest distance from p to the segment a-b in the metric; `nearest` receives the segment's point.
// Geodesic: a golden-section search along the geodesic a-b, whose distance to p has a single minimum
// along any arc shorter than half a great circle; the ends are always candidates, so an arc whose
// interior holds the farthest point instead still answers with its nearer end.
// A search is skipped when it cannot beat `cutoff`: every point of the arc is at least
// (d(p, a) + d(p, b) - length) / 2 from p, by the triangle inequality through either end.
double segmentDistance(GeoMetric metric, const Coordinate& p, const Coordinate& a, const Coordinate& b,
                       Coordinate& nearest, double cutoff = kInf) {
  if (metric == GeoMetric::Planar) {
    const geos::geom::LineSegment seg(a, b);
    seg.closestPoint(p, nearest);
    return std::hypot(p.x - nearest.x, p.y - nearest.y);
  }
  if (metric == GeoMetric::Sphere && validLatitude(p) && validLatitude(a) && validLatitude(b)) {
    // Closed form on the sphere: the foot of the perpendicular from p to the arc's great circle when it
    // falls inside the arc, else the nearer end. Ends nearly antipodal have no single minor arc and
    // are left to the general search below.
    const Vec3 pv = unitOf(p), av = unitOf(a), bv = unitOf(b);
    const Vec3 n = cross(av, bv);
    const double length = norm(n);
    if (length > 1e-12 || dot(av, bv) > 0) {
      const double toA = angleBetween(pv, av), toB = angleBetween(pv, bv);
      double angle = toA <= toB ? toA : toB;
      nearest = toA <= toB ? a : b;
      if (length > 1e-12) {
        const Vec3 u{n.x / length, n.y / length, n.z / length};
        const double off = dot(pv, u);
        const Vec3 foot{pv.x - off * u.x, pv.y - off * u.y, pv.z - off * u.z};
        const double footLength = norm(foot);
        if (footLength > 0 && dot(cross(av, foot), u) >= 0 && dot(cross(foot, bv), u) >= 0) {
          const double across = std::atan2(std::fabs(off), footLength);
          if (across < angle) {
            angle = across;
            nearest = Coordinate(std::atan2(foot.y, foot.x) * (180.0 / std::numbers::pi),
                                 std::atan2(foot.z, std::hypot(foot.x, foot.y)) * (180.0 / std::numbers::pi));
          }
        }
      }
      return angle * GeometryUtils::kEarthMeanRadiusMeters;
    }
  }
  const auto& geod = geodesicOf(metric);
  const double da = geoInverse(geod, p, a), db = geoInverse(geod, p, b);
  double best = da;
  nearest = a;
  if (db < best || std::isnan(db)) {
    best = db;
    nearest = b;
  }
  if (a.equals2D(b) || std::isnan(best) || std::isnan(da))
    return std::isnan(da) ? da : best;
  const GeographicLib::GeodesicLine line = geod.InverseLine(a.y, a.x, b.y, b.x);
  if ((da + db - line.Distance()) / 2 >= std::min(best, cutoff))
    return best;
  const auto at = [&](double s, Coordinate& c) {
    double lat, lon;
    line.Position(s, lat, lon);
    c = Coordinate(lon, lat);
    return geoInverse(geod, p, c);
  };
  constexpr double kInvPhi = 0.6180339887498949;
  double lo = 0.0, hi = line.Distance();
  double m1 = hi - kInvPhi * (hi - lo), m2 = lo + kInvPhi * (hi - lo);
  Coordinate c1, c2;
  double f1 = at(m1, c1), f2 = at(m2, c2);
  for (int i = 0; i < 80 && hi - lo > 1e-9; ++i) {
    if (f1 <= f2) {
      hi = m2;
      m2 = m1;
      f2 = f1;
      c2 = c1;
      m1 = hi - kInvPhi * (hi - lo);
      f1 = at(m1, c1);
    } else {
      lo = m1;
      m1 = m2;
      f1 = f2;
      c1 = c2;
      m2 = lo + kInvPhi * (hi - lo);
      f2 = at(m2, c2);
    }
  }
  if (f1 < best) {
    best = f1;
    nearest = c1;
  }
  if (f2 < best) {
    best = f2;
    nearest = c2;
  }
  return best;
}

// Bracket of a great-circle estimate `est` (meters, sphere of the mean radius) for the true distance in
// the metric, to a part whose great-circle length is `length`. On the sphere only rounding separates
// them. On the spheroid, read through the same latitudes and longitudes, the radii of curvature lie
// within 0.56 % of the mean radius, so every length, and every shortest distance, is within that
// factor of its value on the sphere. A spheroid geodesic drawn on the sphere is then at most
// 1.0045 / 0.9944 < 1.011 times as long as the great-circle arc between its ends, which keeps it within
// (length / 2) x sqrt(1.011^2 - 1) < 0.08 x length of that arc in the plane, and on the sphere as long
// as the arc spans at most 60 degrees; longer parts are always solved exactly.
double estimateSlack(GeoMetric metric, double est, double length) {
  if (metric == GeoMetric::Sphere)
    return 1e-9 * (est + length) + 1e-6;
  if (length > 6.6e6)
    return kInf;
  return 0.006 * est + 0.08 * length + 1e-3;
}

// The points and segments of a geometry with their unit vectors and great-circle lengths, computed once
// and measured against any number of points.
class GeoParts {
public:
  explicit GeoParts(const Geometry& g) {
    std::size_t count = 0;
    forEachPart(
        g, [&](const Coordinate&) { ++count; },
        [&](const CoordinateSequence& s, Part) { count += s.size() - 1; });
    m_parts.reserve(count);
    forEachPart(
        g, [&](const Coordinate& c) { add(c, c, unitOf(c), unitOf(c)); },
        [&](const CoordinateSequence& s, Part) {
          Vec3 prev = unitOf(s.getAt(0));
          for (std::size_t i = 1; i < s.size(); ++i) {
            const Vec3 cur = unitOf(s.getAt(i));
            add(s.getAt(i - 1), s.getAt(i), prev, cur);
            prev = cur;
          }
        });
  }

  // Nearest distance from p to the parts in a geodesic metric (see nearestToParts).
  double nearest(GeoMetric metric, const Coordinate& p, Coordinate& onG, double cutoff) const {
    if (m_invalid || !validLatitude(p))
      return kNaN;
    const Vec3 pv = unitOf(p);
    const double r = GeometryUtils::kEarthMeanRadiusMeters;
    // Brackets of every part, then the few whose lower end is below every upper end, nearest first.
    std::vector<double> lows(m_parts.size());
    double bestHigh = kInf;
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
      const Item& it = m_parts[i];
      const double est = (it.point ? angleBetween(pv, it.ua) : arcAngle(pv, it.ua, it.ub)) * r;
      const double slack = estimateSlack(metric, est, it.length);
      lows[i] = est - slack;
      bestHigh = std::min(bestHigh, est + slack);
    }
    std::vector<std::pair<double, std::size_t>> order; // (lower end of bracket, part)
    for (std::size_t i = 0; i < m_parts.size(); ++i)
      if (lows[i] <= std::min(bestHigh, cutoff))
        order.emplace_back(lows[i], i);
    std::sort(order.begin(), order.end());
    double best = kInf;
    Coordinate near;
    for (const auto& [low, i] : order) {
      if (low > std::min({bestHigh, best, cutoff}))
        break;
      const Item& it = m_parts[i];
      const double d = it.point ? pointDistance(metric, p, *it.a)
                                : segmentDistance(metric, p, *it.a, *it.b, near, std::min(best, cutoff));
      if (d < best) {
        best = d;
        onG = it.point ? *it.a : near;
      }
    }
    return best;
  }

private:
  struct Item {
    const Coordinate* a; // into g, which outlives this object
    const Coordinate* b;
    Vec3 ua, ub;
    double length; // great-circle length in meters
    bool point;
  };

  void add(const Coordinate& a, const Coordinate& b, const Vec3& ua, const Vec3& ub) {
    m_invalid = m_invalid || !validLatitude(a) || !validLatitude(b);
    const bool point = a.equals2D(b);
    m_parts.push_back(
        {&a, &b, ua, ub, point ? 0.0 : angleBetween(ua, ub) * GeometryUtils::kEarthMeanRadiusMeters, point});
  }

  std::vector<Item> m_parts;
  bool m_invalid = false;
};

// Nearest pair between the point p and the parts of g (points and segments); `onG` gets g's point.
// Geodesic metrics: every part is first measured on the sphere (closed form); only the parts whose
// bracket can hold the minimum are solved exactly.
// Parts that cannot come nearer than `cutoff` are skipped; the result is then at least the cutoff
// (possibly infinite) and onG unset.
double nearestToParts(GeoMetric metric, const Coordinate& p, const Geometry& g, Coordinate& onG,
                      double cutoff = kInf) {
  double best = kInf;
  if (metric == GeoMetric::Planar) {
    forEachPart(
        g,
        [&](const Coordinate& c) {
          const double d = std::hypot(p.x - c.x, p.y - c.y);
          if (d < best || std::isnan(d)) {
            best = std::isnan(best) ? best : d;
            onG = c;
          }
        },
        [&](const CoordinateSequence& s, Part) {
          Coordinate near;
          for (std::size_t i = 1; i < s.size(); ++i) {
            const double d = segmentDistance(metric, p, s.getAt(i - 1), s.getAt(i), near);
            if (d < best || std::isnan(d)) {
              best = std::isnan(best) ? best : d;
              onG = near;
            }
          }
        });
    return best;
  }
  const GeoParts parts(g);
  return parts.nearest(metric, p, onG, cutoff);
}

struct NearestPair {
  double distance = kInf;
  Coordinate onA, onB;
};

// Nearest points of two non-empty geometries. Geometries that meet (judged on coordinates as plane
// values) are 0 apart at a shared point. Otherwise the nearest pair of two sets of points and
// segments has a vertex of one of them as an end, for straight segments as for geodesics: each vertex
// of a is measured against the parts of b and each vertex of b against those of a.
NearestPair nearestPair(GeoMetric metric, const Geometry& a, const Geometry& b) {
  NearestPair out;
  if (metric == GeoMetric::Planar || a.intersects(&b)) {
    auto pts = geos::operation::distance::DistanceOp::nearestPoints(&a, &b);
    if (pts == nullptr || pts->size() < 2) { // coordinates too large or not finite to measure
      out.distance = kNaN;
      out.onA = out.onB = Coordinate(kNaN, kNaN);
      return out;
    }
    out.onA = pts->getAt(0);
    out.onB = pts->getAt(1);
    out.distance =
        metric == GeoMetric::Planar ? std::hypot(out.onA.x - out.onB.x, out.onA.y - out.onB.y) : 0.0;
    return out;
  }
  Coordinate other;
  const GeoParts partsA(a), partsB(b);
  for (const Coordinate& v : vertices(a)) {
    const double d = partsB.nearest(metric, v, other, out.distance);
    if (d < out.distance || std::isnan(d)) {
      out = {d, v, other};
      if (std::isnan(d))
        return out;
    }
  }
  for (const Coordinate& v : vertices(b)) {
    const double d = partsA.nearest(metric, v, other, out.distance);
    if (d < out.distance || std::isnan(d)) {
      out = {d, other, v};
      if (std::isnan(d))
        return out;
    }
  }
  return out;
}

// Farthest pair of vertices. Geodesic metrics: all pairs are measured on the sphere first and only the
// pairs whose bracket can hold the maximum are solved exactly.
NearestPair farthestPair(GeoMetric metric, const Geometry& a, const Geometry& b) {
  NearestPair out;
  out.distance = -kInf;
  const std::vector<Coordinate> va = vertices(a), vb = vertices(b);
  if (metric == GeoMetric::Planar) {
    for (const Coordinate& p : va)
      for (const Coordinate& q : vb) {
        const double d = std::hypot(p.x - q.x, p.y - q.y);
        if (std::isnan(d))
          return {kNaN, p, q};
        if (d > out.distance)
          out = {d, p, q};
      }
    return out;
  }
  for (const auto* list : {&va, &vb})
    for (const Coordinate& c : *list)
      if (!validLatitude(c))
        return {kNaN, c, c};
  const double r = GeometryUtils::kEarthMeanRadiusMeters;
  std::vector<Vec3> ub;
  ub.reserve(vb.size());
  for (const Coordinate& q : vb)
    ub.push_back(unitOf(q));
  // Two passes over the pairs, so that nothing of size |a| x |b| is stored: the highest lower end of
  // the brackets first, then an exact solve for every pair whose upper end reaches it.
  double bestLow = -kInf;
  for (const Coordinate& p : va) {
    const Vec3 pv = unitOf(p);
    for (const Vec3& q : ub) {
      const double est = angleBetween(pv, q) * r;
      bestLow = std::max(bestLow, est - estimateSlack(metric, est, 0));
    }
  }
  for (const Coordinate& p : va) {
    const Vec3 pv = unitOf(p);
    for (std::size_t j = 0; j < vb.size(); ++j) {
      const double est = angleBetween(pv, ub[j]) * r;
      const double upper = est + estimateSlack(metric, est, 0);
      if (upper < bestLow || upper < out.distance)
        continue;
      const double d = pointDistance(metric, p, vb[j]);
      if (d > out.distance)
        out = {d, p, vb[j]};
    }
  }
  return out;
}

double sequenceLength(GeoMetric metric, const CoordinateSequence& s) {
  double total = 0.0;
  for (std::size_t i = 1; i < s.size(); ++i)
    total += pointDistance(metric, s.getAt(i - 1), s.getAt(i));
  return total;
}

// Unsigned area of a closed ring: the shoelace area, or on the sphere or spheroid the area of the
// geodesic polygon (the smaller of the two regions the ring bounds when traversed either way round).
double ringArea(GeoMetric metric, const CoordinateSequence& ring) {
  if (ring.size() < 4)
    return 0.0;
  if (metric == GeoMetric::Planar)
    return geos::algorithm::Area::ofRing(&ring);
  GeographicLib::PolygonArea polygon(geodesicOf(metric), false);
  for (std::size_t i = 0; i + 1 < ring.size(); ++i)
    polygon.AddPoint(ring.getY(i), ring.getX(i));
  double perimeter = 0.0, area = 0.0;
  polygon.Compute(false, true, perimeter, area);
  return std::fabs(area);
}

} // namespace

const geos::geom::GeometryFactory& GeometryUtils::initGeometryFactory() {
  return sharedGeometryFactory();
}

void GeometryUtils::prepareForSharing(const Geometry* g) {
  if (g == nullptr)
    return;
  std::vector<const Geometry*> pending{g};
  while (!pending.empty()) {
    const Geometry* cur = pending.back();
    pending.pop_back();
    cur->getEnvelopeInternal();
    if (cur->getGeometryTypeId() == GeometryTypeId::GEOS_POLYGON) {
      const auto* p = static_cast<const Polygon*>(cur);
      pending.push_back(p->getExteriorRing());
      for (std::size_t i = 0; i < p->getNumInteriorRing(); ++i)
        pending.push_back(p->getInteriorRingN(i));
    } else if (isCollectionType(*cur)) {
      for (std::size_t i = 0; i < cur->getNumGeometries(); ++i)
        pending.push_back(cur->getGeometryN(i));
    }
  }
}

namespace {

// The non-empty atomic parts of a collection, at any depth (walked with an explicit stack), or nullptr
// when it has no empty part. The geometry library dereferences the coordinate of an empty point inside
// a collection in its union of one collection and in its rectangle shortcuts of contains and within;
// an empty part changes neither a union nor any predicate, so it is left out first.
GeometryPtr withoutEmptyParts(const Geometry& g) {
  std::vector<std::unique_ptr<Geometry>> parts;
  std::vector<const Geometry*> pending{&g};
  bool sawEmpty = false;
  while (!pending.empty()) {
    const Geometry* x = pending.back();
    pending.pop_back();
    if (x->isEmpty()) {
      sawEmpty = true;
    } else if (dynamic_cast<const geos::geom::GeometryCollection*>(x) != nullptr) {
      for (std::size_t i = x->getNumGeometries(); i-- > 0;) // reversed: parts keep their order
        pending.push_back(x->getGeometryN(i));
    } else {
      parts.push_back(x->clone());
    }
  }
  if (!sawEmpty)
    return nullptr;
  return GeometryPtr(factory().createGeometryCollection(std::move(parts)).release());
}

} // namespace

// ---- Predicates ------------------------------------------------------------------------------------

#define VELA_GEO_PREDICATE(name, call)                                                                       \
  bool GeometryUtils::name(const Geometry* a, const Geometry* b) {                                           \
    if (a == nullptr || b == nullptr)                                                                        \
      return false;                                                                                          \
    return guarded(#name, __LINE__, [&] {                                                                    \
      const GeometryPtr cleanA = withoutEmptyParts(*a), cleanB = withoutEmptyParts(*b);                      \
      const auto test = [](const Geometry* a, const Geometry* b) { return call; };                           \
      return test(cleanA ? cleanA.get() : a, cleanB ? cleanB.get() : b);                                     \
    });                                                                                                      \
  }

VELA_GEO_PREDICATE(equals, a->equals(b))
VELA_GEO_PREDICATE(contains, a->contains(b))
VELA_GEO_PREDICATE(coveredBy, a->coveredBy(b))
VELA_GEO_PREDICATE(covers, a->covers(b))
VELA_GEO_PREDICATE(crosses, a->crosses(b))
VELA_GEO_PREDICATE(disjoint, a->disjoint(b))
VELA_GEO_PREDICATE(intersects, a->intersects(b))
VELA_GEO_PREDICATE(overlaps, a->overlaps(b))
VELA_GEO_PREDICATE(touches, a->touches(b))
VELA_GEO_PREDICATE(within, a->within(b))
// Properly contained: b lies in a's interior, touching no point of a's boundary.
VELA_GEO_PREDICATE(containsProperly, a->relate(b, "T**FF*FF*"))
#undef VELA_GEO_PREDICATE

bool GeometryUtils::equalsExact(const Geometry* a, const Geometry* b, double tolerance) {
  if (a == nullptr || b == nullptr)
    return false;
  return guarded("equalsExact", __LINE__, [&] { return a->equalsExact(b, tolerance); });
}

bool GeometryUtils::almostEquals(const Geometry* a, const Geometry* b, int decimals) {
  return equalsExact(a, b, std::pow(10.0, -std::clamp(decimals, -300, 300)));
}

bool GeometryUtils::dFullyWithin(const Geometry* a, const Geometry* b, double distance, int metric) {
  bool isNull = false;
  const double d = maxDistance(a, b, isNull, metric);
  return !isNull && d <= distance;
}

bool GeometryUtils::dWithin(const Geometry* a, const Geometry* b, double distance, int metric) {
  if (checkMetric(metric, "dWithin") == GeoMetric::Planar) {
    if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty())
      return false;
    return guarded("dWithin", __LINE__, [&] { return a->isWithinDistance(b, distance); });
  }
  bool isNull = false;
  const double d = GeometryUtils::distance(a, b, isNull, metric);
  return !isNull && d <= distance;
}

bool GeometryUtils::envDWithin(const Geometry* a, const Geometry* b, double distance, int metric) {
  const GeoMetric m = checkMetric(metric, "envDWithin");
  if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty())
    return false;
  if (m == GeoMetric::Planar)
    return a->getEnvelopeInternal()->distance(*b->getEnvelopeInternal()) <= distance;
  return guarded("envDWithin", __LINE__, [&] {
    const GeometryPtr ea = a->getEnvelope(), eb = b->getEnvelope();
    return nearestPair(m, *ea, *eb).distance <= distance;
  });
}

bool GeometryUtils::envelopeIntersects(const Geometry* a, const Geometry* b) {
  if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty())
    return false;
  return a->getEnvelopeInternal()->intersects(b->getEnvelopeInternal());
}

bool GeometryUtils::isClosed(const Geometry* g) {
  if (g == nullptr || g->isEmpty())
    return false;
  bool closed = true;
  forEachPart(
      *g, [](const Coordinate&) {},
      [&](const CoordinateSequence& s, Part part) {
        if (part == Part::Line && !s.getAt(0).equals3D(s.getAt(s.size() - 1)))
          closed = false;
      });
  return closed;
}

bool GeometryUtils::isCollection(const Geometry* g) {
  return g != nullptr && isCollectionType(*g);
}

bool GeometryUtils::isEmpty(const Geometry* g) {
  return g != nullptr && g->isEmpty();
}

bool GeometryUtils::isRing(const Geometry* g) {
  if (!isLine(g) || g->isEmpty())
    return false;
  return guarded("isRing", __LINE__, [&] { return isClosed(g) && g->isSimple(); });
}

bool GeometryUtils::isSimple(const Geometry* g) {
  return g != nullptr && guarded("isSimple", __LINE__, [&] { return g->isSimple(); });
}

bool GeometryUtils::isValid(const Geometry* g) {
  return g != nullptr && guarded("isValid", __LINE__, [&] { return g->isValid(); });
}

// ---- Point fast paths --------------------------------------------------------------------------------
// A point's interior is the point itself and its boundary is empty, so every predicate between a point
// and g is decided by where the point lies relative to g.

bool GeometryUtils::containsXY(const Geometry* g, double x, double y) {
  return locateXY(x, y, g) == Location::INTERIOR;
}

bool GeometryUtils::containsProperlyXY(const Geometry* g, double x, double y) {
  return locateXY(x, y, g) == Location::INTERIOR;
}

bool GeometryUtils::coversXY(const Geometry* g, double x, double y) {
  return locateXY(x, y, g) != Location::EXTERIOR;
}

bool GeometryUtils::xyCoveredBy(double x, double y, const Geometry* g) {
  return locateXY(x, y, g) != Location::EXTERIOR;
}

bool GeometryUtils::xyDisjoint(double x, double y, const Geometry* g) {
  return g != nullptr && locateXY(x, y, g) == Location::EXTERIOR;
}

bool GeometryUtils::xyIntersects(double x, double y, const Geometry* g) {
  return locateXY(x, y, g) != Location::EXTERIOR;
}

bool GeometryUtils::xyTouches(double x, double y, const Geometry* g) {
  return locateXY(x, y, g) == Location::BOUNDARY;
}

bool GeometryUtils::xyWithin(double x, double y, const Geometry* g) {
  return locateXY(x, y, g) == Location::INTERIOR;
}

bool GeometryUtils::xyEnvelopeIntersects(double x, double y, const Geometry* g) {
  if (g == nullptr || g->isEmpty())
    return false;
  const auto* e = g->getEnvelopeInternal();
  return x >= e->getMinX() && x <= e->getMaxX() && y >= e->getMinY() && y <= e->getMaxY();
}

bool GeometryUtils::xyDWithin(double x, double y, const Geometry* g, double distance, int metric) {
  bool isNull = false;
  const double d = xyDistance(x, y, g, isNull, metric);
  return !isNull && d <= distance;
}

bool GeometryUtils::xyEnvDWithin(double x, double y, const Geometry* g, double distance, int metric) {
  const GeoMetric m = checkMetric(metric, "xyEnvDWithin");
  if (g == nullptr || g->isEmpty() || std::isnan(x) || std::isnan(y))
    return false;
  const auto* e = g->getEnvelopeInternal();
  if (m == GeoMetric::Planar)
    return e->distance(geos::geom::Envelope(x, x, y, y)) <= distance;
  return guarded("xyEnvDWithin", __LINE__, [&] {
    const GeometryPtr box = g->getEnvelope();
    bool isNull = false;
    const double d = xyDistance(x, y, box.get(), isNull, metric);
    return !isNull && d <= distance;
  });
}

bool GeometryUtils::distancePointsWithin(double x1, double y1, double x2, double y2, int metric,
                                         double distance) {
  bool isNull = false;
  const double d = distancePoints(x1, y1, x2, y2, isNull, metric);
  return !isNull && d <= distance;
}

bool GeometryUtils::xyxyEnvDWithin(double x1, double y1, double x2, double y2, double distance, int metric) {
  return distancePointsWithin(x1, y1, x2, y2, metric, distance);
}

// ---- Measurements ------------------------------------------------------------------------------------

double GeometryUtils::area(const Geometry* g, int metric) {
  const GeoMetric m = checkMetric(metric, "area");
  if (g == nullptr)
    return kNaN;
  double total = 0.0;
  forEachPart(
      *g, [](const Coordinate&) {},
      [&](const CoordinateSequence& s, Part part) {
        if (part == Part::Shell)
          total += ringArea(m, s);
        else if (part == Part::Hole)
          total -= ringArea(m, s);
      });
  return total;
}

double GeometryUtils::length(const Geometry* g, int metric) {
  const GeoMetric m = checkMetric(metric, "length");
  if (g == nullptr)
    return kNaN;
  double total = 0.0;
  forEachPart(
      *g, [](const Coordinate&) {},
      [&](const CoordinateSequence& s, Part part) {
        if (part == Part::Line)
          total += sequenceLength(m, s);
      });
  return total;
}

double GeometryUtils::perimeter(const Geometry* g, int metric) {
  const GeoMetric m = checkMetric(metric, "perimeter");
  if (g == nullptr)
    return kNaN;
  double total = 0.0;
  forEachPart(
      *g, [](const Coordinate&) {},
      [&](const CoordinateSequence& s, Part part) {
        if (part != Part::Line)
          total += sequenceLength(m, s);
      });
  return total;
}

double GeometryUtils::distance(const Geometry* a, const Geometry* b, bool& isNull, int metric) {
  const GeoMetric m = checkMetric(metric, "distance");
  if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty()) {
    isNull = true;
    return kNaN;
  }
  const double d = guarded("distance", __LINE__, [&] { return nearestPair(m, *a, *b).distance; });
  isNull = isNull || std::isnan(d);
  return d;
}

double GeometryUtils::maxDistance(const Geometry* a, const Geometry* b, bool& isNull, int metric) {
  const GeoMetric m = checkMetric(metric, "maxDistance");
  if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty()) {
    isNull = true;
    return kNaN;
  }
  return farthestPair(m, *a, *b).distance;
}

double GeometryUtils::xyDistance(double x, double y, const Geometry* g, bool& isNull, int metric) {
  const GeoMetric m = checkMetric(metric, "xyDistance");
  if (g == nullptr || g->isEmpty() || std::isnan(x) || std::isnan(y)) {
    isNull = true;
    return kNaN;
  }
  return guarded("xyDistance", __LINE__, [&] {
    if (locateXY(x, y, g) != Location::EXTERIOR)
      return 0.0;
    Coordinate on;
    return nearestToParts(m, Coordinate(x, y), *g, on);
  });
}

double GeometryUtils::distancePoints(double x1, double y1, double x2, double y2, bool& isNull, int metric) {
  const GeoMetric m = checkMetric(metric, "distancePoints");
  if (std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2) ||
      (m != GeoMetric::Planar && (std::fabs(y1) > 90.0 || std::fabs(y2) > 90.0))) {
    isNull = true;
    return kNaN;
  }
  return pointDistance(m, Coordinate(x1, y1), Coordinate(x2, y2));
}

float GeometryUtils::distancePointsf(float x1, float y1, float x2, float y2, bool& isNull, int metric) {
  return static_cast<float>(distancePoints(x1, y1, x2, y2, isNull, metric));
}

double GeometryUtils::azimuth(const Geometry* a, const Geometry* b, bool& isNull, int metric) {
  const GeoMetric m = checkMetric(metric, "azimuth");
  if (!isPoint(a) || !isPoint(b) || pointCoordinate(*a).equals2D(pointCoordinate(*b))) {
    isNull = true;
    return kNaN;
  }
  const Coordinate& p = pointCoordinate(*a);
  const Coordinate& q = pointCoordinate(*b);
  double radians;
  if (m == GeoMetric::Planar) {
    radians = std::atan2(q.x - p.x, q.y - p.y);
  } else {
    double s12, azi1, azi2;
    geodesicOf(m).Inverse(p.y, p.x, q.y, q.x, s12, azi1, azi2);
    radians = azi1 * (std::numbers::pi / 180.0);
  }
  return radians < 0.0 ? radians + 2.0 * std::numbers::pi : radians;
}

double GeometryUtils::lineLocatePoint(const Geometry* line, const Geometry* point, bool& isNull) {
  if (!isLine(line) || line->isEmpty() || !isPoint(point)) {
    isNull = true;
    return kNaN;
  }
  const double total = line->getLength();
  if (total == 0.0)
    return 0.0;
  return guarded("lineLocatePoint", __LINE__, [&] {
    const geos::linearref::LengthIndexedLine indexed(line);
    return indexed.project(pointCoordinate(*point)) / total;
  });
}

namespace {

// Bounding box side (0 minX, 1 minY, 2 maxX, 3 maxY).
double envelopeSide(const Geometry* g, bool& isNull, int side) {
  if (g == nullptr || g->isEmpty()) {
    isNull = true;
    return kNaN;
  }
  const auto* e = g->getEnvelopeInternal();
  return side == 0 ? e->getMinX() : side == 1 ? e->getMinY() : side == 2 ? e->getMaxX() : e->getMaxY();
}

double zExtreme(const Geometry* g, bool& isNull, bool wantMax) {
  if (g == nullptr || g->isEmpty() || g->getCoordinateDimension() < 3) {
    isNull = true;
    return kNaN;
  }
  double best = wantMax ? -kInf : kInf;
  bool any = false;
  for (const Coordinate& c : vertices(*g)) {
    if (std::isnan(c.z))
      continue;
    any = true;
    best = wantMax ? std::max(best, c.z) : std::min(best, c.z);
  }
  if (!any) {
    isNull = true;
    return kNaN;
  }
  return best;
}

} // namespace

double GeometryUtils::minX(const Geometry* g, bool& isNull) {
  return envelopeSide(g, isNull, 0);
}
double GeometryUtils::minY(const Geometry* g, bool& isNull) {
  return envelopeSide(g, isNull, 1);
}
double GeometryUtils::maxX(const Geometry* g, bool& isNull) {
  return envelopeSide(g, isNull, 2);
}
double GeometryUtils::maxY(const Geometry* g, bool& isNull) {
  return envelopeSide(g, isNull, 3);
}
double GeometryUtils::minZ(const Geometry* g, bool& isNull) {
  return zExtreme(g, isNull, false);
}
double GeometryUtils::maxZ(const Geometry* g, bool& isNull) {
  return zExtreme(g, isNull, true);
}

double GeometryUtils::getX(const Geometry* g, bool& isNull) {
  if (!isPoint(g)) {
    isNull = true;
    return kNaN;
  }
  return pointCoordinate(*g).x;
}

double GeometryUtils::getY(const Geometry* g, bool& isNull) {
  if (!isPoint(g)) {
    isNull = true;
    return kNaN;
  }
  return pointCoordinate(*g).y;
}

// ---- Counts and codes ----------------------------------------------------------------------------------

int GeometryUtils::coordDim(const Geometry* g) {
  return g == nullptr ? 0 : static_cast<int>(g->getCoordinateDimension());
}

int GeometryUtils::nDims(const Geometry* g) {
  return coordDim(g);
}

int GeometryUtils::dimension(const Geometry* g) {
  if (g == nullptr)
    return 0;
  if (g->isEmpty())
    return -1;
  int highest = -1;
  forEachPart(
      *g, [&](const Coordinate&) { highest = std::max(highest, 0); },
      [&](const CoordinateSequence&, Part part) { highest = std::max(highest, part == Part::Line ? 1 : 2); });
  return highest;
}

int GeometryUtils::geometryTypeId(const Geometry* g) {
  return g == nullptr ? -1 : static_cast<int>(g->getGeometryTypeId());
}

int GeometryUtils::nPoints(const Geometry* g) {
  return g == nullptr ? 0 : static_cast<int>(g->getNumPoints());
}

int GeometryUtils::nRings(const Geometry* g) {
  if (g == nullptr)
    return 0;
  int rings = 0;
  forEachPart(
      *g, [](const Coordinate&) {},
      [&](const CoordinateSequence&, Part part) { rings += part != Part::Line; });
  return rings;
}

int GeometryUtils::numGeometries(const Geometry* g) {
  if (g == nullptr || (g->isEmpty() && !isCollectionType(*g)))
    return 0;
  return static_cast<int>(g->getNumGeometries());
}

int GeometryUtils::numInteriorRings(const Geometry* g, bool& isNull) {
  if (g == nullptr || g->getGeometryTypeId() != GeometryTypeId::GEOS_POLYGON) {
    isNull = true;
    return 0;
  }
  return static_cast<int>(static_cast<const Polygon*>(g)->getNumInteriorRing());
}

int GeometryUtils::numPoints(const Geometry* g, bool& isNull) {
  if (!isLine(g)) {
    isNull = true;
    return 0;
  }
  return static_cast<int>(g->getNumPoints());
}

int GeometryUtils::zmFlag(const Geometry* g) {
  return coordDim(g) >= 3 ? 2 : 0;
}

// ---- Text and hashes -------------------------------------------------------------------------------------

namespace {

constexpr const char* kTypeNames[] = {"POINT",      "LINESTRING",      "LINEARRING",   "POLYGON",
                                      "MULTIPOINT", "MULTILINESTRING", "MULTIPOLYGON", "GEOMETRYCOLLECTION"};
constexpr const char* kStTypeNames[] = {"ST_Point",        "ST_LineString",        "ST_LinearRing",
                                        "ST_Polygon",      "ST_MultiPoint",        "ST_MultiLineString",
                                        "ST_MultiPolygon", "ST_GeometryCollection"};

std::string numberText(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

} // namespace

std::string GeometryUtils::geometryType(const Geometry* g) {
  return g == nullptr ? std::string() : kTypeNames[static_cast<int>(g->getGeometryTypeId())];
}

std::string GeometryUtils::st_geometryType(const Geometry* g) {
  return g == nullptr ? std::string() : kStTypeNames[static_cast<int>(g->getGeometryTypeId())];
}

std::string GeometryUtils::isValidReason(const Geometry* g) {
  if (g == nullptr)
    return {};
  return guarded("isValidReason", __LINE__, [&] {
    geos::operation::valid::IsValidOp op(g);
    const auto* error = op.getValidationError();
    if (error == nullptr)
      return std::string("Valid Geometry");
    const Coordinate& at = error->getCoordinate();
    return error->getMessage() + "[" + numberText(at.x) + " " + numberText(at.y) + "]";
  });
}

std::int64_t GeometryUtils::hash(const Geometry* g, int seed) {
  if (g == nullptr)
    return 0;
  const std::string wkb = GeometryCodec::writeWkb(*g);
  return static_cast<std::int64_t>(murmur3_hash64(wkb.data(), wkb.size(), static_cast<std::uint32_t>(seed)));
}

Hash128 GeometryUtils::hash128(const Geometry* g, const unsigned char* seed16) {
  if (g == nullptr)
    return {};
  std::uint64_t seeds[2] = {0, 0};
  if (seed16 != nullptr)
    std::memcpy(seeds, seed16, 16); // little-endian words, as x86-64 loads them
  const std::string wkb = GeometryCodec::writeWkb(*g);
  return murmur3_x64_128(wkb.data(), wkb.size(), seeds[0], seeds[1]);
}

void GeometryUtils::geo_sha256(const Geometry* g, char* out) {
  if (g == nullptr) {
    std::memset(out, 0, kSha256HexChars);
    return;
  }
  const std::string wkb = GeometryCodec::writeWkb(*g);
  sha256Hex(wkb.data(), wkb.size(), out);
}

// ---- Geohash
// -----------------------------------------------------------------------------------------------

namespace {

constexpr char kGeohashAlphabet[] = "0123456789bcdefghjkmnpqrstuvwxyz";

// The 5-bit value of each byte, -1 outside the alphabet.
struct GeohashValues {
  signed char value[256];
  constexpr GeohashValues() : value{} {
    for (int c = 0; c < 256; ++c)
      value[c] = -1;
    for (int k = 0; k < 32; ++k)
      value[static_cast<unsigned char>(kGeohashAlphabet[k])] = static_cast<signed char>(k);
  }
};
constexpr GeohashValues kGeohashValues;

int geohashValue(char c) {
  return kGeohashValues.value[static_cast<unsigned char>(c)];
}

} // namespace

bool GeometryUtils::geohashEncode(double longitude, double latitude, int chars, char* text) {
  if (!(longitude >= -180.0 && longitude <= 180.0 && latitude >= -90.0 && latitude <= 90.0) || chars < 1 ||
      chars > kMaxGeohashChars)
    return false;
  double lon[2] = {-180.0, 180.0}, lat[2] = {-90.0, 90.0};
  bool onLongitude = true;
  for (int c = 0; c < chars; ++c) {
    int value = 0;
    for (int b = 0; b < 5; ++b) {
      double* range = onLongitude ? lon : lat;
      const double x = onLongitude ? longitude : latitude;
      const double mid = (range[0] + range[1]) / 2;
      const int bit = x >= mid ? 1 : 0;
      range[bit == 1 ? 0 : 1] = mid;
      value = value * 2 + bit;
      onLongitude = !onLongitude;
    }
    text[c] = kGeohashAlphabet[value];
  }
  return true;
}

bool GeometryUtils::geohashDecode(std::string_view text, double box[4]) {
  if (text.empty() || text.size() > static_cast<std::size_t>(kMaxGeohashChars))
    return false;
  double lon[2] = {-180.0, 180.0}, lat[2] = {-90.0, 90.0};
  bool onLongitude = true;
  for (char c : text) {
    const int value = geohashValue(c);
    if (value < 0)
      return false;
    for (int b = 4; b >= 0; --b) {
      double* range = onLongitude ? lon : lat;
      range[(value >> b) & 1 ? 0 : 1] = (range[0] + range[1]) / 2;
      onLongitude = !onLongitude;
    }
  }
  box[0] = lon[0];
  box[1] = lat[0];
  box[2] = lon[1];
  box[3] = lat[1];
  return true;
}

void GeometryUtils::encodeGeohashFromGeometry(const Geometry* g, std::string& out, bool& isNull,
                                              int precision) {
  out.clear();
  char text[kMaxGeohashChars];
  if (!isPoint(g) || !geohashEncode(pointCoordinate(*g).x, pointCoordinate(*g).y, precision, text)) {
    isNull = true;
    return;
  }
  out.assign(text, static_cast<std::size_t>(precision));
}

namespace {

bool geohashCell(std::string_view text, int precision, double box[4]) {
  if (precision > 0 && static_cast<std::size_t>(precision) < text.size())
    text = text.substr(0, static_cast<std::size_t>(precision));
  return GeometryUtils::geohashDecode(text, box);
}

} // namespace

GeometryUtils::GeometryPtr GeometryUtils::createGeometryFromGeohash(std::string_view text, int precision) {
  double box[4];
  if (!geohashCell(text, precision, box))
    return nullptr;
  return createEnvelope(box[0], box[1], box[2], box[3]);
}

GeometryUtils::GeometryPtr GeometryUtils::createPointFromGeohash(std::string_view text, int precision) {
  double box[4];
  if (!geohashCell(text, precision, box))
    return nullptr;
  return GeometryPtr(factory().createPoint(Coordinate((box[0] + box[2]) / 2, (box[1] + box[3]) / 2)));
}

// ---- Constructors
// ------------------------------------------------------------------------------------------

namespace {

GeometryPtr lineFrom(std::vector<Coordinate>&& coords) {
  return GeometryPtr(
      factory().createLineString(new geos::geom::CoordinateArraySequence(std::move(coords), 0)));
}

GeometryPtr pointAt(const Coordinate& c) {
  return GeometryPtr(factory().createPoint(c));
}

// The ring of a polygon as a line string (rings are closed lines in their own right).
GeometryPtr ringAsLine(const geos::geom::LinearRing& ring) {
  return GeometryPtr(factory().createLineString(ring.getCoordinatesRO()->clone().release()));
}

} // namespace

GeometryUtils::GeometryPtr GeometryUtils::createEnvelope(double xmin, double ymin, double xmax, double ymax) {
  // A NaN corner makes a ring that does not close, which the geometry library refuses.
  return guarded("createEnvelope", __LINE__, [&] {
    const geos::geom::Envelope box(xmin, xmax, ymin, ymax); // normalises the corners' order
    return GeometryPtr(factory().toGeometry(&box));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::createEllipse(double x, double y, double width, double height) {
  return guarded("createEllipse", __LINE__, [&] {
    geos::util::GeometricShapeFactory shapes(&factory());
    shapes.setCentre(Coordinate(x, y));
    shapes.setWidth(width);
    shapes.setHeight(height);
    shapes.setNumPoints(100);
    return GeometryPtr(shapes.createCircle()); // an ellipse when width and height differ
  });
}

GeometryUtils::GeometryPtr GeometryUtils::createTriangle2D(double x1, double y1, double x2, double y2,
                                                           double x3, double y3) {
  return guarded("createTriangle2D", __LINE__, [&] {
    std::vector<Coordinate> ring{{x1, y1}, {x2, y2}, {x3, y3}, {x1, y1}};
    return GeometryPtr(factory().createPolygon(std::move(ring)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::createTriangle3D(double x1, double y1, double z1, double x2,
                                                           double y2, double z2, double x3, double y3,
                                                           double z3) {
  return guarded("createTriangle3D", __LINE__, [&] {
    std::vector<Coordinate> ring{{x1, y1, z1}, {x2, y2, z2}, {x3, y3, z3}, {x1, y1, z1}};
    auto shell = factory().createLinearRing(new geos::geom::CoordinateArraySequence(std::move(ring), 3));
    return GeometryPtr(factory().createPolygon(shell, nullptr));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::createLineStringFromMultiPoint(const Geometry* g, bool& isNull) {
  if (g == nullptr || g->getGeometryTypeId() != GeometryTypeId::GEOS_MULTIPOINT) {
    isNull = true;
    return nullptr;
  }
  return createLineString(g, isNull);
}

GeometryUtils::GeometryPtr GeometryUtils::createLineString(const Geometry* g, bool& isNull) {
  if (g == nullptr) {
    isNull = true;
    return nullptr;
  }
  std::vector<Coordinate> coords;
  if (isLine(g)) {
    coords = vertices(*g);
  } else {
    for (std::size_t i = 0; i < g->getNumGeometries(); ++i) {
      const Geometry* member = g->getGeometryN(i);
      if (member->getGeometryTypeId() != GeometryTypeId::GEOS_POINT) {
        isNull = true;
        return nullptr;
      }
      if (!member->isEmpty())
        coords.push_back(pointCoordinate(*member));
    }
  }
  if (coords.size() < 2) {
    isNull = true;
    return nullptr;
  }
  return lineFrom(std::move(coords));
}

GeometryUtils::GeometryPtr GeometryUtils::createLineString(const Geometry* a, const Geometry* b,
                                                           bool& isNull) {
  const auto usable = [](const Geometry* g) {
    return g != nullptr && (isLine(g) || g->getGeometryTypeId() == GeometryTypeId::GEOS_POINT ||
                            g->getGeometryTypeId() == GeometryTypeId::GEOS_MULTIPOINT);
  };
  if (!usable(a) || !usable(b)) {
    isNull = true;
    return nullptr;
  }
  std::vector<Coordinate> coords = vertices(*a);
  for (const Coordinate& c : vertices(*b))
    coords.push_back(c);
  if (coords.size() < 2) {
    isNull = true;
    return nullptr;
  }
  return lineFrom(std::move(coords));
}

GeometryUtils::GeometryPtr GeometryUtils::createPolygon(const Geometry* g, bool& isNull) {
  if (!isLine(g) || g->getNumPoints() < 4 || !isClosed(g)) {
    isNull = true;
    return nullptr;
  }
  return guarded("createPolygon", __LINE__, [&] {
    auto shell = factory().createLinearRing(static_cast<const LineString*>(g)->getCoordinatesRO()->clone());
    return GeometryPtr(factory().createPolygon(std::move(shell)));
  });
}

// ---- Accessors returning geometries
// ------------------------------------------------------------------------

GeometryUtils::GeometryPtr GeometryUtils::boundary(const Geometry* g, bool& isNull) {
  if (g == nullptr || g->getGeometryTypeId() == GeometryTypeId::GEOS_GEOMETRYCOLLECTION) {
    isNull = true;
    return nullptr;
  }
  return guarded("boundary", __LINE__, [&] { return onShared(g->getBoundary()); });
}

GeometryUtils::GeometryPtr GeometryUtils::boundingDiagonal(const Geometry* g, bool fromUpperLeft) {
  if (g == nullptr)
    return nullptr;
  if (g->isEmpty())
    return GeometryPtr(factory().createLineString());
  const auto* e = g->getEnvelopeInternal();
  if (fromUpperLeft)
    return lineFrom({{e->getMinX(), e->getMaxY()}, {e->getMaxX(), e->getMinY()}});
  return lineFrom({{e->getMinX(), e->getMinY()}, {e->getMaxX(), e->getMaxY()}});
}

GeometryUtils::GeometryPtr GeometryUtils::centroid(const Geometry* g) {
  if (g == nullptr)
    return nullptr;
  return guarded("centroid", __LINE__, [&] { return onShared(g->getCentroid()); });
}

GeometryUtils::GeometryPtr GeometryUtils::startPoint(const Geometry* g, bool& isNull) {
  if (!isLine(g) || g->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  return pointAt(static_cast<const LineString*>(g)->getCoordinateN(0));
}

GeometryUtils::GeometryPtr GeometryUtils::endPoint(const Geometry* g, bool& isNull) {
  if (!isLine(g) || g->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  return pointAt(static_cast<const LineString*>(g)->getCoordinateN(g->getNumPoints() - 1));
}

GeometryUtils::GeometryPtr GeometryUtils::envelope(const Geometry* g, bool& isNull, int metric) {
  checkMetric(metric, "envelope");
  if (g == nullptr || g->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  const auto* e = g->getEnvelopeInternal();
  return createEnvelope(e->getMinX(), e->getMinY(), e->getMaxX(), e->getMaxY());
}

GeometryUtils::GeometryPtr GeometryUtils::expand(const Geometry* g, float amount) {
  if (g == nullptr || g->isEmpty())
    return g == nullptr ? nullptr : copyOf(*g);
  const auto* e = g->getEnvelopeInternal();
  const double a = amount;
  double x0 = e->getMinX() - a, x1 = e->getMaxX() + a, y0 = e->getMinY() - a, y1 = e->getMaxY() + a;
  if (x0 > x1)
    x0 = x1 = (e->getMinX() + e->getMaxX()) / 2;
  if (y0 > y1)
    y0 = y1 = (e->getMinY() + e->getMaxY()) / 2;
  return createEnvelope(x0, y0, x1, y1);
}

GeometryUtils::GeometryPtr GeometryUtils::expandByRate(const Geometry* g, double rate) {
  if (g == nullptr || g->isEmpty())
    return g == nullptr ? nullptr : copyOf(*g);
  const auto* e = g->getEnvelopeInternal();
  const double cx = (e->getMinX() + e->getMaxX()) / 2, cy = (e->getMinY() + e->getMaxY()) / 2;
  const double hw = std::max(0.0, e->getWidth() * (1 + rate) / 2),
               hh = std::max(0.0, e->getHeight() * (1 + rate) / 2);
  return createEnvelope(cx - hw, cy - hh, cx + hw, cy + hh);
}

GeometryUtils::GeometryPtr GeometryUtils::exteriorRing(const Geometry* g, bool& isNull) {
  if (g == nullptr || g->getGeometryTypeId() != GeometryTypeId::GEOS_POLYGON) {
    isNull = true;
    return nullptr;
  }
  return ringAsLine(*static_cast<const Polygon*>(g)->getExteriorRing());
}

GeometryUtils::GeometryPtr GeometryUtils::interiorRingN(const Geometry* g, int n, bool& isNull) {
  if (g == nullptr || g->getGeometryTypeId() != GeometryTypeId::GEOS_POLYGON || n < 1 ||
      static_cast<std::size_t>(n) > static_cast<const Polygon*>(g)->getNumInteriorRing()) {
    isNull = true;
    return nullptr;
  }
  return ringAsLine(*static_cast<const Polygon*>(g)->getInteriorRingN(static_cast<std::size_t>(n - 1)));
}

GeometryUtils::GeometryPtr GeometryUtils::geometryN(const Geometry* g, int n, bool& isNull) {
  if (g == nullptr || n < 1 || n > numGeometries(g)) {
    isNull = true;
    return nullptr;
  }
  return copyOf(*g->getGeometryN(static_cast<std::size_t>(n - 1)));
}

GeometryUtils::GeometryPtr GeometryUtils::pointN(const Geometry* g, int n, bool& isNull) {
  const long count = isLine(g) ? static_cast<long>(g->getNumPoints()) : 0;
  const long index = n < 0 ? count + n : static_cast<long>(n) - 1;
  if (n == 0 || index < 0 || index >= count) {
    isNull = true;
    return nullptr;
  }
  return pointAt(static_cast<const LineString*>(g)->getCoordinateN(static_cast<std::size_t>(index)));
}

GeometryUtils::GeometryPtr GeometryUtils::points(const Geometry* g) {
  if (g == nullptr)
    return nullptr;
  return GeometryPtr(factory().createMultiPoint(vertices(*g)));
}

// ---- Transformations
// -----------------------------------------------------------------------------------------

namespace {

// Applies f(Coordinate&) to every coordinate of a copy of g.
template <class F>
class CoordinateMap final : public geos::geom::CoordinateSequenceFilter {
public:
  explicit CoordinateMap(F f) : m_f(std::move(f)) {}
  void filter_rw(CoordinateSequence& seq, std::size_t i) override {
    Coordinate c = seq.getAt(i);
    m_f(c);
    seq.setAt(c, i);
  }
  void filter_ro(const CoordinateSequence&, std::size_t) override {}
  bool isDone() const override { return false; }
  bool isGeometryChanged() const override { return true; }

private:
  F m_f;
};

template <class F>
GeometryPtr mapCoordinates(const Geometry& g, F f) {
  GeometryPtr out = copyOf(g);
  CoordinateMap<F> map(std::move(f));
  out->apply_rw(map);
  return out;
}

// Rebuilds every coordinate sequence of g through f(const CoordinateSequence&) -> new sequence.
template <class F>
class SequenceEdit final : public geos::geom::util::CoordinateOperation {
public:
  explicit SequenceEdit(F f) : m_f(std::move(f)) {}
  std::unique_ptr<CoordinateSequence> edit(const CoordinateSequence* coordinates, const Geometry*) override {
    return m_f(*coordinates);
  }

private:
  F m_f;
};

template <class F>
GeometryPtr editSequences(const Geometry& g, F f) {
  SequenceEdit<F> op(std::move(f));
  geos::geom::util::GeometryEditor editor(&factory());
  return editor.edit(&g, &op);
}

std::unique_ptr<CoordinateSequence> sequenceOf(std::vector<Coordinate>&& coords, std::size_t dimension) {
  return std::make_unique<geos::geom::CoordinateArraySequence>(std::move(coords), dimension);
}

std::vector<Coordinate> coordinatesOf(const CoordinateSequence& s) {
  std::vector<Coordinate> out(s.size());
  for (std::size_t i = 0; i < s.size(); ++i)
    out[i] = s.getAt(i);
  return out;
}

// Parsed buffer style: space-separated key=value words.
geos::operation::buffer::BufferParameters bufferStyle(std::string_view style, const char* function) {
  using geos::operation::buffer::BufferParameters;
  BufferParameters params;
  std::size_t i = 0;
  while (i < style.size()) {
    if (style[i] == ' ') {
      ++i;
      continue;
    }
    const std::size_t end = std::min(style.find(' ', i), style.size());
    const std::string_view word = style.substr(i, end - i);
    i = end;
    const std::size_t eq = word.find('=');
    const std::string_view key = word.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : word.substr(eq + 1);
    const auto number = [&](double lo, double hi) {
      double v = kNaN;
      const auto r = std::from_chars(value.data(), value.data() + value.size(), v);
      if (r.ec != std::errc() || r.ptr != value.data() + value.size() || !(v >= lo && v <= hi))
        refuse(__LINE__, function, "buffer style '" + std::string(word) + "' is out of range");
      return v;
    };
    if (key == "quad_segs")
      params.setQuadrantSegments(static_cast<int>(number(1, 1000)));
    else if (key == "endcap" && value == "round")
      params.setEndCapStyle(BufferParameters::CAP_ROUND);
    else if (key == "endcap" && (value == "flat" || value == "butt"))
      params.setEndCapStyle(BufferParameters::CAP_FLAT);
    else if (key == "endcap" && value == "square")
      params.setEndCapStyle(BufferParameters::CAP_SQUARE);
    else if (key == "join" && value == "round")
      params.setJoinStyle(BufferParameters::JOIN_ROUND);
    else if (key == "join" && (value == "mitre" || value == "miter"))
      params.setJoinStyle(BufferParameters::JOIN_MITRE);
    else if (key == "join" && value == "bevel")
      params.setJoinStyle(BufferParameters::JOIN_BEVEL);
    else if (key == "mitre_limit" || key == "miter_limit")
      params.setMitreLimit(number(0, 1e300));
    else if (key == "side" && value == "both")
      params.setSingleSided(false);
    else if (key == "side" && (value == "left" || value == "right"))
      params.setSingleSided(true);
    else
      refuse(__LINE__, function, "unknown buffer style '" + std::string(word) + "'");
  }
  return params;
}

bool rightSide(std::string_view style) {
  return style.find("side=right") != std::string_view::npos;
}

// Whether ok(x, y) holds for every coordinate of g.
template <class F>
bool everyXY(const Geometry& g, F ok) {
  bool all = true;
  forEachPart(
      g, [&](const Coordinate& c) { all = all && ok(c.x, c.y); },
      [&](const CoordinateSequence& s, Part) {
        for (std::size_t i = 0; i < s.size() && all; ++i)
          all = ok(s.getX(i), s.getY(i));
      });
  return all;
}

// Whether every X and Y of g is finite. The geometry library's buffer crashes on a NaN distance and on
// non-finite coordinates, so neither reaches it.
bool finiteXY(const Geometry& g) {
  return everyXY(g, [](double x, double y) { return std::isfinite(x) && std::isfinite(y); });
}

// Whether a and b may go to the geometry library's overlay, which crashes on coordinates that are not
// finite: the set operations give no result (nullptr, NULL) for null operands and for such coordinates.
bool overlayable(const Geometry* a, const Geometry* b) {
  return a != nullptr && b != nullptr && finiteXY(*a) && (a == b || finiteXY(*b));
}

// Buffer in the metric's unit. The geodesic metrics work in an azimuthal equidistant projection centred
// on the bounding box, where distances from the centre are true and others close for regional extents.
// nullptr (no buffer) for a distance or a coordinate that is not finite, or a latitude outside
// [-90, 90] in a geodesic metric.
GeometryPtr bufferIn(GeoMetric metric, const Geometry& g, double distance,
                     geos::operation::buffer::BufferParameters params, bool right) {
  const double d = right ? -distance : distance;
  if (!std::isfinite(d) || !finiteXY(g))
    return nullptr;
  if (metric == GeoMetric::Planar)
    return onShared(geos::operation::buffer::BufferOp::bufferOp(&g, d, params));
  if (!everyXY(g, [](double, double y) { return y >= -90.0 && y <= 90.0; }))
    return nullptr; // no latitude, so no place to buffer around
  const auto* e = g.getEnvelopeInternal();
  const double lat0 = (e->getMinY() + e->getMaxY()) / 2, lon0 = (e->getMinX() + e->getMaxX()) / 2;
  const GeographicLib::AzimuthalEquidistant projection(geodesicOf(metric));
  GeometryPtr planar = mapCoordinates(g, [&](Coordinate& c) {
    double x, y, azi, rk;
    projection.Forward(lat0, lon0, c.y, c.x, x, y, azi, rk);
    c.x = x;
    c.y = y;
  });
  GeometryPtr buffered = geos::operation::buffer::BufferOp::bufferOp(planar.get(), d, params);
  return mapCoordinates(*buffered, [&](Coordinate& c) {
    double lat, lon, azi, rk;
    projection.Reverse(lat0, lon0, c.x, c.y, lat, lon, azi, rk);
    c.x = lon;
    c.y = lat;
  });
}

} // namespace

GeometryUtils::GeometryPtr GeometryUtils::buffer(const Geometry* g, double distance, bool& isNull,
                                                 std::string_view style, int metric) {
  const GeoMetric m = checkMetric(metric, "buffer");
  const auto params = bufferStyle(style, "buffer");
  if (g == nullptr) {
    isNull = true;
    return nullptr;
  }
  GeometryPtr out =
      guarded("buffer", __LINE__, [&] { return bufferIn(m, *g, distance, params, rightSide(style)); });
  isNull = out == nullptr;
  return out;
}

GeometryUtils::GeometryPtr GeometryUtils::bufferbycomponent(const Geometry* g, double distance, bool& isNull,
                                                            std::string_view style, int metric) {
  const GeoMetric m = checkMetric(metric, "bufferbycomponent");
  const auto params = bufferStyle(style, "bufferbycomponent");
  if (g == nullptr) {
    isNull = true;
    return nullptr;
  }
  GeometryPtr out = guarded("bufferbycomponent", __LINE__, [&]() -> GeometryPtr {
    std::vector<std::unique_ptr<Geometry>> parts;
    for (std::size_t i = 0; i < g->getNumGeometries(); ++i) {
      parts.push_back(bufferIn(m, *g->getGeometryN(i), distance, params, rightSide(style)));
      if (parts.back() == nullptr)
        return nullptr;
    }
    auto all = factory().createGeometryCollection(std::move(parts));
    return onShared(all->Union());
  });
  isNull = out == nullptr;
  return out;
}

GeometryUtils::GeometryPtr GeometryUtils::multipleRingBuffers(const Geometry* g,
                                                              const std::vector<double>& distances,
                                                              bool outsideOnly) {
  if (g == nullptr || !finiteXY(*g) ||
      !std::all_of(distances.begin(), distances.end(), [](double d) { return std::isfinite(d); }))
    return nullptr;
  std::vector<double> sorted = distances;
  std::sort(sorted.begin(), sorted.end());
  return guarded("multipleRingBuffers", __LINE__, [&] {
    std::vector<std::unique_ptr<Geometry>> rings;
    GeometryPtr inner = outsideOnly ? copyOf(*g) : nullptr;
    for (double d : sorted) {
      GeometryPtr outer = onShared(g->buffer(d));
      rings.push_back(inner ? onShared(outer->difference(inner.get())) : copyOf(*outer));
      inner = std::move(outer);
    }
    return GeometryPtr(factory().createGeometryCollection(std::move(rings)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::convexHull(const Geometry* g) {
  if (g == nullptr)
    return nullptr;
  return guarded("convexHull", __LINE__, [&] { return onShared(g->convexHull()); });
}

GeometryUtils::GeometryPtr GeometryUtils::concaveHull(const Geometry* g, double ratio, bool allowHoles) {
  if (!(ratio >= 0.0 && ratio <= 1.0))
    refuse(__LINE__, "concaveHull", "ratio " + numberText(ratio) + " is outside [0, 1]");
  if (g == nullptr)
    return nullptr;
  return guarded("concaveHull", __LINE__, [&] {
    return onShared(geos::algorithm::hull::ConcaveHull::concaveHullByLengthRatio(g, ratio, allowHoles));
  });
}

namespace {

// The geometry library refuses a negative simplification tolerance but crashes on a NaN one: refuse it
// the same way (the caller's guard turns this into the library's own exception).
void refuseNanTolerance(double tolerance) {
  if (std::isnan(tolerance))
    throw std::invalid_argument("IllegalArgumentException: Tolerance must be a number");
}

// Whether every coordinate is finite and the envelope, grown by its own width and height on each side
// (as spatial indexes grow it), stays finite.
bool indexableExtent(const Geometry& g) {
  if (!finiteXY(g))
    return false;
  const auto* e = g.getEnvelopeInternal();
  if (e->isNull())
    return true;
  const double w = e->getMaxX() - e->getMinX(), h = e->getMaxY() - e->getMinY();
  return std::isfinite(e->getMaxX() + w) && std::isfinite(e->getMinX() - w) &&
         std::isfinite(e->getMaxY() + h) && std::isfinite(e->getMinY() - h);
}

} // namespace

GeometryUtils::GeometryPtr GeometryUtils::simplify(const Geometry* g, double tolerance) {
  if (g == nullptr)
    return nullptr;
  return guarded("simplify", __LINE__, [&] {
    refuseNanTolerance(tolerance);
    return onShared(geos::simplify::DouglasPeuckerSimplifier::simplify(g, tolerance));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::simplifyPreserveTopology(const Geometry* g, double tolerance) {
  if (g == nullptr)
    return nullptr;
  return guarded("simplifyPreserveTopology", __LINE__, [&]() -> GeometryPtr {
    refuseNanTolerance(tolerance);
    // A negative tolerance is the library's own refusal, whatever the coordinates.
    if (tolerance >= 0 && !indexableExtent(*g))
      return nullptr;
    return onShared(geos::simplify::TopologyPreservingSimplifier::simplify(g, tolerance));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::intersection(const Geometry* a, const Geometry* b, int metric) {
  checkMetric(metric, "intersection");
  if (!overlayable(a, b))
    return nullptr;
  return guarded("intersection", __LINE__, [&] { return onShared(a->intersection(b)); });
}

GeometryUtils::GeometryPtr GeometryUtils::difference(const Geometry* a, const Geometry* b) {
  if (!overlayable(a, b))
    return nullptr;
  return guarded("difference", __LINE__, [&] { return onShared(a->difference(b)); });
}

GeometryUtils::GeometryPtr GeometryUtils::erase(const Geometry* a, const Geometry* b) {
  return difference(a, b);
}

GeometryUtils::GeometryPtr GeometryUtils::symmetricDifference(const Geometry* a, const Geometry* b) {
  if (!overlayable(a, b))
    return nullptr;
  return guarded("symmetricDifference", __LINE__, [&] { return onShared(a->symDifference(b)); });
}

GeometryUtils::GeometryPtr GeometryUtils::geosUnion(const Geometry* a, const Geometry* b, bool nullIsNull) {
  if (a == nullptr || b == nullptr) {
    const Geometry* other = a == nullptr ? b : a;
    return nullIsNull || other == nullptr ? nullptr : copyOf(*other);
  }
  if (!overlayable(a, b))
    return nullptr;
  return guarded("geosUnion", __LINE__, [&] { return onShared(a->Union(b)); });
}

GeometryUtils::GeometryPtr GeometryUtils::geosUnionCollection(const Geometry* g) {
  if (!overlayable(g, g))
    return nullptr;
  return guarded("geosUnionCollection", __LINE__, [&] {
    const GeometryPtr cleaned = withoutEmptyParts(*g);
    return onShared((cleaned ? cleaned.get() : g)->Union());
  });
}

GeometryUtils::GeometryPtr GeometryUtils::update(const Geometry* a, const Geometry* b) {
  if (!overlayable(a, b))
    return nullptr;
  return guarded("update", __LINE__, [&] {
    const GeometryPtr rest = a->difference(b);
    return onShared(rest->Union(b));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::clip(const Geometry* a, const Geometry* b) {
  if (!overlayable(a, b))
    return nullptr;
  if (b->isEmpty())
    return GeometryPtr(factory().createGeometryCollection());
  return guarded("clip", __LINE__, [&] {
    const GeometryPtr box = b->getEnvelope();
    return onShared(a->intersection(box.get()));
  });
}

namespace {

// Members of g, multi-geometries taken apart (one level: geometry collections are kept whole).
void appendMembers(const Geometry& g, std::vector<std::unique_ptr<Geometry>>& out) {
  const auto id = g.getGeometryTypeId();
  if (id == GeometryTypeId::GEOS_MULTIPOINT || id == GeometryTypeId::GEOS_MULTILINESTRING ||
      id == GeometryTypeId::GEOS_MULTIPOLYGON) {
    for (std::size_t i = 0; i < g.getNumGeometries(); ++i)
      out.push_back(copyOf(*g.getGeometryN(i)));
  } else {
    out.push_back(copyOf(g));
  }
}

// 0 points, 1 lines, 2 polygons, -1 a geometry collection.
int basicKind(const Geometry& g) {
  switch (g.getGeometryTypeId()) {
  case GeometryTypeId::GEOS_POINT:
  case GeometryTypeId::GEOS_MULTIPOINT:
    return 0;
  case GeometryTypeId::GEOS_LINESTRING:
  case GeometryTypeId::GEOS_LINEARRING:
  case GeometryTypeId::GEOS_MULTILINESTRING:
    return 1;
  case GeometryTypeId::GEOS_POLYGON:
  case GeometryTypeId::GEOS_MULTIPOLYGON:
    return 2;
  default:
    return -1;
  }
}

GeometryPtr multiOfKind(int kind, std::vector<std::unique_ptr<Geometry>>&& members) {
  if (kind == 0)
    return factory().createMultiPoint(std::move(members));
  if (kind == 1)
    return factory().createMultiLineString(std::move(members));
  return factory().createMultiPolygon(std::move(members));
}

} // namespace

GeometryUtils::GeometryPtr GeometryUtils::collect(const Geometry* a, const Geometry* b) {
  if (a == nullptr || b == nullptr) {
    const Geometry* other = a == nullptr ? b : a;
    return other == nullptr ? nullptr : copyOf(*other);
  }
  return guarded("collect", __LINE__, [&] {
    std::vector<std::unique_ptr<Geometry>> members;
    const int kind = basicKind(*a);
    if (kind >= 0 && kind == basicKind(*b)) {
      appendMembers(*a, members);
      appendMembers(*b, members);
      return multiOfKind(kind, std::move(members));
    }
    members.push_back(copyOf(*a));
    members.push_back(copyOf(*b));
    return GeometryPtr(factory().createGeometryCollection(std::move(members)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::collectionExtract(const Geometry* g, int type, bool& isNull) {
  if (g == nullptr || type < 1 || type > 3) {
    isNull = true;
    return nullptr;
  }
  std::vector<std::unique_ptr<Geometry>> members;
  std::vector<const Geometry*> pending{g};
  while (!pending.empty()) {
    const Geometry* cur = pending.back();
    pending.pop_back();
    if (isCollectionType(*cur)) {
      for (std::size_t i = cur->getNumGeometries(); i-- > 0;)
        pending.push_back(cur->getGeometryN(i));
    } else if (basicKind(*cur) == type - 1 && !cur->isEmpty()) {
      members.push_back(copyOf(*cur));
    }
  }
  return guarded("collectionExtract", __LINE__, [&] { return multiOfKind(type - 1, std::move(members)); });
}

GeometryUtils::GeometryPtr GeometryUtils::collectionHomogenize(const Geometry* g, bool& isNull) {
  if (g == nullptr) {
    isNull = true;
    return nullptr;
  }
  if (!isCollectionType(*g))
    return copyOf(*g);
  std::vector<std::unique_ptr<Geometry>> members;
  std::vector<const Geometry*> pending{g};
  int kind = -2; // -2 none seen yet, -1 mixed
  while (!pending.empty()) {
    const Geometry* cur = pending.back();
    pending.pop_back();
    if (isCollectionType(*cur)) {
      for (std::size_t i = cur->getNumGeometries(); i-- > 0;)
        pending.push_back(cur->getGeometryN(i));
    } else if (!cur->isEmpty()) {
      const int k = basicKind(*cur);
      kind = kind == -2 || kind == k ? k : -1;
      members.push_back(copyOf(*cur));
    }
  }
  if (members.empty())
    return GeometryPtr(factory().createGeometryCollection());
  if (members.size() == 1)
    return std::move(members.front());
  return guarded("collectionHomogenize", __LINE__, [&] {
    return kind >= 0 ? multiOfKind(kind, std::move(members))
                     : GeometryPtr(factory().createGeometryCollection(std::move(members)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::multi(const Geometry* g) {
  if (g == nullptr)
    return nullptr;
  if (isCollectionType(*g))
    return copyOf(*g);
  std::vector<std::unique_ptr<Geometry>> members;
  members.push_back(copyOf(*g));
  return guarded("multi", __LINE__, [&] { return multiOfKind(basicKind(*g), std::move(members)); });
}

GeometryUtils::GeometryPtr GeometryUtils::makeValid(const Geometry* g, std::string_view parameters,
                                                    bool& isNull) {
  bool structure = false, keepCollapsed = false;
  std::size_t i = 0;
  while (i < parameters.size()) {
    if (parameters[i] == ' ') {
      ++i;
      continue;
    }
    const std::size_t end = std::min(parameters.find(' ', i), parameters.size());
    const std::string_view word = parameters.substr(i, end - i);
    i = end;
    if (word == "method=linework")
      structure = false;
    else if (word == "method=structure")
      structure = true;
    else if (word == "keepcollapsed=true")
      keepCollapsed = true;
    else if (word == "keepcollapsed=false")
      keepCollapsed = false;
    else
      refuse(__LINE__, "makeValid", "unknown parameter '" + std::string(word) + "'");
  }
  if (g == nullptr) {
    isNull = true;
    return nullptr;
  }
  return guarded("makeValid", __LINE__, [&] {
    if (!structure)
      return onShared(geos::operation::valid::MakeValid().build(g));
    geos::geom::util::GeometryFixer fixer(g);
    fixer.setKeepCollapsed(keepCollapsed);
    return onShared(fixer.getResult());
  });
}

// nullptr (NULL) for a geometry with a coordinate that is not finite: the library's ring normaliser
// looks for the least vertex, finds none among NaN coordinates and then dereferences it.
GeometryUtils::GeometryPtr GeometryUtils::normalize(const Geometry* g) {
  if (g == nullptr || !finiteXY(*g))
    return nullptr;
  GeometryPtr out = copyOf(*g);
  guarded("normalize", __LINE__, [&] { out->normalize(); });
  return out;
}

GeometryUtils::GeometryPtr GeometryUtils::reverse(const Geometry* g) {
  if (g == nullptr)
    return nullptr;
  return guarded("reverse", __LINE__, [&] { return onShared(g->reverse()); });
}

GeometryUtils::GeometryPtr GeometryUtils::lineMerge(const Geometry* g, bool& isNull) {
  if (g == nullptr) {
    isNull = true;
    return nullptr;
  }
  return guarded("lineMerge", __LINE__, [&] {
    geos::operation::linemerge::LineMerger merger;
    merger.add(g);
    auto lines = merger.getMergedLineStrings();
    if (lines.size() == 1)
      return onShared(std::move(lines.front()));
    std::vector<std::unique_ptr<Geometry>> members;
    for (auto& l : lines)
      members.push_back(onShared(std::move(l)));
    return GeometryPtr(factory().createMultiLineString(std::move(members)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::lineInterpolatePoint(const Geometry* g, double fraction,
                                                               bool& isNull) {
  if (!isLine(g) || g->isEmpty() || !(fraction >= 0.0 && fraction <= 1.0)) {
    isNull = true;
    return nullptr;
  }
  return guarded("lineInterpolatePoint", __LINE__, [&] {
    const geos::linearref::LengthIndexedLine indexed(g);
    return pointAt(indexed.extractPoint(fraction * g->getLength()));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::lineSubstring(const Geometry* g, double start, double end,
                                                        bool& isNull) {
  if (!isLine(g) || g->isEmpty() || !(start >= 0.0 && start <= end && end <= 1.0)) {
    isNull = true;
    return nullptr;
  }
  return guarded("lineSubstring", __LINE__, [&] {
    const geos::linearref::LengthIndexedLine indexed(g);
    const double total = g->getLength();
    return onShared(indexed.extractLine(start * total, end * total));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::closestPoint(const Geometry* a, const Geometry* b, bool& isNull,
                                                       int metric) {
  const GeoMetric m = checkMetric(metric, "closestPoint");
  if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  GeometryPtr out = guarded("closestPoint", __LINE__, [&]() -> GeometryPtr {
    const NearestPair p = nearestPair(m, *a, *b);
    return std::isnan(p.distance) ? nullptr : pointAt(p.onA);
  });
  isNull = out == nullptr;
  return out;
}

GeometryUtils::GeometryPtr GeometryUtils::near(const Geometry* a, const Geometry* b, bool& isNull) {
  if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  GeometryPtr out = guarded("near", __LINE__, [&]() -> GeometryPtr {
    const NearestPair p = nearestPair(GeoMetric::Planar, *a, *b);
    return std::isnan(p.distance) ? nullptr : pointAt(p.onB);
  });
  isNull = out == nullptr;
  return out;
}

GeometryUtils::GeometryPtr GeometryUtils::partition(const Geometry* g, int parts) {
  if (!overlayable(g, g) || parts < 1 || parts > kMaxGridCells)
    return nullptr;
  if (g->isEmpty())
    return GeometryPtr(factory().createGeometryCollection());
  return guarded("partition", __LINE__, [&] {
    const auto* e = g->getEnvelopeInternal();
    const int strips = e->getWidth() > 0.0 ? parts : 1; // zero-width strips would all repeat g
    const double width = e->getWidth() / strips;
    std::vector<std::unique_ptr<Geometry>> pieces;
    for (int i = 0; i < strips; ++i) {
      // Strip edges are computed from the box's sides so that the last strip ends exactly on maxX.
      const double x0 = i == 0 ? e->getMinX() : e->getMinX() + width * i;
      const double x1 = i == strips - 1 ? e->getMaxX() : e->getMinX() + width * (i + 1);
      const GeometryPtr strip = createEnvelope(x0, e->getMinY(), x1, e->getMaxY());
      GeometryPtr piece = onShared(g->intersection(strip.get()));
      if (!piece->isEmpty())
        pieces.push_back(std::move(piece));
    }
    return GeometryPtr(factory().createGeometryCollection(std::move(pieces)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::shortestLine(const Geometry* a, const Geometry* b, bool& isNull) {
  if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  return guarded("shortestLine", __LINE__, [&]() -> GeometryPtr {
    const NearestPair p = nearestPair(GeoMetric::Planar, *a, *b);
    if (std::isnan(p.distance)) {
      isNull = true;
      return nullptr;
    }
    return lineFrom({p.onA, p.onB});
  });
}

GeometryUtils::GeometryPtr GeometryUtils::longestLine(const Geometry* a, const Geometry* b, bool& isNull,
                                                      int metric) {
  const GeoMetric m = checkMetric(metric, "longestLine");
  if (a == nullptr || b == nullptr || a->isEmpty() || b->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  const NearestPair p = farthestPair(m, *a, *b);
  return lineFrom({p.onA, p.onB});
}

namespace {

// 0-based index of `position` among n slots, negative counting from the end; -1 when out of range.
long slotIndex(int position, long n) {
  const long i = position < 0 ? n + position : position;
  return i >= 0 && i < n ? i : -1;
}

} // namespace

GeometryUtils::GeometryPtr GeometryUtils::addPoint(const Geometry* line, const Geometry* point, bool& isNull,
                                                   int position) {
  if (!isLine(line) || line->isEmpty() || !isPoint(point)) {
    isNull = true;
    return nullptr;
  }
  std::vector<Coordinate> coords = vertices(*line);
  const long n = static_cast<long>(coords.size());
  const long at = position == -1 ? n : position;
  if (at < 0 || at > n) {
    isNull = true;
    return nullptr;
  }
  coords.insert(coords.begin() + at, pointCoordinate(*point));
  return lineFrom(std::move(coords));
}

GeometryUtils::GeometryPtr GeometryUtils::removePoint(const Geometry* line, int position, bool& isNull) {
  const long n = isLine(line) ? static_cast<long>(line->getNumPoints()) : 0;
  const long at = slotIndex(position, n);
  if (n < 3 || at < 0) {
    isNull = true;
    return nullptr;
  }
  std::vector<Coordinate> coords = vertices(*line);
  coords.erase(coords.begin() + at);
  return lineFrom(std::move(coords));
}

GeometryUtils::GeometryPtr GeometryUtils::setPoint(const Geometry* line, int position, const Geometry* point,
                                                   bool& isNull) {
  const long n = isLine(line) ? static_cast<long>(line->getNumPoints()) : 0;
  const long at = slotIndex(position, n);
  if (at < 0 || !isPoint(point)) {
    isNull = true;
    return nullptr;
  }
  std::vector<Coordinate> coords = vertices(*line);
  coords[static_cast<std::size_t>(at)] = pointCoordinate(*point);
  return lineFrom(std::move(coords));
}

GeometryUtils::GeometryPtr GeometryUtils::removeRepeatedPoints(const Geometry* g, float tolerance) {
  if (g == nullptr)
    return nullptr;
  const double tol = tolerance;
  return guarded("removeRepeatedPoints", __LINE__, [&] {
    return editSequences(*g, [&](const CoordinateSequence& s) {
      std::vector<Coordinate> kept;
      for (std::size_t i = 0; i < s.size(); ++i) {
        const Coordinate c = s.getAt(i);
        if (kept.empty() || std::hypot(c.x - kept.back().x, c.y - kept.back().y) > tol)
          kept.push_back(c);
      }
      const bool closed = s.size() > 1 && s.getAt(0).equals2D(s.getAt(s.size() - 1));
      if (closed) {
        // A ring ends where it starts: the last kept vertex gives way to the exact closing vertex.
        if (kept.size() > 1 &&
            std::hypot(kept.back().x - kept.front().x, kept.back().y - kept.front().y) <= tol)
          kept.pop_back();
        kept.push_back(kept.front());
        if (kept.size() < 4)
          kept = coordinatesOf(s);
      } else if (s.size() >= 2 && kept.size() < 2) {
        kept.push_back(s.getAt(s.size() - 1));
      }
      return sequenceOf(std::move(kept), s.getDimension());
    });
  });
}

GeometryUtils::GeometryPtr GeometryUtils::rotate(const Geometry* g, float angle, float x, float y) {
  if (g == nullptr)
    return nullptr;
  const double c = std::cos(static_cast<double>(angle)), s = std::sin(static_cast<double>(angle));
  const double x0 = x, y0 = y;
  return mapCoordinates(*g, [&](Coordinate& p) {
    const double dx = p.x - x0, dy = p.y - y0;
    p.x = x0 + dx * c - dy * s;
    p.y = y0 + dx * s + dy * c;
  });
}

GeometryUtils::GeometryPtr GeometryUtils::rotate(const Geometry* g, float angle, const Geometry* origin,
                                                 bool& isNull) {
  if (g == nullptr || !isPoint(origin)) {
    isNull = true;
    return nullptr;
  }
  const Coordinate& o = pointCoordinate(*origin);
  const double c = std::cos(static_cast<double>(angle)), s = std::sin(static_cast<double>(angle));
  return mapCoordinates(*g, [&](Coordinate& p) {
    const double dx = p.x - o.x, dy = p.y - o.y;
    p.x = o.x + dx * c - dy * s;
    p.y = o.y + dx * s + dy * c;
  });
}

GeometryUtils::GeometryPtr GeometryUtils::scale(const Geometry* g, float sx, float sy) {
  if (g == nullptr)
    return nullptr;
  return mapCoordinates(*g, [&](Coordinate& p) {
    p.x *= static_cast<double>(sx);
    p.y *= static_cast<double>(sy);
  });
}

GeometryUtils::GeometryPtr GeometryUtils::scale(const Geometry* g, const Geometry* factors, bool& isNull) {
  if (g == nullptr || !isPoint(factors)) {
    isNull = true;
    return nullptr;
  }
  const Coordinate f = pointCoordinate(*factors);
  return mapCoordinates(*g, [&](Coordinate& p) {
    p.x *= f.x;
    p.y *= f.y;
    if (!std::isnan(f.z))
      p.z *= f.z; // a NaN Z (none) stays NaN
  });
}

GeometryUtils::GeometryPtr GeometryUtils::translate(const Geometry* g, float dx, float dy) {
  if (g == nullptr)
    return nullptr;
  return mapCoordinates(*g, [&](Coordinate& p) {
    p.x += static_cast<double>(dx);
    p.y += static_cast<double>(dy);
  });
}

GeometryUtils::GeometryPtr GeometryUtils::shiftLongitude(const Geometry* g) {
  if (g == nullptr)
    return nullptr;
  return mapCoordinates(*g, [](Coordinate& p) {
    if (p.x < 0.0)
      p.x += 360.0;
    else if (p.x > 180.0)
      p.x -= 360.0;
  });
}

GeometryUtils::GeometryPtr GeometryUtils::wrapX(const Geometry* g, double wrap, double move) {
  if (g == nullptr)
    return nullptr;
  if (move == 0.0 || g->isEmpty())
    return copyOf(*g);
  return guarded("wrapX", __LINE__, [&] {
    std::vector<std::unique_ptr<Geometry>> parts;
    const auto place = [&](GeometryPtr part) {
      if (part->isEmpty())
        return;
      const auto* e = part->getEnvelopeInternal();
      const bool shift = move > 0 ? e->getMaxX() <= wrap : e->getMinX() >= wrap;
      parts.push_back(shift ? mapCoordinates(*part, [&](Coordinate& p) { p.x += move; }) : std::move(part));
    };
    for (std::size_t i = 0; i < g->getNumGeometries(); ++i) {
      const Geometry* member = g->getGeometryN(i);
      const auto* e = member->getEnvelopeInternal();
      if (member->isEmpty() || !(e->getMinX() < wrap && e->getMaxX() > wrap)) {
        place(copyOf(*member));
        continue;
      }
      const GeometryPtr left = createEnvelope(e->getMinX() - 1, e->getMinY() - 1, wrap, e->getMaxY() + 1);
      const GeometryPtr right = createEnvelope(wrap, e->getMinY() - 1, e->getMaxX() + 1, e->getMaxY() + 1);
      place(onShared(member->intersection(left.get())));
      place(onShared(member->intersection(right.get())));
    }
    return onShared(factory().buildGeometry(std::move(parts)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::force2d(const Geometry* g, bool& isNull) {
  if (g == nullptr) {
    isNull = true;
    return nullptr;
  }
  return guarded("force2d", __LINE__, [&] {
    return editSequences(*g, [](const CoordinateSequence& s) {
      std::vector<Coordinate> coords = coordinatesOf(s);
      for (Coordinate& c : coords)
        c.z = geos::DoubleNotANumber;
      return sequenceOf(std::move(coords), 2);
    });
  });
}

GeometryUtils::GeometryPtr GeometryUtils::force3d(const Geometry* g, double z, bool& isNull) {
  if (g == nullptr) {
    isNull = true;
    return nullptr;
  }
  return guarded("force3d", __LINE__, [&] {
    return editSequences(*g, [&](const CoordinateSequence& s) {
      std::vector<Coordinate> coords = coordinatesOf(s);
      const bool hasZ = s.getDimension() >= 3;
      for (Coordinate& c : coords)
        if (!hasZ || std::isnan(c.z))
          c.z = z;
      return sequenceOf(std::move(coords), 3);
    });
  });
}

GeometryUtils::GeometryPtr GeometryUtils::segmentize(const Geometry* g, double length, bool& isNull,
                                                     int metric) {
  const GeoMetric m = checkMetric(metric, "segmentize");
  if (g == nullptr || !(length > 0.0) || !std::isfinite(length)) {
    isNull = true;
    return nullptr;
  }
  // Refuse outputs of more than kMaxDensifiedVertices vertices before building any.
  double pieces = 0.0;
  forEachPart(
      *g, [](const Coordinate&) {},
      [&](const CoordinateSequence& s, Part) {
        for (std::size_t i = 1; i < s.size(); ++i)
          pieces += std::ceil(pointDistance(m, s.getAt(i - 1), s.getAt(i)) / length);
      });
  if (!(pieces <= static_cast<double>(kMaxDensifiedVertices))) {
    isNull = true;
    return nullptr;
  }
  return guarded("segmentize", __LINE__, [&] {
    return editSequences(*g, [&](const CoordinateSequence& s) {
      std::vector<Coordinate> out;
      for (std::size_t i = 0; i < s.size(); ++i) {
        const Coordinate b = s.getAt(i);
        if (i > 0) {
          const Coordinate a = s.getAt(i - 1);
          const double d = pointDistance(m, a, b);
          const int n = static_cast<int>(std::ceil(d / length));
          if (n > 1 && m == GeoMetric::Planar) {
            for (int k = 1; k < n; ++k) {
              const double t = static_cast<double>(k) / n;
              out.emplace_back(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t);
            }
          } else if (n > 1) {
            const GeographicLib::GeodesicLine line = geodesicOf(m).InverseLine(a.y, a.x, b.y, b.x);
            for (int k = 1; k < n; ++k) {
              const double t = static_cast<double>(k) / n;
              double lat, lon;
              line.Position(d * t, lat, lon);
              out.emplace_back(lon, lat, a.z + (b.z - a.z) * t);
            }
          }
        }
        out.push_back(b);
      }
      return sequenceOf(std::move(out), s.getDimension());
    });
  });
}

GeometryUtils::GeometryPtr GeometryUtils::projectPoint(const Geometry* g, float distance, float azimuth,
                                                       bool& isNull) {
  if (!isPoint(g)) {
    isNull = true;
    return nullptr;
  }
  const Coordinate& p = pointCoordinate(*g);
  double lat, lon;
  GeographicLib::Geodesic::WGS84().Direct(p.y, p.x, static_cast<double>(azimuth) * (180.0 / std::numbers::pi),
                                          static_cast<double>(distance), lat, lon);
  return pointAt(Coordinate(lon, lat));
}

GeometryUtils::GeometryPtr GeometryUtils::snap(const Geometry* a, const Geometry* b, float tolerance) {
  if (a == nullptr || b == nullptr)
    return nullptr;
  return guarded("snap", __LINE__, [&] {
    geos::operation::overlay::snap::GeometrySnapper snapper(*a);
    return onShared(snapper.snapTo(*b, static_cast<double>(tolerance)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::sharedPaths(const Geometry* a, const Geometry* b, bool& isNull) {
  if (a == nullptr || b == nullptr || dimension(a) != 1 || dimension(b) != 1) {
    isNull = true;
    return nullptr;
  }
  return guarded("sharedPaths", __LINE__, [&] {
    using geos::operation::sharedpaths::SharedPathsOp;
    SharedPathsOp::PathList forward, backward;
    // The operation hands out raw lines; own them at once so that every path is freed on any exit.
    const auto own = [](SharedPathsOp::PathList& paths) {
      std::vector<std::unique_ptr<Geometry>> out;
      for (auto* p : paths)
        out.emplace_back(p);
      paths.clear();
      return out;
    };
    try {
      SharedPathsOp::sharedPathsOp(*a, *b, forward, backward);
    } catch (...) {
      own(forward);
      own(backward);
      throw;
    }
    std::vector<std::unique_ptr<Geometry>> members;
    members.push_back(factory().createMultiLineString(own(forward)));
    members.push_back(factory().createMultiLineString(own(backward)));
    return GeometryPtr(factory().createGeometryCollection(std::move(members)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::voronoiPolygons(const Geometry* g, bool& isNull, double tolerance,
                                                          const Geometry* extent) {
  if (g == nullptr || g->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  return guarded("voronoiPolygons", __LINE__, [&] {
    geos::triangulate::VoronoiDiagramBuilder builder;
    builder.setSites(*g);
    builder.setTolerance(tolerance);
    if (extent != nullptr && !extent->isEmpty())
      builder.setClipEnvelope(extent->getEnvelopeInternal());
    return GeometryPtr(builder.getDiagram(factory()));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::delaunayTriangles(const Geometry* g, double tolerance,
                                                            bool onlyEdges) {
  if (g == nullptr)
    return nullptr;
  return guarded("delaunayTriangles", __LINE__, [&] {
    geos::triangulate::DelaunayTriangulationBuilder builder;
    builder.setSites(*g);
    builder.setTolerance(tolerance);
    return onlyEdges ? GeometryPtr(builder.getEdges(factory()))
                     : GeometryPtr(builder.getTriangles(factory()));
  });
}

// A set operation: like the overlays, no result (NULL) for a coordinate that is not finite.
GeometryUtils::GeometryPtr GeometryUtils::xyIntersection(double x, double y, const Geometry* g) {
  if (g == nullptr || !std::isfinite(x) || !std::isfinite(y) || !finiteXY(*g))
    return nullptr;
  if (locateXY(x, y, g) == Location::EXTERIOR)
    return GeometryPtr(factory().createPoint(2));
  return pointAt(Coordinate(x, y));
}

// ---- Grids
// ------------------------------------------------------------------------------------------------------

namespace {

// Cells along one side: ceil(extent / size), at least 1 for a degenerate side. -1 when unusable.
double cellCount(double lo, double hi, double size) {
  if (!(size > 0.0) || !std::isfinite(size) || !std::isfinite(lo) || !std::isfinite(hi) || lo > hi)
    return -1.0;
  return std::max(1.0, std::ceil((hi - lo) / size));
}

} // namespace

GeometryUtils::GeometryPtr GeometryUtils::rectangleGrid(double xmin, double ymin, double xmax, double ymax,
                                                        double width, double height, std::int64_t limit,
                                                        bool& isNull) {
  const double nx = cellCount(xmin, xmax, width), ny = cellCount(ymin, ymax, height);
  if (nx < 0 || ny < 0 || limit < 0 || limit > kMaxGridCells || nx * ny > static_cast<double>(limit)) {
    isNull = true;
    return nullptr;
  }
  std::vector<std::unique_ptr<Geometry>> cells;
  cells.reserve(static_cast<std::size_t>(nx * ny));
  for (std::int64_t j = 0; j < static_cast<std::int64_t>(ny); ++j)
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(nx); ++i) {
      const double x0 = xmin + static_cast<double>(i) * width, y0 = ymin + static_cast<double>(j) * height;
      cells.push_back(createEnvelope(x0, y0, x0 + width, y0 + height));
    }
  return factory().createMultiPolygon(std::move(cells));
}

GeometryUtils::GeometryPtr GeometryUtils::pointGrid(double xmin, double ymin, double xmax, double ymax,
                                                    double size, std::int64_t limit, bool& isNull) {
  const double nx = cellCount(xmin, xmax, size), ny = cellCount(ymin, ymax, size);
  if (nx < 0 || ny < 0 || limit < 0 || limit > kMaxGridCells || nx * ny > static_cast<double>(limit)) {
    isNull = true;
    return nullptr;
  }
  std::vector<Coordinate> corners;
  corners.reserve(static_cast<std::size_t>(nx * ny));
  for (std::int64_t j = 0; j < static_cast<std::int64_t>(ny); ++j)
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(nx); ++i)
      corners.emplace_back(xmin + static_cast<double>(i) * size, ymin + static_cast<double>(j) * size);
  return factory().createMultiPoint(std::move(corners));
}

GeometryUtils::GeometryPtr GeometryUtils::hexGrid(double xmin, double ymin, double xmax, double ymax,
                                                  double size, std::int64_t limit, bool& isNull) {
  const double h = std::sqrt(3.0) / 2 * size; // half the height of a hexagon
  // Columns whose hexagons reach into [xmin, xmax]: centres xmin + 1.5 size i with i >= 0 and left
  // corner below xmax; rows from the one just below ymin (odd columns are half a row up).
  const double columns = cellCount(xmin, xmax + size, 1.5 * size);
  const double rowSpan = cellCount(ymin, ymax + h, 2 * h); // -1 for a refused extent, like the columns
  const double rows = rowSpan + 1;
  if (columns < 0 || rowSpan < 0 || limit < 0 || limit > kMaxGridCells ||
      columns * rows > 4.0 * kMaxGridCells) {
    isNull = true;
    return nullptr;
  }
  std::vector<std::unique_ptr<Geometry>> cells;
  for (std::int64_t i = 0; i < static_cast<std::int64_t>(columns); ++i) {
    const double cx = xmin + 1.5 * size * static_cast<double>(i);
    if (cx - size >= xmax && i > 0)
      break;
    for (std::int64_t j = -1; j < static_cast<std::int64_t>(rows); ++j) {
      const double cy = ymin + 2 * h * (static_cast<double>(j) + (i % 2 == 1 ? 0.5 : 0.0));
      if (cy + h < ymin || cy - h > ymax)
        continue;
      if (static_cast<std::int64_t>(cells.size()) >= limit) {
        isNull = true;
        return nullptr;
      }
      std::vector<Coordinate> ring{{cx + size, cy}, {cx + size / 2, cy + h}, {cx - size / 2, cy + h},
                                   {cx - size, cy}, {cx - size / 2, cy - h}, {cx + size / 2, cy - h},
                                   {cx + size, cy}};
      cells.push_back(factory().createPolygon(std::move(ring)));
    }
  }
  return factory().createMultiPolygon(std::move(cells));
}

GeometryUtils::GeometryPtr GeometryUtils::triangleGrid(double xmin, double ymin, double xmax, double ymax,
                                                       double size, std::int64_t limit, bool& isNull) {
  const double nx = cellCount(xmin, xmax, size), ny = cellCount(ymin, ymax, size);
  if (nx < 0 || ny < 0 || limit < 0 || limit > kMaxGridCells || 2 * nx * ny > static_cast<double>(limit)) {
    isNull = true;
    return nullptr;
  }
  std::vector<std::unique_ptr<Geometry>> cells;
  cells.reserve(static_cast<std::size_t>(2 * nx * ny));
  for (std::int64_t j = 0; j < static_cast<std::int64_t>(ny); ++j)
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(nx); ++i) {
      const double x0 = xmin + static_cast<double>(i) * size, y0 = ymin + static_cast<double>(j) * size;
      const double x1 = x0 + size, y1 = y0 + size;
      cells.push_back(
          factory().createPolygon(std::vector<Coordinate>{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y0}}));
      cells.push_back(
          factory().createPolygon(std::vector<Coordinate>{{x0, y0}, {x1, y1}, {x0, y1}, {x0, y0}}));
    }
  return factory().createMultiPolygon(std::move(cells));
}

// Uniform over the area: the polygonal parts are triangulated, a triangle is drawn with probability
// proportional to its area, and a point drawn uniformly inside it (no rejection, whatever the shape).
GeometryUtils::GeometryPtr GeometryUtils::generatePoints(const Geometry* g, int count, bool& isNull) {
  if (g == nullptr || count < 1 || count > kMaxGeneratedPoints || !(area(g, 0) > 0.0)) {
    isNull = true;
    return nullptr;
  }
  return guarded("generatePoints", __LINE__, [&] {
    std::vector<std::unique_ptr<Geometry>> polygons;
    collectPolygons(*g, polygons);
    const auto all = factory().createMultiPolygon(std::move(polygons));
    const GeometryPtr triangles =
        geos::triangulate::polygon::ConstrainedDelaunayTriangulator::triangulate(all.get());
    std::vector<double> cumulative;
    std::vector<const CoordinateSequence*> corners;
    double total = 0.0;
    for (std::size_t i = 0; i < triangles->getNumGeometries(); ++i) {
      const auto* t = static_cast<const Polygon*>(triangles->getGeometryN(i));
      total += t->getArea();
      cumulative.push_back(total);
      corners.push_back(t->getExteriorRing()->getCoordinatesRO());
    }
    std::mt19937_64 rng(static_cast<std::uint64_t>(hash(g, 0)));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Coordinate> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
      const double pick = unit(rng) * total;
      const std::size_t i = std::min<std::size_t>(
          static_cast<std::size_t>(std::upper_bound(cumulative.begin(), cumulative.end(), pick) -
                                   cumulative.begin()),
          cumulative.size() - 1);
      double u = unit(rng), v = unit(rng);
      if (u + v > 1.0) { // fold the far half of the parallelogram back into the triangle
        u = 1.0 - u;
        v = 1.0 - v;
      }
      const Coordinate& a = corners[i]->getAt(0);
      const Coordinate& b = corners[i]->getAt(1);
      const Coordinate& c = corners[i]->getAt(2);
      out.emplace_back(a.x + u * (b.x - a.x) + v * (c.x - a.x), a.y + u * (b.y - a.y) + v * (c.y - a.y));
    }
    return GeometryPtr(factory().createMultiPoint(std::move(out)));
  });
}

GeometryUtils::GeometryPtr GeometryUtils::split(const Geometry* a, const Geometry* b, bool& isNull) {
  if (a == nullptr || b == nullptr || a->isEmpty()) {
    isNull = true;
    return nullptr;
  }
  const int da = dimension(a), db = dimension(b);
  if (da == 1 && (db == 1 || db == 2)) {
    // Lines cut by the blade's linework: noding the line against it splits the line at every crossing.
    return guarded("split", __LINE__, [&] {
      const GeometryPtr blade = db == 2 ? b->getBoundary() : copyOf(*b);
      const GeometryPtr pieces = a->difference(blade.get());
      const GeometryPtr shared = a->intersection(blade.get());
      std::vector<std::unique_ptr<Geometry>> lines;
      for (const GeometryPtr* part : {&pieces, &shared})
        for (std::size_t i = 0; i < (*part)->getNumGeometries(); ++i)
          if ((*part)->getGeometryN(i)->getDimension() == geos::geom::Dimension::L &&
              !(*part)->getGeometryN(i)->isEmpty())
            lines.push_back(copyOf(*(*part)->getGeometryN(i)));
      return GeometryPtr(factory().createMultiLineString(std::move(lines)));
    });
  }
  if (da == 1 && db == 0) {
    // Lines cut at the blade's points that lie on them.
    return guarded("split", __LINE__, [&] {
      std::vector<std::unique_ptr<Geometry>> lines;
      const std::vector<Coordinate> cuts = vertices(*b);
      // The lines of a, also inside nested collections; a collection of dimension 1 may hold points
      // beside its lines, which are not cut (and are not lines to read as such).
      std::vector<const LineString*> members;
      forEachAtomic(*a, [&](const Geometry& part) {
        const auto type = part.getGeometryTypeId();
        if (type == GeometryTypeId::GEOS_LINESTRING || type == GeometryTypeId::GEOS_LINEARRING)
          members.push_back(static_cast<const LineString*>(&part));
      });
      for (const LineString* line : members) {
        if (line->isEmpty())
          continue;
        const geos::linearref::LengthIndexedLine indexed(line);
        std::vector<double> at{0.0, line->getLength()};
        for (const Coordinate& c : cuts)
          if (geos::algorithm::PointLocation::isOnLine(c, line->getCoordinatesRO()))
            at.push_back(indexed.project(c));
        std::sort(at.begin(), at.end());
        at.erase(std::unique(at.begin(), at.end()), at.end());
        for (std::size_t k = 1; k < at.size(); ++k)
          lines.push_back(onShared(indexed.extractLine(at[k - 1], at[k])));
      }
      return GeometryPtr(factory().createMultiLineString(std::move(lines)));
    });
  }
  if (da == 2 && db == 1) {
    // Polygons cut by lines: the faces of the rings and the blade together, kept where inside a.
    return guarded("split", __LINE__, [&] {
      const GeometryPtr rings = a->getBoundary();
      const GeometryPtr noded = rings->Union(b);
      geos::operation::polygonize::Polygonizer polygonizer;
      polygonizer.add(noded.get());
      std::vector<std::unique_ptr<Geometry>> faces;
      for (auto& face : polygonizer.getPolygons()) {
        const GeometryPtr inner = face->getInteriorPoint();
        if (a->contains(inner.get()))
          faces.push_back(onShared(std::move(face)));
      }
      return GeometryPtr(factory().createGeometryCollection(std::move(faces)));
    });
  }
  isNull = true;
  return nullptr;
}

} // namespace vela
