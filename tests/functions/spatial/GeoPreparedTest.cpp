// Constant polygons answered from their point-in-polygon index: every point predicate and every
// topological two-geometry predicate must give, with the polygon as a program constant, exactly the rows
// it gives with the polygon as a column (the general path), through both evaluators, on points at and
// between every vertex and edge, NaN and infinite coordinates, holes, multi-polygons, invalid and
// non-polygonal constants (which keep the general path), and random points. For valid shapes the rows
// are also checked against an exact crossing-number model written here.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <geos/geom/Geometry.h>

#include "base/CallContext.h"
#include "base/GeometryCodec.h"
#include "base/GeometryUtils.h"
#include "functions/spatial/GeoConstants.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;
using Wkt = std::optional<std::string>;

namespace {

constexpr TypedRpnOp kLoadGeometry = 236, kConstGeometry = 51;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Ring = std::vector<std::pair<double, double>>;

std::unique_ptr<geos::geom::Geometry> parse(const std::string& wkt) {
  std::unique_ptr<geos::geom::Geometry> g;
  EXPECT_TRUE(vela::GeometryCodec::readWkt(wkt.data(), wkt.size(), g).ok()) << wkt;
  return g;
}

// Exact for coordinates that are small multiples of 1/2: 0 outside, 1 inside, 2 on a ring. Crossings of
// the ray towards +X counted over each edge's half-open Y range; all rings count alike (even-odd), which
// for a valid polygon or multi-polygon is the point set itself.
int modelClass(const std::vector<Ring>& rings, double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y))
    return 0;
  bool inside = false;
  for (const Ring& ring : rings)
    for (std::size_t i = 1; i < ring.size(); ++i) {
      const auto [ax, ay] = ring[i - 1];
      const auto [bx, by] = ring[i];
      const double cross = (bx - ax) * (y - ay) - (x - ax) * (by - ay);
      if (cross == 0 && x >= std::min(ax, bx) && x <= std::max(ax, bx) && y >= std::min(ay, by) &&
          y <= std::max(ay, by))
        return 2;
      if ((ay <= y) != (by <= y) && (by > ay ? cross > 0 : cross < 0))
        inside = !inside;
    }
  return inside ? 1 : 0;
}

// A shape: its text, and its rings for the model when it is a valid polygonal shape (empty otherwise).
struct Shape {
  std::string wkt;
  std::vector<Ring> rings;
};

Ring box(double x0, double y0, double x1, double y1) {
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
}

const std::vector<Shape>& shapes() {
  static const std::vector<Shape> all = {
      // A square with a square hole; a hole touching the shell at a corner.
      {"POLYGON((0 0,10 0,10 10,0 10,0 0),(2 2,2 5,5 5,5 2,2 2))", {box(0, 0, 10, 10), box(2, 2, 5, 5)}},
      {"POLYGON((0 0,10 0,10 10,0 10,0 0),(0 0,4 1,1 4,0 0))",
       {box(0, 0, 10, 10), {{0, 0}, {4, 1}, {1, 4}, {0, 0}}}},
      // Two squares meeting at a vertex; a concave shape with slanted edges and a repeated vertex.
      {"MULTIPOLYGON(((0 0,4 0,4 4,0 4,0 0)),((4 4,8 4,8 8,4 8,4 4)))", {box(0, 0, 4, 4), box(4, 4, 8, 8)}},
      {"POLYGON((0 0,6 0,6 6,6 6,3 2,0 6,0 0))", {{{0, 0}, {6, 0}, {6, 6}, {6, 6}, {3, 2}, {0, 6}, {0, 0}}}},
      // Not indexed, so answered by the general path in both forms: a bow tie, overlapping members, a
      // hole outside its shell, a collection, a line, a point, an empty polygon.
      {"POLYGON((0 0,4 4,4 0,0 4,0 0))", {}},
      {"MULTIPOLYGON(((0 0,4 0,4 4,0 4,0 0)),((2 2,6 2,6 6,2 6,2 2)))", {}},
      {"POLYGON((0 0,4 0,4 4,0 4,0 0),(5 5,6 5,6 6,5 6,5 5))", {}},
      {"GEOMETRYCOLLECTION(POLYGON((0 0,4 0,4 4,0 4,0 0)))", {}},
      {"LINESTRING(0 0,4 4,8 0)", {}},
      {"POINT(2 2)", {}},
      {"POLYGON EMPTY", {}}};
  return all;
}

// Points every half unit over [-1, 11]^2 (every vertex, edge midpoint and cell centre of the shapes),
// then NaN, infinite and far coordinates.
void gridPoints(std::vector<double>& xs, std::vector<double>& ys) {
  for (int i = -2; i <= 22; ++i)
    for (int j = -2; j <= 22; ++j)
      xs.push_back(i / 2.0), ys.push_back(j / 2.0);
  const double odd[][2] = {{kNaN, 1}, {1, kNaN}, {kInf, 1}, {-kInf, 1}, {1, -kInf}, {-1e300, 3}, {3, 1e300}};
  for (const auto& p : odd)
    xs.push_back(p[0]), ys.push_back(p[1]);
}

// The point predicates: code, geometry pushed first, and the classes (0, 1, 2) for which each holds.
struct PointOp {
  TypedRpnOp code;
  bool geometryFirst;
  std::vector<int> holdsFor;
};
const std::vector<PointOp> kPointOps = {{2317, true, {1}},    {2318, true, {1}},  {2319, false, {1, 2}},
                                        {2320, true, {1, 2}}, {2321, false, {0}}, {2325, false, {1, 2}},
                                        {2326, false, {2}},   {2327, false, {1}}};

std::vector<Bool> cells(const HarnessResult& r) {
  std::vector<Bool> out;
  for (unsigned long i = 0; i < r.rows; ++i)
    out.push_back(r.value<Bool>(i));
  return out;
}

// Rows of a point predicate with the geometry as a constant, or as a column holding `wkt` in every row.
std::vector<Bool> pointRows(const PointOp& op, const std::string& wkt, const geos::geom::Geometry* constant,
                            const std::vector<double>& xs, const std::vector<double>& ys,
                            std::vector<unsigned long> counts) {
  Program p;
  const auto geometry = [&] {
    if (constant != nullptr)
      p.pointerConstant(kConstGeometry, constant);
    else
      p.column(kLoadGeometry, 2);
  };
  if (op.geometryFirst)
    geometry();
  p.column(kLoadF64, 0).column(kLoadF64, 1);
  if (!op.geometryFirst)
    geometry();
  p.op(op.code);
  HarnessCase c(p);
  c.addColumn(xs).addColumn(ys).rowCounts(std::move(counts));
  if (constant == nullptr)
    c.addGeometryColumn(std::vector<Wkt>(xs.size(), wkt));
  return cells(c.run());
}

void expectPointOpsAgree(const std::string& wkt, const std::vector<Ring>& rings,
                         const std::vector<double>& xs, const std::vector<double>& ys,
                         std::vector<unsigned long> counts) {
  const auto g = parse(wkt);
  for (const PointOp& op : kPointOps) {
    SCOPED_TRACE(testing::Message() << op.code << " " << wkt);
    const std::vector<Bool> prepared = pointRows(op, wkt, g.get(), xs, ys, counts);
    const std::vector<Bool> general = pointRows(op, wkt, nullptr, xs, ys, counts);
    ASSERT_EQ(prepared.size(), xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) {
      ASSERT_EQ(prepared[i], general[i]) << "point (" << xs[i] << ", " << ys[i] << ")";
      if (rings.empty())
        continue;
      const int cls = modelClass(rings, xs[i], ys[i]);
      const bool want = std::find(op.holdsFor.begin(), op.holdsFor.end(), cls) != op.holdsFor.end();
      ASSERT_EQ(prepared[i], want) << "point (" << xs[i] << ", " << ys[i] << "), class " << cls;
    }
  }
}

TEST(GeoPrepared, PointPredicatesOnTheGridAgreeWithTheGeneralPathAndTheModel) {
  std::vector<double> xs, ys;
  gridPoints(xs, ys);
  for (const Shape& s : shapes())
    expectPointOpsAgree(s.wkt, s.rings, xs, ys, {kHarnessLargeRows});
}

// A 400-vertex star with a star-shaped hole, vertices on a 1/1024 grid, against random points: uniform
// ones, and ones on vertices and on the lines between neighbouring vertices (mostly not exactly on an
// edge, which is where rounding would show). 1,200 rows are split over two tasks.
TEST(GeoPrepared, RandomPointsAgreeOnAStarWithAHole) {
  std::mt19937_64 rng(20261206);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto star = [&](double inner, double outer, int n) {
    Ring ring;
    for (int k = 0; k < n; ++k) {
      const double angle = 2 * std::numbers::pi * k / n;
      const double r = (k % 2 == 0 ? outer : inner) * (0.8 + 0.2 * unit(rng));
      ring.emplace_back(std::round(r * std::cos(angle) * 1024) / 1024,
                        std::round(r * std::sin(angle) * 1024) / 1024);
    }
    ring.push_back(ring.front());
    return ring;
  };
  const Ring shell = star(60, 100, 400), hole = star(10, 20, 40);
  std::ostringstream wkt;
  wkt.precision(17);
  wkt << "POLYGON(";
  for (const Ring* ring : {&shell, &hole}) {
    wkt << (ring == &shell ? "(" : ",(");
    for (std::size_t i = 0; i < ring->size(); ++i)
      wkt << (i ? "," : "") << (*ring)[i].first << " " << (*ring)[i].second;
    wkt << ")";
  }
  wkt << ")";
  std::vector<double> xs, ys;
  for (int i = 0; i < 1200; ++i) {
    const Ring& ring = i % 3 == 0 ? hole : shell;
    const auto& [ax, ay] = ring[i % (ring.size() - 1)];
    const auto& [bx, by] = ring[i % (ring.size() - 1) + 1];
    const double t = i % 5 == 0 ? 0.0 : unit(rng);
    if (i % 2 == 0)
      xs.push_back(ax + t * (bx - ax)), ys.push_back(ay + t * (by - ay));
    else
      xs.push_back(unit(rng) * 240 - 120), ys.push_back(unit(rng) * 240 - 120);
  }
  // No model rows here: off-grid points are exactly on an edge only by chance, and the model is exact
  // on half-unit grids only.
  expectPointOpsAgree(wkt.str(), {}, xs, ys, {});
}

// Two-geometry predicates with the polygon as either operand, against rows of points (at vertices, on
// edges, inside, in a hole, outside), an empty point, null, and non-point rows answered by the general
// call. (The invalid shapes are left out: the geometry library refuses some of their pairs.)
TEST(GeoPrepared, TwoGeometryPredicatesAgreeWithTheGeneralPath) {
  std::vector<Wkt> rows = {"POINT EMPTY", std::nullopt, "LINESTRING(-1 1,11 1)", "LINESTRING(3 3,4 4)"};
  rows.insert(rows.end(), {"POLYGON((1 1,9 1,9 9,1 9,1 1))", "MULTIPOINT((1 1),(3 3))", "POINT Z(3 1 7)",
                           "GEOMETRYCOLLECTION(POINT(1 1))"});
  for (int i = -1; i <= 11; ++i)
    for (int j = -1; j <= 11; j += 2)
      rows.push_back("POINT(" + std::to_string(i) + " " + std::to_string(j) + ")");
  const TypedRpnOp codes[] = {2294, 2295, 2296, 2297, 2298, 2299, 2307, 2314, 2315, 2316};
  for (const Shape& s : {shapes()[0], shapes()[2], shapes()[3], shapes()[8]}) {
    const auto g = parse(s.wkt);
    for (TypedRpnOp code : codes)
      for (bool constantFirst : {true, false}) {
        SCOPED_TRACE(testing::Message()
                     << code << (constantFirst ? " constant a " : " constant b ") << s.wkt);
        Program prepared, general;
        if (constantFirst) {
          prepared.pointerConstant(kConstGeometry, g.get()).column(kLoadGeometry, 0).op(code);
          general.column(kLoadGeometry, 1).column(kLoadGeometry, 0).op(code);
        } else {
          prepared.column(kLoadGeometry, 0).pointerConstant(kConstGeometry, g.get()).op(code);
          general.column(kLoadGeometry, 0).column(kLoadGeometry, 1).op(code);
        }
        const std::vector<Wkt> same(rows.size(), s.wkt);
        const auto a = cells(
            HarnessCase(prepared).addGeometryColumn(rows).addGeometryColumn(same).rowCounts({1000}).run());
        const auto b =
            cells(HarnessCase(general).addGeometryColumn(rows).addGeometryColumn(same).rowCounts({}).run());
        ASSERT_EQ(a.size(), rows.size());
        ASSERT_EQ(b.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
          EXPECT_EQ(a[i], b[i]) << rows[i].value_or("null");
      }
  }
}

// GEO_XY_DWITHIN against a constant point in the planar metric, and GEO_DISTANCE_POINTS in the planar
// metric, are computed inline: rows at, just inside and just outside the distance (3-4-5 triangles, one
// unit in the last place either way), NaN and infinite coordinates and distances, negative, tiny and huge
// distances. Each must match the geometry functions themselves.
TEST(GeoPrepared, PlanarPointDistancesMatchTheGeometryFunctions) {
  const double below5 = std::nextafter(5.0, 0.0), above5 = std::nextafter(5.0, 10.0);
  struct Row {
    double x, y, distance;
  };
  std::vector<Row> rows = {{3, 4, 5},    {3, 4, below5},  {3, 4, above5},   {-3, -4, 5},
                           {0, 0, 0},    {0, 0, -1},      {1e-160, 0, 0},   {3e-150, 0, 3e-150},
                           {3, 4, kInf}, {kInf, 4, kInf}, {kInf, 4, 1e300}, {kNaN, 4, 5}};
  rows.insert(rows.end(), {{3, kNaN, kInf},
                           {3, 4, kNaN},
                           {1e200, 1e200, 1.5e200},
                           {1e200, 1e200, 1.4e200},
                           {0.1, 0.2, 0.22360679774997896},
                           {0.1, 0.2, 0.223606797749979},
                           {-kInf, kNaN, kInf}});
  std::vector<double> xs, ys, distances;
  for (const Row& r : rows)
    xs.push_back(r.x), ys.push_back(r.y), distances.push_back(r.distance);
  const auto origin = parse("POINT(0 0)");
  std::vector<Bool> want;
  for (const Row& r : rows)
    want.push_back(vela::GeometryUtils::xyDWithin(r.x, r.y, origin.get(), r.distance, 0));
  for (bool constant : {true, false}) {
    Program p;
    p.column(kLoadF64, 0).column(kLoadF64, 1);
    if (constant)
      p.pointerConstant(kConstGeometry, origin.get());
    else
      p.column(kLoadGeometry, 3);
    p.column(kLoadF64, 2).constant(kConstI32, 0).op(2322);
    HarnessCase c(p);
    c.addColumn(xs).addColumn(ys).addColumn(distances);
    if (!constant)
      c.addGeometryColumn(std::vector<Wkt>(rows.size(), "POINT(0 0)"));
    c.expectRows<Bool>(want);
  }
  // The distance itself, with its null state, against the geometry function (its value on null rows is
  // cleared by the frame).
  std::vector<double> distanceWant;
  std::vector<std::uint8_t> states;
  for (const Row& r : rows) {
    bool isNull = false;
    const double d = vela::GeometryUtils::distancePoints(r.x, r.y, r.distance, 0.0, isNull, 0);
    distanceWant.push_back(isNull ? 0.0 : d);
    states.push_back(isNull ? 1 : 0);
  }
  Program distance;
  distance.column(kLoadF64, 0).column(kLoadF64, 1).column(kLoadF64, 2);
  distance.constant(kConstF64, 0.0).constant(kConstI32, 0).op(2337);
  HarnessCase(distance).addColumn(xs).addColumn(ys).addColumn(distances).expectRows(distanceWant, states);
}

// The prepared forms themselves: an index for valid polygonal constants only, the same one for every
// caller and every thread, nothing for a geometry that is not one of the program's constants.
TEST(GeoPrepared, IndexOnlyForValidPolygonalConstantsAndOncePerCall) {
  using vela::cuda::geo::ConstantGeometries;
  std::vector<std::unique_ptr<geos::geom::Geometry>> owned;
  Program p;
  for (const Shape& s : shapes()) {
    owned.push_back(parse(s.wkt));
    p.pointerConstant(kConstGeometry, owned.back().get());
  }
  const auto stranger = parse(shapes()[0].wkt);
  vela::RamPool pool("prepared-test");
  {
    vela::RamPoolThreadBinding binding(&pool);
    ConstantGeometries constants(p.elements().data(), p.elements().size());
    constants.primeOnce();
    for (std::size_t k = 0; k < shapes().size(); ++k)
      EXPECT_EQ(constants.polygonIndex(owned[k].get()) != nullptr, !shapes()[k].rings.empty())
          << shapes()[k].wkt;
    EXPECT_EQ(constants.polygonIndex(stranger.get()), nullptr);
    EXPECT_EQ(constants.polygonIndex(nullptr), nullptr);
    EXPECT_GT(pool.reservedBytes(), 0u) << "the indexes are charged";

    ConstantGeometries shared(p.elements().data(), p.elements().size());
    shared.primeOnce();
    std::vector<const vela::cuda::geo::PolygonIndex*> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t)
      threads.emplace_back([&, t] {
        vela::RamPoolThreadBinding inner(&pool);
        seen[t] = shared.polygonIndex(owned[2].get());
      });
    for (auto& t : threads)
      t.join();
    for (const auto* index : seen)
      EXPECT_EQ(index, seen[0]);
    EXPECT_NE(seen[0], nullptr);
  }
  EXPECT_EQ(pool.reservedBytes(), 0u) << "the indexes give their bytes back";
}

} // namespace
