// Geometry measurements, accessors, counts, type texts, predicates and hashes through both evaluators,
// on shapes whose answers are hand-computed from the drawing: the square [0, 4] x [0, 4] (area 16,
// perimeter 16), a 3-4-5 triangle's sides, a square with a 1 x 1 hole, lines through the square, on its
// edge and beside it, points inside, on the boundary and outside, and one degree of the equator on the
// sphere metric's sphere (6371008.8 m). The two-geometry predicates run with column operands and with
// the polygon as a program constant.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include <geos/geom/Geometry.h>

#include "base/GeometryCodec.h"
#include "base/Pip.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;
using Wkt = std::optional<std::string>;

namespace {

constexpr TypedRpnOp kLoadGeometry = 236, kConstGeometry = 51;
const std::string kSquare = "POLYGON((0 0,4 0,4 4,0 4,0 0))";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// One degree of arc on the sphere metric's sphere (radius 6371008.8 m): 111195.08 m.
const double kDegreeOnSphere = 6371008.8 * std::numbers::pi / 180.0;

const std::string kHoled = "POLYGON((0 0,4 0,4 4,0 4,0 0),(1 1,2 1,2 2,1 2,1 1))";
// A shell of area 1 around a hole of area 16: invalid, and measured as 1 - 16.
const std::string kHoleOutgrowsShell = "POLYGON((0 0,1 0,1 1,0 1,0 0),(-1 -1,3 -1,3 3,-1 3,-1 -1))";

// Runs `code` over one geometry column, then a constant i32 metric when metric >= 0.
Program single(TypedRpnOp code, int metric = -1) {
  Program p;
  p.column(kLoadGeometry, 0);
  if (metric >= 0)
    p.constant(kConstI32, metric);
  p.op(code);
  return p;
}
Program pair(TypedRpnOp code, int metric) {
  Program p;
  p.column(kLoadGeometry, 0).column(kLoadGeometry, 1).constant(kConstI32, metric).op(code);
  return p;
}

// Checks the values of rows with state 0 to a relative tolerance (geodesic results).
void expectNear(const HarnessResult& r, const std::vector<double>& want, double relative) {
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (r.states[i] == 0) {
      EXPECT_NEAR(r.value<double>(i), want[i], std::fabs(want[i]) * relative) << "row " << i;
    }
  }
}

std::unique_ptr<geos::geom::Geometry> parse(const std::string& wkt) {
  std::unique_ptr<geos::geom::Geometry> g;
  EXPECT_TRUE(vela::GeometryCodec::readWkt(wkt.data(), wkt.size(), g).ok()) << wkt;
  return g;
}

struct PairRow {
  Wkt a, b;
  bool want;
};

// Runs `code` over the rows with both geometries as columns, then, for the rows whose a is the square,
// with the square as a constant.
void expectPairs(TypedRpnOp code, const std::vector<PairRow>& rows) {
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
  std::vector<Wkt> as, bs, squareBs;
  std::vector<Bool> want, squareWant;
  for (const PairRow& r : rows) {
    as.push_back(r.a), bs.push_back(r.b), want.push_back(r.want);
    if (r.a == kSquare)
      squareBs.push_back(r.b), squareWant.push_back(r.want);
  }
  HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadGeometry, 1).op(code))
      .addGeometryColumn(as)
      .addGeometryColumn(bs)
      .expectRows<Bool>(want);
  if (squareBs.empty())
    return;
  const auto square = parse(kSquare);
  HarnessCase(Program().pointerConstant(kConstGeometry, square.get()).column(kLoadGeometry, 0).op(code))
      .addGeometryColumn(squareBs)
      .expectRows<Bool>(squareWant);
}

TEST(GeoPredicate, TwoGeometryPredicates) {
  const Wkt pIn = "POINT(2 2)", pEdge = "POINT(4 2)", pOut = "POINT(5 5)", null = std::nullopt;
  const Wkt diagonal = "LINESTRING(1 1,3 3)", toCorner = "LINESTRING(0 0,4 4)",
            across = "LINESTRING(-1 2,5 2)";
  const Wkt shifted = "POLYGON((2 2,6 2,6 6,2 6,2 2))", reordered = "POLYGON((0 4,4 4,4 0,0 0,0 4))";
  const Wkt sq = kSquare;
  expectPairs(
      2294,
      {{sq, pIn, true}, {sq, pEdge, false}, {sq, pOut, false}, {sq, toCorner, true}, {sq, null, false}});
  expectPairs(2295, {{sq, pIn, true}, {sq, diagonal, true}, {sq, toCorner, false}, {sq, pEdge, false}});
  expectPairs(2296, {{pEdge, sq, true}, {pIn, sq, true}, {pOut, sq, false}, {across, sq, false}});
  expectPairs(2297, {{sq, pEdge, true}, {sq, toCorner, true}, {sq, across, false}, {null, sq, false}});
  expectPairs(2298, {{sq, across, true}, {sq, diagonal, false}, {across, "LINESTRING(2 -1,2 5)", true}});
  expectPairs(2299, {{sq, pOut, true}, {sq, pEdge, false}, {sq, shifted, false}, {null, pOut, false}});
  expectPairs(2303, {{sq, "POINT(4 4)", true},
                     {sq, pOut, false},
                     {sq, "POLYGON((4.5 0,5 0,5 1,4.5 0))", false},
                     {sq, "POINT EMPTY", false}});
  expectPairs(2307, {{sq, pEdge, true}, {sq, pOut, false}, {sq, shifted, true}, {sq, "POINT EMPTY", false}});
  expectPairs(2314, {{sq, shifted, true}, {sq, reordered, false}, {sq, "POLYGON((1 1,2 1,2 2,1 1))", false}});
  expectPairs(2315, {{sq, pEdge, true}, {sq, pIn, false}, {sq, "POLYGON((4 0,8 0,8 4,4 4,4 0))", true}});
  expectPairs(2316, {{pIn, sq, true}, {pEdge, sq, false}, {sq, reordered, true}, {diagonal, sq, true}});
  // Point-set equality ignores vertex order and repeated vertices; GEO_NE is its negation, null
  // included (the program's state ops make such a row null).
  for (TypedRpnOp eq : {923, 2304})
    expectPairs(eq, {{sq, reordered, true},
                     {sq, "POLYGON((0 0,2 0,4 0,4 4,0 4,0 0))", true},
                     {sq, shifted, false},
                     {null, null, false}});
  expectPairs(924, {{sq, reordered, false}, {sq, shifted, true}, {null, sq, true}});
}

TEST(GeoPredicate, TolerancesDistancesAndMetrics) {
  // Coordinates within 10^-decimals: 0.004 is within 10^-2 but not 10^-3.
  HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadGeometry, 1).column(kLoadI32, 2).op(2293))
      .addGeometryColumn({"POINT(1 1)", "POINT(1 1)", "LINESTRING(0 0,1 1)", "POINT(1 1)"})
      .addGeometryColumn({"POINT(1.004 1)", "POINT(1.004 1)", "LINESTRING(1 1,0 0)", std::nullopt})
      .addColumn<int>({2, 3, 5, 5})
      .expectRows<Bool>({1, 0, 0, 0});
  HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadGeometry, 1).column(kLoadF64, 2).op(2305))
      .addGeometryColumn({"POINT(0 0)", "POINT(0 0)", "LINESTRING(0 0,1 0)"})
      .addGeometryColumn({"POINT(3 4)", "POINT(3 4)", "LINESTRING(0 0,1 0)"})
      .addColumn<double>({5.0, 4.999, 0.0})
      .expectRows<Bool>({1, 0, 1});
  // a, b, distance, metric: planar 3-4-5, the farthest pair for the fully-within test, and one degree of
  // the equator on the sphere.
  struct Row {
    TypedRpnOp code;
    Wkt a, b;
    double distance;
    int metric;
    bool want;
  };
  const std::vector<Row> rows = {{2301, "POINT(0 0)", "POINT(3 4)", 5.0, 0, true},
                                 {2301, "POINT(0 0)", "POINT(3 4)", 4.99, 0, false},
                                 {2301, kSquare, "POINT(7 2)", 3.0, 0, true},
                                 {2301, "POINT(0 0)", "POINT(1 0)", kDegreeOnSphere + 1, 1, true},
                                 {2301, "POINT(0 0)", "POINT(1 0)", kDegreeOnSphere - 1, 1, false},
                                 {2300, "LINESTRING(0 0,1 0)", "POINT(0 1)", std::sqrt(2.0), 0, true},
                                 {2300, "LINESTRING(0 0,1 0)", "POINT(0 1)", 1.2, 0, false},
                                 {2302, kSquare, "POINT(7 2)", 3.0, 0, true},
                                 {2302, kSquare, "POINT(7 7)", 4.0, 0, false},
                                 {2302, kSquare, "POINT(7 7)", 5.0, 0, true}};
  auto run = [](Program& p, TypedRpnOp code, Wkt a, Wkt b, double distance, int metric) {
    p.column(kLoadGeometry, 0).column(kLoadGeometry, 1).constant(kConstF64, distance);
    HarnessCase c(p.constant(kConstI32, metric).op(code));
    c.addGeometryColumn({a}).addGeometryColumn({b});
    return c;
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    Program p;
    run(p, r.code, r.a, r.b, r.distance, r.metric).expectRows<Bool>({r.want});
  }
  // A metric the library does not know ends the call.
  Program unknown;
  run(unknown, 2301, "POINT(0 0)", "POINT(0 1)", 1.0, 7).expectFault("");
}

TEST(GeoPredicate, SingleGeometryTests) {
  const std::vector<Wkt> shapes = {"LINESTRING(0 0,1 0,1 1,0 0)",     "LINESTRING(0 0,2 2,2 0,0 2)",
                                   "LINESTRING(0 0,2 2,2 0,0 2,0 0)", "POLYGON((0 0,2 2,2 0,0 2,0 0))",
                                   "MULTIPOINT((0 0),(1 1))",         "POINT EMPTY",
                                   "GEOMETRYCOLLECTION(POINT(1 1))",  kSquare};
  // closed, collection, empty, ring, simple, valid: a triangle ring; an open bow; a closed bow
  // (crosses itself); a bow-tie polygon (self-intersection); a multi-point; an empty point; a
  // collection; the square.
  const std::vector<std::vector<Bool>> want = {
      {1, 0, 1, 1, 1, 0, 1, 1}, // 2308 closed
      {0, 0, 0, 0, 1, 0, 1, 0}, // 2309 collection
      {0, 0, 0, 0, 0, 1, 0, 0}, // 2310 empty
      {1, 0, 0, 0, 0, 0, 0, 0}, // 2311 ring
      {1, 0, 0, 0, 1, 1, 1, 1}, // 2312 simple
      {1, 1, 1, 0, 1, 1, 1, 1}  // 2313 valid
  };
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(2308 + k);
    HarnessCase(Program().column(kLoadGeometry, 0).op(2308 + k))
        .addGeometryColumn(shapes)
        .expectRows<Bool>(want[k]);
  }
}

// The envelope test of a point (2324) against the square as a column and as a constant: inside, on an
// edge, on a vertex, outside, NaN. The point-in-polygon predicates run in GeoPreparedTest.
TEST(GeoPredicate, PointInEnvelope) {
  const std::vector<double> xs = {2, 4, 0, 5, kNaN, 2}, ys = {2, 2, 0, 5, 1, kNaN};
  const auto square = parse(kSquare);
  for (bool constant : {false, true}) {
    Program p;
    p.column(kLoadF64, 0).column(kLoadF64, 1);
    constant ? p.pointerConstant(kConstGeometry, square.get()) : p.column(kLoadGeometry, 2);
    HarnessCase c(p.op(2324));
    c.addColumn(xs).addColumn(ys);
    if (!constant)
      c.addGeometryColumn(std::vector<Wkt>(xs.size(), kSquare));
    c.expectRows<Bool>({1, 1, 1, 0, 0, 0});
  }
}

TEST(GeoPredicate, PointDistancePaths) {
  // x, y, geometry, distance, metric: (7, 2) is 3 from the square, (7, 7) is 3 from its box corner
  // diagonally (3 sqrt 2 = 4.24).
  Program xy;
  xy.column(kLoadF64, 0).column(kLoadF64, 1).column(kLoadGeometry, 2);
  xy.column(kLoadF64, 3).constant(kConstI32, 0);
  HarnessCase(Program(xy).op(2322))
      .addColumn<double>({7, 7, 7, 2})
      .addColumn<double>({2, 2, 7, 2})
      .addGeometryColumn({kSquare, kSquare, kSquare, std::nullopt})
      .addColumn<double>({3.0, 2.99, 4.25, 1.0})
      .expectRows<Bool>({1, 0, 1, 0});
  HarnessCase(Program(xy).op(2323))
      .addColumn<double>({7, 7, 7, 2})
      .addColumn<double>({2, 2, 7, 2})
      .addGeometryColumn({"LINESTRING(0 0,4 4)", kSquare, kSquare, std::nullopt})
      .addColumn<double>({3.0, 2.99, 4.24, 1.0})
      .expectRows<Bool>({1, 0, 0, 0});
  // GEO_DWITHIN_XY measures on the sphere: one degree along the equator.
  HarnessCase(
      Program().column(kLoadGeometry, 0).column(kLoadF64, 1).column(kLoadF64, 2).column(kLoadF64, 3).op(2291))
      .addGeometryColumn({"POINT(0 0)", "POINT(0 0)", "POINT(0 0)"})
      .addColumn<double>({1, 1, 0})
      .addColumn<double>({0, 0, 1})
      .addColumn<double>({kDegreeOnSphere + 1, kDegreeOnSphere - 1, kDegreeOnSphere + 1})
      .expectRows<Bool>({1, 0, 1});
  // Two points as coordinates: within 5 of (3, 4) and not within 4.99; boxes of points are the points.
  for (TypedRpnOp code : {2328, 2329}) {
    SCOPED_TRACE(code);
    Program p;
    for (int k = 0; k < 5; ++k)
      p.column(kLoadF64, k);
    p.column(kLoadI32, 5).op(code);
    HarnessCase(p)
        .addColumn<double>({0, 0, 0, 0})
        .addColumn<double>({0, 0, 0, 0})
        .addColumn<double>({3, 3, 1, kNaN})
        .addColumn<double>({4, 4, 0, 4})
        .addColumn<double>({5, 4.99, kDegreeOnSphere + 1, 100})
        .addColumn<int>({0, 0, 1, 0})
        .expectRows<Bool>({1, 0, 1, 0});
  }
}

TEST(GeoPredicate, PipClassifierCell) {
  const auto polygon = parse("POLYGON((0 0,4 0,4 4,0 4,0 0),(1 1,2 1,2 2,1 2,1 1))");
  const vela::Pip<vela::IntervalPip> pip(*polygon);
  const auto cell = reinterpret_cast<unsigned long>(&pip);
  // Inside, on the shell, on the hole's edge, in the hole, outside, NaN, and a null classifier.
  HarnessCase(Program().column(kLoadF64, 0).column(kLoadF64, 1).column(kLoadU64, 2).op(2483))
      .addColumn<double>({3, 4, 1.5, 1.5, 5, kNaN, 3})
      .addColumn<double>({3, 2, 1, 1.5, 5, 1, 3})
      .addColumn<unsigned long>({cell, cell, cell, cell, cell, cell, 0})
      .expectRows<Bool>({1, 1, 1, 0, 0, 0, 0});
}

TEST(GeoPredicate, NotDistinctFromReadsBothStates) {
  ScopedStateLoads states;
  // States: a's, b's. An error of a wins over b's; two nulls are not distinct; a null and a value are.
  Program p;
  p.column(kLoadGeometry, 0).column(kLoadStates, 2).column(kLoadGeometry, 1).column(kLoadStates, 3).op(1255);
  const Wkt sq = kSquare, reordered = "POLYGON((0 4,4 4,4 0,0 0,0 4))", null = std::nullopt;
  HarnessCase(p)
      .addGeometryColumn({sq, sq, null, null, sq, sq, sq})
      .addGeometryColumn({reordered, "POINT(1 1)", null, sq, null, sq, sq})
      .addColumn<std::uint8_t>({0, 0, 1, 1, 0, 16, 0})
      .addColumn<std::uint8_t>({0, 0, 1, 0, 1, 9, 5})
      .expectRows<Bool>({1, 0, 1, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 16, 5}, vela::cuda::RPN_EVAL_NULL_TO_ERROR);
}

TEST(GeoMeasure, AreaStatesAndValues) {
  // A negative area is state 4 (the frame clears a failed row's cell); NaN (null geometry) and 0 pass.
  const Program p = single(2330, 0);
  const HarnessResult r =
      HarnessCase(p)
          .addGeometryColumn({kSquare, kHoled, kHoleOutgrowsShell, std::nullopt, "POINT(1 1)"})
          .expectRows<double>({16, 15, 0, kNaN, 0}, {0, 0, 4, 0, 0}, vela::cuda::RPN_EVAL_NEGATIVE_AREA);
  EXPECT_THROW(vela::cuda::throwIfEvaluationError(r.code), vela::VelaException);
  try {
    vela::cuda::throwIfEvaluationError(r.code);
  } catch (const vela::VelaException& ex) {
    EXPECT_EQ(std::string(ex.what()).rfind("ST_area returned a negative result; consider using the spheroid "
                                           "area metric",
                                           0),
              0u);
  }
}

TEST(GeoMeasure, LengthsAndDistances) {
  HarnessCase(single(2338, 0))
      .addGeometryColumn(
          {"LINESTRING(0 0,3 4)", "MULTILINESTRING((0 0,3 4),(0 0,0 1))", kSquare, std::nullopt})
      .expectRows<double>({5, 6, 0, kNaN});
  HarnessCase(single(2346, 0))
      .addGeometryColumn({kSquare, kHoled, "LINESTRING(0 0,3 4)"})
      .expectRows<double>({16, 20, 0});
  // Distance, max distance, azimuth (radians clockwise from +Y); no distance to an empty geometry, no
  // azimuth between equal points.
  HarnessCase(pair(2332, 0))
      .addGeometryColumn({"POINT(0 0)", kSquare, "POINT(0 0)", std::nullopt})
      .addGeometryColumn({"POINT(3 4)", "POINT(7 8)", "POINT EMPTY", "POINT(0 0)"})
      .expectRows<double>({5, 5, 0, 0}, {0, 0, 1, 1});
  HarnessCase(pair(2339, 0))
      .addGeometryColumn({"LINESTRING(0 0,1 0)", kSquare})
      .addGeometryColumn({"POINT(0 1)", "POINT(7 8)"})
      .expectRows<double>({std::sqrt(2.0), std::sqrt(113.0)});
  HarnessCase(pair(2331, 0))
      .addGeometryColumn({"POINT(0 0)", "POINT(0 0)", "POINT(0 0)", "POINT(1 1)", "LINESTRING(0 0,1 1)"})
      .addGeometryColumn({"POINT(0 1)", "POINT(0 -1)", "POINT(-1 0)", "POINT(1 1)", "POINT(0 0)"})
      .expectRows<double>({0, std::numbers::pi, 1.5 * std::numbers::pi, 0, 0}, {0, 0, 0, 1, 1});
  // One degree of the equator and of a meridian on the sphere.
  const HarnessResult sphere = HarnessCase(pair(2332, 1))
                                   .addGeometryColumn({"POINT(0 0)", "POINT(0 0)"})
                                   .addGeometryColumn({"POINT(1 0)", "POINT(0 1)"})
                                   .run();
  expectNear(sphere, {kDegreeOnSphere, kDegreeOnSphere}, 1e-12);
}

TEST(GeoMeasure, PointDistances) {
  // x, y to a geometry: 0 inside, 3 from the square's edge; GEO_DISTANCE_XY measures on the sphere.
  Program xy;
  xy.column(kLoadF64, 0).column(kLoadF64, 1).column(kLoadGeometry, 2).constant(kConstI32, 0).op(2349);
  HarnessCase(xy)
      .addColumn<double>({2, 7, 1, kNaN})
      .addColumn<double>({2, 2, 1, 0})
      .addGeometryColumn({kSquare, kSquare, std::nullopt, kSquare})
      .expectRows<double>({0, 3, 0, 0}, {0, 0, 1, 1});
  const HarnessResult r =
      HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadF64, 1).column(kLoadF64, 2).op(2290))
          .addGeometryColumn({"POINT(0 0)", "POINT(0 0)", "POINT EMPTY"})
          .addColumn<double>({1, 0, 1})
          .addColumn<double>({0, 1, 0})
          .run();
  HarnessCase::checkStates(r, {0, 0, 1}, vela::cuda::RPN_EVAL_OK);
  expectNear(r, {kDegreeOnSphere, kDegreeOnSphere}, 1e-12);
  // Point geometries rounded to float: 0.1 and 0.3 are not floats, so the distance is that of the
  // rounded coordinates, itself rounded to float.
  const float dx = 0.3f - 0.1f;
  HarnessCase(pair(2333, 0))
      .addGeometryColumn({"POINT(0.1 0)", "POINT(0 0)", "LINESTRING(0 0,1 1)"})
      .addGeometryColumn({"POINT(0.3 0)", "POINT(3 4)", "POINT(0 0)"})
      .expectRows<double>({static_cast<double>(dx), 5, 0}, {0, 0, 1});
  Program xyf;
  xyf.column(kLoadF64, 0).column(kLoadF64, 1).column(kLoadGeometry, 2).constant(kConstI32, 0).op(2350);
  HarnessCase(xyf)
      .addColumn<double>({0.1, 3})
      .addColumn<double>({0, 4})
      .addGeometryColumn({"POINT(0.3 0)", kSquare})
      .expectRows<double>({static_cast<double>(dx), 0}, {0, 1});
  // Four coordinates: 3-4-5, a latitude out of range on the sphere.
  Program d;
  for (int k = 0; k < 4; ++k)
    d.column(kLoadF64, k);
  d.column(kLoadI32, 4).op(2337);
  HarnessCase(d)
      .addColumn<double>({0, 0})
      .addColumn<double>({0, 95})
      .addColumn<double>({3, 0})
      .addColumn<double>({4, 0})
      .addColumn<int>({0, 1})
      .expectRows<double>({5, 0}, {0, 1});
  Program f;
  for (int k = 0; k < 4; ++k)
    f.column(kLoadF32, k);
  f.column(kLoadI32, 4).op(2336);
  HarnessCase(f)
      .addColumn<float>({0, 0})
      .addColumn<float>({0, 0})
      .addColumn<float>({3, 0.1f})
      .addColumn<float>({4, 0})
      .addColumn<int>({0, 0})
      .expectRows<float>({5, 0.1f});
}

TEST(GeoMeasure, DecimalPointDistance) {
  // Coordinates at scale 2, result at scale 1: rounded half away from zero (0.25 -> 0.3, 0.24 -> 0.2);
  // at result scale 18 the bound 2^52 / 10^18 is 0, so the distance is truncated, and 10 saturates.
  struct Row {
    long x2, y2;
    int resultScale, metric;
    long want;
    State state;
  };
  const std::vector<Row> rows = {{300, 400, 1, 0, 50, 0},
                                 {25, 0, 1, 0, 3, 0},
                                 {24, 0, 1, 0, 2, 0},
                                 {300, 400, 18, 0, 5000000000000000000L, 0},
                                 {0, 1000, 18, 0, std::numeric_limits<long>::max(), 0},
                                 {0, 9500, 1, 1, 0, 1}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.want);
    EvalInfo info;
    info.setResult(18, r.resultScale);
    for (int k = 0; k < 4; ++k)
      info.setArg(k, 18, 2);
    Program p;
    for (int k = 0; k < 4; ++k)
      p.column(kLoadDec64, k);
    p.constant(kConstI32, r.metric).op(2334, info);
    HarnessCase(p)
        .addColumn<Dec64>({d64(0)})
        .addColumn<Dec64>({d64(0)})
        .addColumn<Dec64>({d64(r.x2)})
        .addColumn<Dec64>({d64(r.y2)})
        .expectRows<Dec64>({d64(r.want)}, {r.state});
  }
  EvalInfo wide;
  wide.setResult(28, 3);
  for (int k = 0; k < 4; ++k)
    wide.setArg(k, 28, 0);
  Program p;
  for (int k = 0; k < 4; ++k)
    p.column(kLoadDec128, k);
  p.constant(kConstI32, 0).op(2335, wide);
  HarnessCase(p)
      .addColumn<Dec128>({d128(0), d128(0)})
      .addColumn<Dec128>({d128(0), d128(0)})
      .addColumn<Dec128>({d128(3), d128(1)})
      .addColumn<Dec128>({d128(4), d128(1)})
      .expectRows<Dec128>({d128(5000), d128(1414)}); // sqrt 2 = 1.41421...
}

TEST(GeoMeasure, BoundsAndCoordinates) {
  const std::vector<Wkt> shapes = {"LINESTRING(1 2,3 -4)", "LINESTRING Z (1 2 5,3 4 -1)", "POINT(1.5 -2)",
                                   "POINT EMPTY", std::nullopt};
  struct Row {
    TypedRpnOp code;
    std::vector<double> want;
    std::vector<State> states;
  };
  const std::vector<Row> rows = {
      {2340, {3, 3, 1.5, 0, 0}, {0, 0, 0, 1, 1}}, {2341, {2, 4, -2, 0, 0}, {0, 0, 0, 1, 1}},
      {2342, {0, 5, 0, 0, 0}, {1, 0, 1, 1, 1}},   {2343, {1, 1, 1.5, 0, 0}, {0, 0, 0, 1, 1}},
      {2344, {-4, 2, -2, 0, 0}, {0, 0, 0, 1, 1}}, {2345, {0, -1, 0, 0, 0}, {1, 0, 1, 1, 1}},
      {2347, {0, 0, 1.5, 0, 0}, {1, 1, 0, 1, 1}}, {2348, {0, 0, -2, 0, 0}, {1, 1, 0, 1, 1}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    HarnessCase(single(r.code)).addGeometryColumn(shapes).expectRows<double>(r.want, r.states);
  }
}

TEST(GeoMeasure, CountsAndCodes) {
  const std::vector<Wkt> shapes = {kHoled,
                                   "POINT Z (1 2 3)",
                                   "LINESTRING(0 0,1 1,2 0)",
                                   "MULTIPOINT((0 0),(1 1))",
                                   "GEOMETRYCOLLECTION EMPTY",
                                   std::nullopt};
  struct Row {
    TypedRpnOp code;
    std::vector<int> want;
    std::vector<State> states;
  };
  const std::vector<Row> rows = {{2351, {2, 3, 2, 2, 2, 0}, {}},
                                 {2352, {2, 0, 1, 0, -1, 0}, {}},
                                 {2353, {3, 0, 1, 4, 7, -1}, {}},
                                 {2354, {2, 3, 2, 2, 2, 0}, {}},
                                 {2355, {10, 1, 3, 2, 0, 0}, {}},
                                 {2356, {2, 0, 0, 0, 0, 0}, {}},
                                 {2357, {1, 1, 1, 2, 0, 0}, {}},
                                 {2360, {0, 2, 0, 0, 0, 0}, {}},
                                 {2358, {1, 0, 0, 0, 0, 0}, {0, 1, 1, 1, 1, 1}},
                                 {2359, {0, 0, 3, 0, 0, 0}, {1, 1, 0, 1, 1, 1}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    HarnessCase(single(r.code)).addGeometryColumn(shapes).expectRows<int>(r.want, r.states);
  }
}

TEST(GeoMeasure, TypeTextsAndValidityReason) {
  const std::vector<Wkt> shapes = {kSquare, "MULTILINESTRING((0 0,1 1))", "POLYGON((0 0,2 2,2 0,0 2,0 0))",
                                   std::nullopt};
  auto cells = [](std::size_t width, const std::vector<std::string>& texts) {
    std::vector<unsigned char> bytes(width * texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i)
      vela::ParserUtils::packCharN(texts[i], width, bytes.data() + i * width);
    return bytes;
  };
  struct Row {
    TypedRpnOp code;
    std::size_t width;
    std::vector<std::string> want;
  };
  const std::vector<Row> rows = {
      {2361, 32, {"POLYGON", "MULTILINESTRING", "POLYGON", ""}},
      {2362, 32, {"ST_Polygon", "ST_MultiLineString", "ST_Polygon", ""}},
      {2363, 128, {"Valid Geometry", "Valid Geometry", "Self-intersection[1 1]", ""}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    const HarnessResult got = HarnessCase(single(r.code)).addGeometryColumn(shapes).run();
    EXPECT_EQ(got.values, cells(r.width, r.want));
  }
}

// Geometry hashes through both evaluators. A geometry hashes as its WKB bytes; the reference is the
// heap-string hash and digest ops (checked elsewhere against a MurmurHash3 model and published SHA-256
// values) run on the WKB written here by hand: byte order 1, the type as a little-endian 32-bit word,
// then the coordinates as little-endian doubles.
using U128 = fixed_array_t<16>;

std::string wkb(std::uint32_t type, const std::vector<double>& words) {
  std::string out(1, '\x01');
  out.append(reinterpret_cast<const char*>(&type), 4);
  for (double d : words)
    out.append(reinterpret_cast<const char*>(&d), 8);
  return out;
}

// POINT(1 2), LINESTRING(0 0,3 4) (type 2 with its point count as a 32-bit word before the points).
const std::vector<Wkt> kShapes = {"POINT(1 2)", "LINESTRING(0 0,3 4)"};
std::vector<std::optional<std::string>> wkbOfShapes() {
  std::string line(1, '\x01');
  const std::uint32_t type = 2, count = 2;
  line.append(reinterpret_cast<const char*>(&type), 4).append(reinterpret_cast<const char*>(&count), 4);
  for (double d : {0.0, 0.0, 3.0, 4.0})
    line.append(reinterpret_cast<const char*>(&d), 8);
  return {wkb(1, {1.0, 2.0}), line};
}

// The cells `code` gives for the shapes, as geometries or (`code` a string op) as their WKB strings;
// `extraLoad` >= 0 adds `extra` as column 1.
template <class Extra>
HarnessResult hashes(TypedRpnOp code, bool asWkb, int extraLoad, const std::vector<Extra>& extra) {
  Program p;
  p.column(asWkb ? kLoadString : kLoadGeometry, 0);
  if (extraLoad >= 0)
    p.column(extraLoad, 1);
  HarnessCase c(p.op(code));
  asWkb ? c.addStringColumn(wkbOfShapes()) : c.addGeometryColumn(kShapes);
  if (extraLoad >= 0)
    c.addColumn(extra);
  return c.run();
}
TEST(GeoHash, HashesOfTheWkbBytes) {
  // 64-bit: the first half with both states seeded, as the string hash with the same seed.
  const std::vector<int> seeds32 = {42, 7};
  const std::vector<long> seeds64 = {42, 7};
  EXPECT_EQ(hashes(2222, false, kLoadI32, seeds32).values, hashes(2217, true, kLoadI64, seeds64).values);
  // 128-bit seeded by a 16-byte cell: the cell's two words start the two states.
  U128 a{}, b{};
  for (int i = 0; i < 16; ++i)
    a.bytes[i] = static_cast<unsigned char>(i * 17 + 1), b.bytes[i] = static_cast<unsigned char>(255 - i);
  const std::vector<U128> seeds128 = {a, b};
  EXPECT_EQ(hashes(2248, false, kLoadChar + 4, seeds128).values,
            hashes(2243, true, kLoadU128, seeds128).values);
  // Unseeded 128-bit: both states 0, the seeded string hash with the all-zero seed.
  const std::vector<U128> zero = {U128{}, U128{}};
  EXPECT_EQ(hashes(2276, false, -1, zero).values, hashes(2243, true, kLoadU128, zero).values);
  // The digest text, character 0 at the cell's highest byte as every char64 text.
  EXPECT_EQ(hashes(2284, false, -1, zero).values, hashes(2283, true, -1, zero).values);
}

TEST(GeoHash, DistinctGeometriesAndNull) {
  // A null geometry hashes to 0 and digests to the empty text; different vertex orders hash apart.
  Program p;
  p.column(kLoadGeometry, 0).constant(kConstI32, 0).op(2222);
  const HarnessResult r =
      HarnessCase(p).addGeometryColumn({std::nullopt, "LINESTRING(0 0,1 1)", "LINESTRING(1 1,0 0)"}).run();
  EXPECT_EQ(r.value<long>(0), 0);
  EXPECT_NE(r.value<long>(1), r.value<long>(2));
  const HarnessResult digest =
      HarnessCase(Program().column(kLoadGeometry, 0).op(2284)).addGeometryColumn({std::nullopt}).run();
  EXPECT_EQ(digest.values, std::vector<unsigned char>(64, 0));
}

} // namespace
