// Geometry predicates, point fast paths and the point-in-polygon classifier through both evaluators, on
// hand-drawn shapes whose answers follow from the drawing: the square [0, 4] x [0, 4], lines through
// it, on its edge and beside it, and points inside, on the boundary and outside. Each predicate runs
// with column operands and with the polygon as a program constant shared by every task.
#include <cmath>
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
  Program columns;
  columns.column(kLoadGeometry, 0).column(kLoadGeometry, 1).op(code);
  HarnessCase(columns).addGeometryColumn(as).addGeometryColumn(bs).expectRows<Bool>(want);
  if (squareBs.empty())
    return;
  const auto square = parse(kSquare);
  Program constant;
  constant.pointerConstant(kConstGeometry, square.get()).column(kLoadGeometry, 0).op(code);
  HarnessCase(constant).addGeometryColumn(squareBs).expectRows<Bool>(squareWant);
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
  Program almost;
  almost.column(kLoadGeometry, 0).column(kLoadGeometry, 1).column(kLoadI32, 2).op(2293);
  HarnessCase(almost)
      .addGeometryColumn({"POINT(1 1)", "POINT(1 1)", "LINESTRING(0 0,1 1)", "POINT(1 1)"})
      .addGeometryColumn({"POINT(1.004 1)", "POINT(1.004 1)", "LINESTRING(1 1,0 0)", std::nullopt})
      .addColumn<int>({2, 3, 5, 5})
      .expectRows<Bool>({1, 0, 0, 0});
  Program exact;
  exact.column(kLoadGeometry, 0).column(kLoadGeometry, 1).column(kLoadF64, 2).op(2305);
  HarnessCase(exact)
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
  const std::vector<Row> rows = {
      {2301, "POINT(0 0)", "POINT(3 4)", 5.0, 0, true},
      {2301, "POINT(0 0)", "POINT(3 4)", 4.99, 0, false},
      {2301, kSquare, "POINT(7 2)", 3.0, 0, true},
      {2301, "POINT(0 0)", "POINT(1 0)", kDegreeOnSphere + 1, 1, true},
      {2301, "POINT(0 0)", "POINT(1 0)", kDegreeOnSphere - 1, 1, false},
      {2300, "LINESTRING(0 0,1 0)", "POINT(0 1)", std::sqrt(2.0), 0, true},
      {2300, "LINESTRING(0 0,1 0)", "POINT(0 1)", 1.2, 0, false},
      {2302, kSquare, "POINT(7 2)", 3.0, 0, true},
      {2302, kSquare, "POINT(7 7)", 4.0, 0, false},
      {2302, kSquare, "POINT(7 7)", 5.0, 0, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    Program p;
    p.column(kLoadGeometry, 0)
        .column(kLoadGeometry, 1)
        .constant(kConstF64, r.distance)
        .constant(kConstI32, r.metric);
    p.op(r.code);
    HarnessCase(p).addGeometryColumn({r.a}).addGeometryColumn({r.b}).expectRows<Bool>({r.want});
  }
}

TEST(GeoPredicate, UnknownMetricEndsTheCall) {
  Program p;
  p.column(kLoadGeometry, 0)
      .column(kLoadGeometry, 1)
      .constant(kConstF64, 1.0)
      .constant(kConstI32, 7)
      .op(2301);
  HarnessCase(p).addGeometryColumn({"POINT(0 0)"}).addGeometryColumn({"POINT(0 1)"}).expectFault("");
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
      {1, 1, 1, 0, 1, 1, 1, 1}, // 2313 valid
  };
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(2308 + k);
    Program p;
    p.column(kLoadGeometry, 0).op(2308 + k);
    HarnessCase(p).addGeometryColumn(shapes).expectRows<Bool>(want[k]);
  }
}

// Point fast paths against the square: inside, on an edge, on a vertex, outside, NaN, with the square
// as a column and as a constant.
TEST(GeoPredicate, PointFastPaths) {
  const std::vector<double> xs = {2, 4, 0, 5, kNaN, 2}, ys = {2, 2, 0, 5, 1, kNaN};
  struct Row {
    TypedRpnOp code;
    bool geometryFirst;
    std::vector<Bool> want;
  };
  const std::vector<Row> rows = {
      {2317, true, {1, 0, 0, 0, 0, 0}},  {2318, true, {1, 0, 0, 0, 0, 0}},  {2319, false, {1, 1, 1, 0, 0, 0}},
      {2320, true, {1, 1, 1, 0, 0, 0}},  {2321, false, {0, 0, 0, 1, 1, 1}}, {2324, false, {1, 1, 1, 0, 0, 0}},
      {2325, false, {1, 1, 1, 0, 0, 0}}, {2326, false, {0, 1, 1, 0, 0, 0}}, {2327, false, {1, 0, 0, 0, 0, 0}},
  };
  const auto square = parse(kSquare);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    for (bool constant : {false, true}) {
      Program p;
      auto geometry = [&] {
        if (constant)
          p.pointerConstant(kConstGeometry, square.get());
        else
          p.column(kLoadGeometry, 2);
      };
      if (r.geometryFirst)
        geometry();
      p.column(kLoadF64, 0).column(kLoadF64, 1);
      if (!r.geometryFirst)
        geometry();
      p.op(r.code);
      HarnessCase c(p);
      c.addColumn(xs).addColumn(ys);
      if (!constant)
        c.addGeometryColumn(std::vector<Wkt>(xs.size(), kSquare));
      c.expectRows<Bool>(r.want);
    }
  }
}

TEST(GeoPredicate, PointDistancePaths) {
  // x, y, geometry, distance, metric: (7, 2) is 3 from the square, (7, 7) is 3 from its box corner
  // diagonally (3 sqrt 2 = 4.24).
  Program xy;
  xy.column(kLoadF64, 0)
      .column(kLoadF64, 1)
      .column(kLoadGeometry, 2)
      .column(kLoadF64, 3)
      .constant(kConstI32, 0);
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
  Program sphere;
  sphere.column(kLoadGeometry, 0).column(kLoadF64, 1).column(kLoadF64, 2).column(kLoadF64, 3).op(2291);
  HarnessCase(sphere)
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
  Program p;
  p.column(kLoadF64, 0).column(kLoadF64, 1).column(kLoadU64, 2).op(2483);
  HarnessCase(p)
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

} // namespace
