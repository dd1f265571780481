// Benchmark cases of geometry functions. Points are x/y columns uniform over [-1000, 1000)^2 (longitude
// and latitude ranges for the geodesic distance); the constant polygon is a 1,000-vertex star around the
// origin (radii 600 to 1,000) that covers about half of them. Each fused loop calls the geometry library
// (or, for the geodesic distance, the geodesic solver the ops use) directly:
//   geo_contains_xy_const       one prepared geometry of the polygon per thread, a point geometry a row
//   geo_contains_xy_unprepared  the same program against the polygon's own contains (no index), the
//                               cost the classifier is compared with; at 100,000 rows, it is slow
//   geo_pip_classify            a column of classifier pointers; the loop is plain ray casting
//   geo_xy_dwithin              within 50 of a constant point, planar: the library's coordinate distance
//   geo_distance_planar/_spheroid  two point columns, metric 0 and 2
//   geo_area_wkb                100,000 small polygons read from WKB, planar area of the shell
//   geo_wkt_points              100,000 points read from WKT, then their X (so the result is a number)

#include <GeographicLib/Geodesic.hpp>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <tuple>

#include <geos/algorithm/Area.h>
#include <geos/geom/Coordinate.h>
#include <geos/geom/GeometryFactory.h>
#include <geos/geom/LinearRing.h>
#include <geos/geom/Point.h>
#include <geos/geom/Polygon.h>
#include <geos/geom/prep/PreparedGeometry.h>
#include <geos/geom/prep/PreparedGeometryFactory.h>
#include <geos/io/WKBReader.h>
#include <geos/io/WKTReader.h>

#include "base/GeometryUtils.h"
#include "base/Pip.h"
#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "bench/BenchSupport.h"
#include "cuda/ManagedObjects.h"
#include "cuda/VectorEvalTypes.h"

namespace quarry::bench {

using vela::cuda::InlineBuffer;
using vela::cuda::RPN_EVAL_NULL;
using vela::cuda::RPN_EVAL_OK;
using vela::ParserUtils::Program;
using Geometry = geos::geom::Geometry;

namespace {

// Op and load codes used below.
constexpr int kLoadF64 = 208, kLoadU64 = 164, kLoadString = 233, kConstGeometry = 51, kConstF64 = 45,
              kConstI32 = 37;
constexpr int kContainsXY = 2317, kPipClassify = 2483, kXYDWithin = 2322, kDistancePoints = 2337,
              kCastFromWkb = 781, kCastFromWkt = 780, kArea = 2330, kGeoX = 2347, kStateMax2 = 2597;
constexpr int kPlanar = 0, kSpheroid = 2;
constexpr double kWithin = 50.0;
constexpr unsigned long kMillion = 1000000, kHundredThousand = 100000, kTenThousand = 10000;

using StringCell = const InlineBuffer<char>*;

const geos::geom::GeometryFactory& factory() {
  return vela::GeometryUtils::initGeometryFactory();
}

// The star: 1,000 vertices by angle, radii alternating around 600 and 1,000 with a deterministic jitter,
// so the ring never crosses itself.
const Geometry& starPolygon() {
  static const std::unique_ptr<Geometry> polygon = [] {
    constexpr int kVertices = 1000;
    std::string wkt = "POLYGON((";
    char text[64];
    std::string first;
    for (int k = 0; k < kVertices; ++k) {
      const double angle = 2.0 * std::numbers::pi * k / kVertices;
      const double jitter = static_cast<double>(mix(99, k) % 1000) / 10.0;
      const double r = (k % 2 == 0 ? 900.0 : 600.0) + jitter;
      char* end = std::to_chars(text, text + sizeof text, r * std::cos(angle)).ptr;
      *end++ = ' ';
      end = std::to_chars(end, text + sizeof text, r * std::sin(angle)).ptr;
      const std::string vertex(text, end);
      if (k == 0)
        first = vertex;
      wkt += vertex + ",";
    }
    wkt += first + "))";
    return geos::io::WKTReader(factory()).read(wkt);
  }();
  return *polygon;
}

const geos::geom::Point& constantPoint() {
  static const std::unique_ptr<geos::geom::Point> point(
      factory().createPoint(geos::geom::Coordinate(100, -200)));
  return *point;
}

// The classifier of the star, charged to a pool of its own (the benchmark's pool must be empty between
// calls).
const vela::Pip<vela::IntervalPip>& starClassifier() {
  static vela::RamPool pool("bench-classifier");
  static const vela::Pip<vela::IntervalPip> pip(starPolygon(), &pool);
  return pip;
}

// ---- inputs -------------------------------------------------------------------------------------------

void genCoordinates(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<double, smallF64>(c, column, b, e);
}
// Columns 0 and 1: x and y; column 2: the classifier pointer in every row.
void genPipInputs(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  if (c < 2)
    return genCoordinates(c, column, b, e);
  const auto cell = reinterpret_cast<unsigned long>(&starClassifier());
  for (unsigned long r = b; r < e; ++r)
    put<unsigned long>(column, r, cell);
}
// Longitudes (even columns) and latitudes (odd columns).
void genLonLat(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  const double scale = c % 2 == 0 ? 0.18 : 0.09;
  for (unsigned long r = b; r < e; ++r)
    put<double>(column, r, smallF64(c, r) * scale);
}

void putString(InputColumn& column, unsigned long r, const void* bytes, std::size_t len) {
  InlineBuffer<char>* s = InlineBuffer<char>::allocate(len);
  std::memcpy(s->data(), bytes, len);
  put<StringCell>(column, r, s);
}

// A convex polygon of 4 to 8 vertices (a regular one of radius 1 to 10, centred in the square) as
// little-endian WKB.
void genWkbPolygons(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  unsigned char bytes[1 + 4 + 4 + 4 + 9 * 16];
  for (unsigned long r = b; r < e; ++r) {
    const std::uint64_t h = mix(c, r);
    const std::uint32_t n = 4 + h % 5, type = 3, rings = 1, points = n + 1;
    const double cx = smallF64(c + 10, r), cy = smallF64(c + 20, r), radius = 1.0 + (h >> 8) % 10;
    unsigned char* p = bytes;
    *p++ = 1;
    for (std::uint32_t v : {type, rings, points}) {
      std::memcpy(p, &v, 4);
      p += 4;
    }
    for (std::uint32_t k = 0; k <= n; ++k) {
      const double angle = 2.0 * std::numbers::pi * (k % n) / n;
      const double xy[2] = {cx + radius * std::cos(angle), cy + radius * std::sin(angle)};
      std::memcpy(p, xy, 16);
      p += 16;
    }
    putString(column, r, bytes, static_cast<std::size_t>(p - bytes));
  }
}

void genWktPoints(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  char text[80];
  for (unsigned long r = b; r < e; ++r) {
    char* end = text;
    std::memcpy(end, "POINT(", 6);
    end = std::to_chars(end + 6, text + sizeof text, smallF64(c, r)).ptr;
    *end++ = ' ';
    end = std::to_chars(end, text + sizeof text, smallF64(c + 1, r)).ptr;
    *end++ = ')';
    putString(column, r, text, static_cast<std::size_t>(end - text));
  }
}

// ---- fused loops ----------------------------------------------------------------------------------------

template <class T>
T* values(OutputBuffers& out) {
  return reinterpret_cast<T*>(out.values.data());
}

// One prepared geometry per thread: a prepared geometry builds its indexes on first use.
const geos::geom::prep::PreparedGeometry& preparedStar() {
  thread_local const std::unique_ptr<geos::geom::prep::PreparedGeometry> prepared =
      geos::geom::prep::PreparedGeometryFactory::prepare(&starPolygon());
  return *prepared;
}

rpn_eval_result_t fusedContainsPrepared(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                        unsigned long end) {
  const double* x = col<double>(in, 0);
  const double* y = col<double>(in, 1);
  auto* v = values<std::uint8_t>(out);
  const auto& prepared = preparedStar();
  for (unsigned long i = begin; i < end; ++i) {
    const std::unique_ptr<geos::geom::Point> point(factory().createPoint(geos::geom::Coordinate(x[i], y[i])));
    v[i] = prepared.contains(point.get());
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedContainsUnprepared(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                          unsigned long end) {
  const double* x = col<double>(in, 0);
  const double* y = col<double>(in, 1);
  auto* v = values<std::uint8_t>(out);
  const Geometry& star = starPolygon();
  for (unsigned long i = begin; i < end; ++i) {
    const std::unique_ptr<geos::geom::Point> point(factory().createPoint(geos::geom::Coordinate(x[i], y[i])));
    v[i] = star.contains(point.get());
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

// Even-odd ray casting over the star's ring; the points of the data never lie on an edge.
rpn_eval_result_t fusedRayCasting(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                  unsigned long end) {
  const double* x = col<double>(in, 0);
  const double* y = col<double>(in, 1);
  auto* v = values<std::uint8_t>(out);
  const auto* ring =
      static_cast<const geos::geom::Polygon&>(starPolygon()).getExteriorRing()->getCoordinatesRO();
  const std::size_t n = ring->size();
  for (unsigned long i = begin; i < end; ++i) {
    bool inside = false;
    for (std::size_t k = 1; k < n; ++k) {
      const geos::geom::Coordinate& a = ring->getAt(k - 1);
      const geos::geom::Coordinate& b = ring->getAt(k);
      if ((a.y > y[i]) != (b.y > y[i]) && x[i] < (b.x - a.x) * (y[i] - a.y) / (b.y - a.y) + a.x)
        inside = !inside;
    }
    v[i] = inside;
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedXYDWithin(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                 unsigned long end) {
  const double* x = col<double>(in, 0);
  const double* y = col<double>(in, 1);
  auto* v = values<std::uint8_t>(out);
  const geos::geom::Coordinate& c = *constantPoint().getCoordinate();
  for (unsigned long i = begin; i < end; ++i)
    v[i] = geos::geom::Coordinate(x[i], y[i]).distance(c) <= kWithin;
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedDistancePlanar(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                      unsigned long end) {
  const double *x1 = col<double>(in, 0), *y1 = col<double>(in, 1), *x2 = col<double>(in, 2),
               *y2 = col<double>(in, 3);
  auto* v = values<double>(out);
  for (unsigned long i = begin; i < end; ++i)
    v[i] = std::hypot(x1[i] - x2[i], y1[i] - y2[i]);
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedDistanceSpheroid(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                        unsigned long end) {
  const double *x1 = col<double>(in, 0), *y1 = col<double>(in, 1), *x2 = col<double>(in, 2),
               *y2 = col<double>(in, 3);
  auto* v = values<double>(out);
  const GeographicLib::Geodesic& wgs84 = GeographicLib::Geodesic::WGS84();
  for (unsigned long i = begin; i < end; ++i) {
    double s12 = 0.0;
    wgs84.Inverse(y1[i], x1[i], y2[i], x2[i], s12);
    v[i] = s12;
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedAreaWkb(const Dataset& in, OutputBuffers& out, unsigned long begin,
                               unsigned long end) {
  const StringCell* s = col<StringCell>(in, 0);
  auto* v = values<double>(out);
  geos::io::WKBReader reader(factory());
  for (unsigned long i = begin; i < end; ++i) {
    const std::unique_ptr<Geometry> g =
        reader.read(reinterpret_cast<const unsigned char*>(s[i]->data()), s[i]->size());
    const auto& polygon = static_cast<const geos::geom::Polygon&>(*g);
    v[i] = geos::algorithm::Area::ofRing(polygon.getExteriorRing()->getCoordinatesRO());
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedWktX(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const StringCell* s = col<StringCell>(in, 0);
  auto* v = values<double>(out);
  const geos::io::WKTReader reader(factory());
  for (unsigned long i = begin; i < end; ++i) {
    const std::unique_ptr<Geometry> g = reader.read(std::string(s[i]->data(), s[i]->size()));
    v[i] = static_cast<const geos::geom::Point&>(*g).getX();
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

} // namespace

void appendGeoCases(std::vector<BenchCase>& cases) {
  auto add = [&](const char* name, std::size_t width, std::vector<std::size_t> columns,
                 void (*gen)(std::size_t, InputColumn&, unsigned long, unsigned long), FusedRange fused,
                 unsigned long rows, bool stringInputs = false) {
    BenchCase c{name, false, width, std::move(columns), gen, fused, std::make_shared<Program>()};
    c.stringInputs = stringInputs;
    c.rowCounts = {rows};
    cases.push_back(std::move(c));
    return cases.back().program;
  };
  const Geometry* star = &starPolygon();
  add("geo_contains_xy_const", 1, {8, 8}, genCoordinates, fusedContainsPrepared, kMillion)
      ->pointerConstant(kConstGeometry, star)
      .column(kLoadF64, 0)
      .column(kLoadF64, 1)
      .op(kContainsXY);
  add("geo_contains_xy_unprepared", 1, {8, 8}, genCoordinates, fusedContainsUnprepared, kTenThousand)
      ->pointerConstant(kConstGeometry, star)
      .column(kLoadF64, 0)
      .column(kLoadF64, 1)
      .op(kContainsXY);
  add("geo_pip_classify", 1, {8, 8, 8}, genPipInputs, fusedRayCasting, kMillion)
      ->column(kLoadF64, 0)
      .column(kLoadF64, 1)
      .column(kLoadU64, 2)
      .op(kPipClassify);
  add("geo_xy_dwithin", 1, {8, 8}, genCoordinates, fusedXYDWithin, kMillion)
      ->column(kLoadF64, 0)
      .column(kLoadF64, 1)
      .pointerConstant(kConstGeometry, &constantPoint())
      .constant(kConstF64, kWithin)
      .constant(kConstI32, kPlanar)
      .op(kXYDWithin);
  for (const auto& [name, metric, gen, fused] :
       {std::tuple{"geo_distance_planar", kPlanar, &genCoordinates, &fusedDistancePlanar},
        std::tuple{"geo_distance_spheroid", kSpheroid, &genLonLat, &fusedDistanceSpheroid}})
    add(name, 8, {8, 8, 8, 8}, gen, fused, kMillion)
        ->column(kLoadF64, 0)
        .column(kLoadF64, 1)
        .column(kLoadF64, 2)
        .column(kLoadF64, 3)
        .constant(kConstI32, metric)
        .op(kDistancePoints);
  add("geo_area_wkb", 8, {8}, genWkbPolygons, fusedAreaWkb, kHundredThousand, true)
      ->column(kLoadString, 0)
      .op(kCastFromWkb)
      .constant(kConstI32, kPlanar)
      .op(kArea)
      .op(kStateMax2);
  add("geo_wkt_points", 8, {8}, genWktPoints, fusedWktX, kHundredThousand, true)
      ->column(kLoadString, 0)
      .op(kCastFromWkt)
      .op(kGeoX)
      .op(kStateMax2);
}

} // namespace quarry::bench
