// Overlays, buffers, constructors, transformations and the other geometry-valued ops through both
// evaluators (the harness checks every run's pool balance). Expected results are worked out by hand: exact
// WKT where the coordinates are exact, normalized WKT where vertex order is not the point, and otherwise a
// measure of the result (area, vertex or member count) against a closed form, such as the area (n/2) r^2
// sin(2 pi / n) of the regular n-gon a round buffer of radius r is made of.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <variant>
#include <vector>

#include <geos/geom/Coordinate.h>
#include <geos/geom/CoordinateSequence.h>
#include <geos/geom/Envelope.h>
#include <geos/io/WKTReader.h>

#include "base/GeometryCodec.h"
#include "tests/functions/text/TextTestSupport.h"
#include "tests/support/EvalHarness.h"

using namespace quarry::test;

namespace {

constexpr int kLoadGeometry = 236, kLoadArray = 228, kConstGeometry = 50, kToWkt = 782, kArea = 2330,
              kNumPoints = 2355, kNumGeometries = 2357, kEqualsExact = 2305, kStateMax2 = 2597;

struct Geo {
  Str wkt;
};
struct Txt {
  Str text;
};
struct Arr {
  Str json;
};
using Arg = std::variant<Geo, Txt, Arr, double, float, std::int32_t, Bool>;

// How a row's geometry is checked: its WKT exactly or normalized; its planar area (relative 1e-12, or
// 1e-3 for a geodesic buffer's area on the sphere), vertex count or member count against `number`; or
// its vertices within 1e-6 of `wkt` (float angles and distances).
enum class Check { Wkt, Normalized, Area, SphereArea, Points, Members, Close };
using enum Check;

struct Row {
  int code;
  std::vector<Arg> args; // push order
  Str wkt;               // nullopt: a null result (state `state`)
  State state = 0;
  Check check = Check::Wkt;
  double number = 0;
};

std::string normalizedText(const std::string& wkt) {
  geos::io::WKTReader reader;
  std::unique_ptr<geos::geom::Geometry> g = reader.read(wkt);
  g->normalize();
  return vela::GeometryCodec::writeWkt(*g);
}

// The row's op with geometry, text and array operands as columns and numbers as constants.
struct Built {
  Program program;
  std::vector<std::variant<Geo, Txt, Arr>> columns;
  // Each overlay row runs on both sides of the 64-row chunk only: they are too slow for the thousands of
  // rows of the standard counts, which ConstantAndIntermediateOperands covers.
  HarnessCase harness(bool fast = true) const {
    HarnessCase c(program);
    if (fast)
      c.rowCounts({64, 65});
    for (const auto& col : columns) {
      if (const Geo* g = std::get_if<Geo>(&col))
        c.addGeometryColumn({g->wkt});
      else if (const Txt* t = std::get_if<Txt>(&col))
        c.addStringColumn({t->text});
      else
        c.addJsonColumn({std::get<Arr>(col).json});
    }
    return c;
  }
};

Built build(int code, const std::vector<Arg>& args) {
  Built b;
  auto column = [&](int load, auto arg) {
    b.program.column(load, static_cast<std::int32_t>(b.columns.size()));
    b.columns.emplace_back(arg);
  };
  for (const Arg& a : args) {
    if (const Geo* g = std::get_if<Geo>(&a))
      column(kLoadGeometry, *g);
    else if (const Txt* t = std::get_if<Txt>(&a))
      column(kLoadString, *t);
    else if (const Arr* j = std::get_if<Arr>(&a))
      column(kLoadArray, *j);
    else if (const double* d = std::get_if<double>(&a))
      b.program.constant(kConstF64, *d);
    else if (const float* f = std::get_if<float>(&a))
      b.program.constant(kConstF32, *f);
    else if (const std::int32_t* i = std::get_if<std::int32_t>(&a))
      b.program.constant(kConstI32, *i);
    else
      b.program.constant(kConstI8, static_cast<std::int8_t>(std::get<Bool>(a)));
  }
  b.program.op(code);
  return b;
}

void expectRows(const std::vector<Row>& rows, bool fast = true) {
  for (const Row& row : rows) {
    Built b = build(row.code, row.args);
    SCOPED_TRACE(std::to_string(row.code) + " -> " + row.wkt.value_or("null") + " / " +
                 std::to_string(row.number));
    const bool area = row.wkt && (row.check == Area || row.check == SphereArea);
    const bool count = row.wkt && (row.check == Points || row.check == Members);
    if (row.check == Close && row.wkt) { // the expected geometry as one more column, equal within 1e-6
      b.program.column(kLoadGeometry, static_cast<std::int32_t>(b.columns.size())).constant(kConstF64, 1e-6);
      b.columns.emplace_back(Geo{row.wkt});
      b.program.op(kEqualsExact);
      b.harness(fast).expectRows<Bool>({1});
      continue;
    }
    if (area) {
      b.program.constant(kConstI32, row.check == Area ? 0 : 1).op(kArea);
      if (vela::ParserUtils::opInfo(row.code)->statesOut == 1)
        b.program.op(kStateMax2); // one state for the row: the op's and the area's
    } else {
      b.program.op(count ? (row.check == Points ? kNumPoints : kNumGeometries) : kToWkt);
    }
    const HarnessResult r = b.harness(fast).run();
    HarnessCase::checkStates(r, {row.state}, vela::cuda::RPN_EVAL_OK);
    if (area) {
      ASSERT_EQ(r.values.size(), sizeof(double));
      EXPECT_NEAR(r.value<double>(0), row.number, std::abs(row.number) * (row.check == Area ? 1e-12 : 1e-3));
    } else if (count) {
      ASSERT_EQ(r.values.size(), sizeof(std::int32_t));
      EXPECT_EQ(r.value<std::int32_t>(0), static_cast<std::int32_t>(row.number));
    } else {
      ASSERT_EQ(r.objects.size(), 1u);
      if (row.check == Normalized && row.wkt && r.objects[0])
        EXPECT_EQ(normalizedText(*r.objects[0]), normalizedText(*row.wkt)) << *r.objects[0];
      else
        EXPECT_EQ(r.objects[0], row.wkt);
    }
  }
}

// Constructors and transformations are quick: every row count of the harness.
void expectTransforms(const std::vector<Row>& rows) {
  expectRows(rows, false);
}

// A row whose result is compared normalized (vertex order and starting vertex not the point).
Row norm(int code, std::vector<Arg> args, const char* wkt) {
  return {code, std::move(args), wkt, 0, Normalized};
}

// Area of the regular n-gon inscribed in a circle of radius r.
double ngonArea(int n, double r) {
  return n / 2.0 * r * r * std::sin(2 * std::numbers::pi / n);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();
const Geo kNull{std::nullopt};
const Geo kLeftSquare{"POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))"},
    kRightSquare{"POLYGON ((1 0, 3 0, 3 2, 1 2, 1 0))"};
const Geo kOrigin{"POINT (0 0)"}, kXAxis{"LINESTRING (0 0, 4 0)"};
const float kQuarterTurn = static_cast<float>(std::numbers::pi / 2);

TEST(GeoOverlay, Buffers) {
  const Txt plain{""};
  expectRows({
      // A round buffer of a point is the regular polygon of 4 x quad_segs vertices on the circle.
      {2371, {kOrigin, 1.0, plain, 0}, "", 0, Area, ngonArea(32, 1)},
      {2371, {kOrigin, 2.0, Txt{"quad_segs=4"}, 0}, "", 0, Area, ngonArea(16, 2)},
      {2371, {kOrigin, 1.0, Txt{"quad_segs=2"}, 0}, "", 0, Points, 9},
      {2371, {kXAxis, 1.0, Txt{"endcap=flat"}, 0}, "", 0, Area, 8},
      {2371, {kXAxis, 1.0, Txt{"endcap=square join=mitre"}, 0}, "", 0, Area, 12},
      // Metres around a point on the sphere: the same polygon, drawn in a projection true at its centre.
      {2371, {kOrigin, 1000.0, plain, 1}, "", 0, SphereArea, ngonArea(32, 1000)},
      {2371, {kNull, 1.0, plain, 0}, std::nullopt, 1},
      {2371, {kOrigin, 1.0, Txt{std::nullopt}, 0}, std::nullopt, 1},
      // No buffer for a distance or coordinate that is not finite, nor for a latitude past the pole.
      {2371, {kOrigin, kNaN, plain, 0}, std::nullopt, 1},
      {2371, {kOrigin, -kInf, plain, 1}, std::nullopt, 1},
      {2371, {Geo{"LINESTRING (0 0, Inf 1)"}, 1.0, plain, 0}, std::nullopt, 1},
      {2371, {Geo{"POINT (0 100)"}, 1.0, plain, 2}, std::nullopt, 1},
      {2372, {Geo{"MULTIPOINT ((0 0), (NaN 0))"}, 1.0, plain, 0}, std::nullopt, 1},
      {2372, {kOrigin, kNaN, plain, 2}, std::nullopt, 1},
      {2372, {Geo{"MULTIPOINT ((0 0), (10 0))"}, 1.0, plain, 0}, "", 0, Area, 2 * ngonArea(32, 1)},
      {2372, {Geo{"MULTIPOINT ((0 0), (10 0))"}, 1.0, plain, 0}, "", 0, Members, 2},
      // Two overlapping discs are unioned: fewer than two whole discs of area.
      {2372, {Geo{"MULTIPOINT ((0 0), (1 0))"}, 1.0, plain, 0}, "", 0, Members, 1},
      {2372, {kNull, 1.0, plain, 0}, std::nullopt, 1},
      // Rings: buffer(1), then buffer(2) less buffer(1); together they cover buffer(2).
      {2414, {kOrigin, Arr{"[2, 1]"}, Bool(0)}, "", 0, Members, 2},
      {2414, {kOrigin, Arr{"[2, 1]"}, Bool(0)}, "", 0, Area, ngonArea(32, 2)},
      {2414, {kOrigin, Arr{"[1]"}, Bool(1)}, "", 0, Area, ngonArea(32, 1)},
      {2414, {kLeftSquare, Arr{"[1]"}, Bool(1)}, "", 0, Area, 8 + ngonArea(32, 1)},
      {2414, {kOrigin, Arr{"[]"}, Bool(0)}, "GEOMETRYCOLLECTION EMPTY"},
      {2414, {kOrigin, Arr{"[1, null]"}, Bool(0)}, std::nullopt},
      {2414, {kOrigin, Arr{std::nullopt}, Bool(0)}, std::nullopt},
      {2414, {Geo{"POINT (NaN 0)"}, Arr{"[1]"}, Bool(0)}, std::nullopt},
      {2414, {kNull, Arr{"[1]"}, Bool(0)}, std::nullopt},
  });
}

TEST(GeoOverlay, SetOperations) {
  expectRows(
      {norm(2398, {kLeftSquare, kRightSquare, 0}, "POLYGON ((1 0, 2 0, 2 2, 1 2, 1 0))"),
       {2398, {kLeftSquare, Geo{"POINT (5 5)"}, 0}, "POINT EMPTY"},
       {2398, {kLeftSquare, kNull, 0}, std::nullopt},
       norm(2382, {kLeftSquare, kRightSquare}, "POLYGON ((0 0, 1 0, 1 2, 0 2, 0 0))"),
       {2382, {kNull, kRightSquare}, std::nullopt},
       // (a - b) union b covers both squares.
       {2449, {kLeftSquare, kRightSquare}, "", 0, Area, 6},
       {2449, {kLeftSquare, Geo{"POLYGON ((1 1, 5 1, 5 5, 1 5, 1 1))"}}, "", 0, Area, 4 + 16 - 1},
       norm(2374, {Geo{"LINESTRING (0 0, 4 4)"}, Geo{"LINESTRING (1 1, 2 2)"}}, "LINESTRING (1 1, 2 2)"),
       {2374, {kLeftSquare, Geo{"POINT EMPTY"}}, "GEOMETRYCOLLECTION EMPTY"},
       {2374, {kXAxis, kNull}, std::nullopt},
       {2438, {Geo{"LINESTRING (0 0, 10 0.05)"}, Geo{"POINT (10 0)"}, 0.1f}, "LINESTRING (0 0, 10 0)"},
       {2438, {Geo{"LINESTRING (0 0, 10 0.5)"}, Geo{"POINT (10 0)"}, 0.1f}, "LINESTRING (0 0, 10 0.5)"},
       {2439, {kXAxis, Geo{"POINT (1 0)"}}, "MULTILINESTRING ((0 0, 1 0), (1 0, 4 0))"},
       norm(2439, {kXAxis, Geo{"LINESTRING (2 -1, 2 1)"}}, "MULTILINESTRING ((0 0, 2 0), (2 0, 4 0))"),
       {2439, {kLeftSquare, Geo{"LINESTRING (1 -1, 1 3)"}}, "", 0, Members, 2},
       {2439, {kLeftSquare, Geo{"LINESTRING (1 -1, 1 3)"}}, "", 0, Area, 4},
       {2439, {kOrigin, kOrigin}, std::nullopt, 1},
       {2439, {kNull, kXAxis}, std::nullopt, 1},
       {2433,
        {Geo{"LINESTRING (0 0, 10 0)"}, Geo{"LINESTRING (5 0, 8 0)"}},
        "GEOMETRYCOLLECTION (MULTILINESTRING ((5 0, 8 0)), MULTILINESTRING EMPTY)"},
       {2433,
        {Geo{"LINESTRING (0 0, 10 0)"}, Geo{"LINESTRING (8 0, 5 0)"}},
        "GEOMETRYCOLLECTION (MULTILINESTRING EMPTY, MULTILINESTRING ((5 0, 8 0)))"},
       {2433, {kLeftSquare, kXAxis}, std::nullopt, 1},
       // Coordinates that are not finite have no overlay: a null result.
       {2398, {Geo{"POINT (NaN 1)"}, kLeftSquare, 0}, std::nullopt},
       {2382, {Geo{"MULTIPOINT ((0 0), (Inf 1))"}, kLeftSquare}, std::nullopt},
       {2449, {kLeftSquare, Geo{"POINT (-Inf 1)"}}, std::nullopt},
       {2374, {Geo{"POINT (NaN 1)"}, kLeftSquare}, std::nullopt},
       {2419, {Geo{"MULTIPOINT ((0 0), (Inf 1))"}, 3}, std::nullopt}});
}

TEST(GeoOverlay, NearestAndFarthest) {
  expectRows({{2375, {kXAxis, Geo{"POINT (1 3)"}, 0}, "POINT (1 0)"},
              {2375, {Geo{"POINT (1 3)"}, kXAxis, 0}, "POINT (1 3)"},
              {2375, {kXAxis, Geo{"POINT EMPTY"}, 0}, std::nullopt, 1},
              {2415, {Geo{"POINT (1 3)"}, kXAxis}, "POINT (1 0)"},
              {2415, {kNull, kXAxis}, std::nullopt, 1},
              {2403, {kOrigin, Geo{"LINESTRING (1 0, 3 4)"}, 0}, "LINESTRING (0 0, 3 4)"},
              {2403, {kOrigin, kNull, 0}, std::nullopt, 1},
              // No nearest pair where the distance overflows or a coordinate is not finite.
              {2415, {Geo{"POINT (1e308 1)"}, kLeftSquare}, std::nullopt, 1},
              {2375, {Geo{"POINT (-1e308 1)"}, kLeftSquare, 0}, std::nullopt, 1},
              {2375, {Geo{"POINT (NaN 1)"}, kLeftSquare, 0}, std::nullopt, 1},
              {2452, {1.0, 0.0, kXAxis}, "POINT (1 0)"},
              {2452, {1.0, 1.0, kXAxis}, "POINT EMPTY"},
              {2452, {1.0, 1.0, kLeftSquare}, "POINT (1 1)"},
              {2452, {1.0, 1.0, kNull}, std::nullopt}});
}

TEST(GeoOverlay, ShapesAndPoints) {
  const Geo bowtie{"POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))"};
  const Geo fourSites{"MULTIPOINT ((0 0), (2 0), (0 2), (2 2))"};
  expectRows({norm(2379, {Geo{"MULTIPOINT ((0 0), (2 0), (2 2), (0 2), (1 1))"}, 1.0, Bool(0)},
                   "POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))"),
              {2379, {kNull, 1.0, Bool(0)}, std::nullopt},
              norm(2387, {Geo{"LINESTRING (0 0, 2 4)"}, 1.0}, "POLYGON ((-1 -2, 3 -2, 3 6, -1 6, -1 -2))"),
              norm(2387, {kLeftSquare, -0.5}, "POLYGON ((0.5 0.5, 1.5 0.5, 1.5 1.5, 0.5 1.5, 0.5 0.5))"),
              {2391, {kLeftSquare, 5}, "", 0, Points, 5},
              {2391, {kLeftSquare, 0}, std::nullopt, 1},
              {2391, {kXAxis, 5}, std::nullopt, 1},
              norm(2412, {bowtie, Txt{""}}, "MULTIPOLYGON (((0 0, 0 2, 1 1, 0 0)), ((1 1, 2 2, 2 0, 1 1)))"),
              {2412, {bowtie, Txt{"method=structure"}}, "", 0, Area, 2},
              norm(2412, {kLeftSquare, Txt{"method=linework"}}, "POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))"),
              {2412, {bowtie, Txt{std::nullopt}}, std::nullopt, 1},
              {2412, {kNull, Txt{""}}, std::nullopt, 1},
              norm(2419, {kXAxis, 2}, "GEOMETRYCOLLECTION (LINESTRING (0 0, 2 0), LINESTRING (2 0, 4 0))"),
              {2419, {kLeftSquare, 4}, "", 0, Members, 4},
              {2419, {kLeftSquare, 4}, "", 0, Area, 4},
              {2419, {kXAxis, 0}, std::nullopt},
              {2450, {Geo{"MULTIPOINT ((0 0), (2 0), (1 2))"}, 0.0}, "", 0, Members, 3},
              {2450, {fourSites, 0.0}, "", 0, Members, 4},
              // Sites closer than the tolerance merge.
              {2450, {Geo{"MULTIPOINT ((0 0), (0.001 0), (5 5))"}, 0.01}, "", 0, Members, 2},
              {2450, {Geo{"MULTIPOINT EMPTY"}, 0.0}, std::nullopt, 1},
              {2450, {kNull, 0.0}, std::nullopt, 1}});
}

TEST(GeoOverlay, AffineAndDensify) {
  const Geo segment{"LINESTRING (1 0, 2 1)"};
  expectRows({
      // A quarter turn counter-clockwise around (1, 1): (x, y) -> (1 - (y - 1), 1 + (x - 1)).
      {2427, {segment, kQuarterTurn, 1.0f, 1.0f}, "LINESTRING (2 1, 1 2)", 0, Close},
      {2427, {segment, 0.0f, 5.0f, 5.0f}, "LINESTRING (1 0, 2 1)"},
      {2427, {kNull, 0.0f, 0.0f, 0.0f}, std::nullopt},
      {2428, {segment, kQuarterTurn, Geo{"POINT (1 1)"}, 4326}, "LINESTRING (2 1, 1 2)", 0, Close},
      {2428, {segment, kQuarterTurn, kXAxis, 0}, std::nullopt, 1},
      {2428, {segment, kQuarterTurn, kNull, 0}, std::nullopt, 1},
      {2430, {Geo{"POINT (1 2)"}, Geo{"POINT (2 3)"}, 0}, "POINT (2 6)"},
      {2430, {Geo{"POINT Z (1 2 3)"}, Geo{"POINT Z (2 2 2)"}, 0}, "POINT Z (2 4 6)"},
      {2430, {Geo{"POINT Z (1 2 3)"}, Geo{"POINT (2 2)"}, 0}, "POINT Z (2 4 3)"},
      {2430, {Geo{"POINT (1 2)"}, kXAxis, 0}, std::nullopt, 1},
      // ceil(10 / 3) = 4 equal pieces.
      {2431, {Geo{"LINESTRING (0 0, 10 0)"}, 3.0, 0}, "LINESTRING (0 0, 2.5 0, 5 0, 7.5 0, 10 0)"},
      {2431, {Geo{"LINESTRING (0 0, 10 0)"}, 10.0, 0}, "LINESTRING (0 0, 10 0)"},
      {2431, {Geo{"POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0))"}, 1.0, 0}, "", 0, Points, 17},
      // One degree of latitude on the sphere is 111195.08 m: 3 pieces of at most 50 km.
      {2431, {Geo{"LINESTRING (0 0, 0 1)"}, 50000.0, 1}, "", 0, Points, 4},
      {2431, {kXAxis, 0.0, 0}, std::nullopt, 1},
      {2431, {kXAxis, -1.0, 0}, std::nullopt, 1},
      {2431, {kNull, 1.0, 0}, std::nullopt, 1},
      // East along the equator by a * pi / 180 (WGS84 a = 6378137 m): one degree of longitude.
      {2423, {kOrigin, 111319.49079327357f, kQuarterTurn}, "POINT (1 0)", 0, Close},
      {2423, {Geo{"POINT (10 20)"}, 0.0f, 0.0f}, "POINT (10 20)", 0, Close},
      {2423, {kXAxis, 1.0f, 0.0f}, std::nullopt, 1},
      {2451, {Geo{"MULTIPOINT ((-170 0), (170 0))"}, 0.0, 360.0}, "MULTIPOINT ((190 0), (170 0))"},
      {2451, {Geo{"MULTIPOINT ((-170 0), (170 0))"}, 0.0, -360.0}, "MULTIPOINT ((-170 0), (-190 0))"},
      norm(2451, {Geo{"LINESTRING (-10 0, 10 0)"}, 0.0, 360.0},
           "MULTILINESTRING ((350 0, 360 0), (0 0, 10 0))"),
      {2451, {kNull, 0.0, 360.0}, std::nullopt},
  });
}

TEST(GeoOverlay, LineLocatePoint) {
  const Program p = Program().column(kLoadGeometry, 0).column(kLoadGeometry, 1).op(2400);
  HarnessCase(p)
      .addGeometryColumn({"LINESTRING (0 0, 4 0)", "LINESTRING (0 0, 2 0, 2 2)", "LINESTRING (0 0, 4 0)",
                          "LINESTRING (0 0, 4 0)", "POINT (0 0)", std::nullopt, "LINESTRING (1 1, 1 1)"})
      .addGeometryColumn({"POINT (1 5)", "POINT (3 1)", "POINT (-3 1)", "POINT (9 0)", "POINT (0 0)",
                          "POINT (0 0)", "POINT (1 1)"})
      .expectRows<double>({0.25, 0.75, 0.0, 1.0, 0, 0, 0.0}, {0, 0, 0, 0, 1, 1, 0});
}

// Arguments the library does not take end the call with its message.
TEST(GeoOverlay, RefusedArguments) {
  auto fault = [](int code, const std::vector<Arg>& args, const std::string& message) {
    SCOPED_TRACE(code);
    build(code, args).harness().expectFault(message);
  };
  fault(2371, {kOrigin, 1.0, Txt{"endcap=rounded"}, 0}, "GeometryUtils::buffer: unknown buffer style");
  fault(2371, {kOrigin, 1.0, Txt{""}, 7}, "GeometryUtils::buffer: unknown metric 7");
  fault(2372, {kOrigin, 1.0, Txt{"quad_segs=0"}, 0}, "GeometryUtils::bufferbycomponent: buffer style");
  fault(2412, {kOrigin, Txt{"method=fast"}}, "GeometryUtils::makeValid: unknown parameter");
  fault(2379, {kOrigin, 1.5, Bool(0)}, "GeometryUtils::concaveHull: ratio");
  fault(2414, {kOrigin, Arr{"[1, \"2\"]"}, Bool(0)}, "GEO_MULTIPLE_RING_BUFFERS: distance 2 is not a number");
  fault(2414, {kOrigin, Arr{"{\"d\": 1}"}, Bool(0)},
        "GEO_MULTIPLE_RING_BUFFERS: the distances are not an array");
  std::string many = "[0";
  for (int i = 1; i <= 1000; ++i)
    many += ", " + std::to_string(i);
  fault(2414, {kOrigin, Arr{many + "]"}, Bool(0)}, "GEO_MULTIPLE_RING_BUFFERS: 1001 distances");
}

// A constant geometry operand is shared by every task; an intermediate one is freed by its entry.
TEST(GeoOverlay, ConstantAndIntermediateOperands) {
  std::unique_ptr<geos::geom::Geometry> square;
  ASSERT_TRUE(vela::GeometryCodec::readWkt(kRightSquare.wkt->data(), kRightSquare.wkt->size(), square).ok());
  Program prog;
  prog.column(kLoadGeometry, 0).pointerConstant(kConstGeometry, square.get()).constant(kConstI32, 0).op(2398);
  HarnessCase(prog.constant(kConstI32, 0).op(kArea))
      .addGeometryColumn(
          {"POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))", "POINT (2 1)", "POLYGON ((2 0, 4 0, 4 1, 2 1, 2 0))"})
      .expectRows<double>({2.0, 0.0, 1.0});
  // Buffer of a buffer's intermediate result, then its points counted.
  Program buffer;
  buffer.column(kLoadGeometry, 0).constant(kConstF64, 1.0).pointerConstant(kConstString, nullptr);
  HarnessCase(buffer.constant(kConstI32, 0).op(2371).op(kNumPoints))
      .addGeometryColumn({"POINT (0 0)"})
      .expectRows<std::int32_t>({0}, {1});
}

// The planned predicates discard their operands, intermediate ones included, and every row shows the
// element's constant.
TEST(GeoOverlay, PlannedPredicatesPushTheirConstant) {
  // The planning operands every form ends with: predicate, distance, and two i32 parameters.
  auto plan = [](Program& p) {
    p.constant(kConstI32, 1).constant(kConstF64, 2.0).constant(kConstI32, 3).constant(kConstI32, 4);
  };
  for (const std::int8_t constant : {0, 1, 7}) {
    const Bool want = constant != 0 ? 1 : 0;
    Program gg;
    gg.column(kLoadGeometry, 0).column(kLoadGeometry, 1);
    plan(gg);
    HarnessCase(gg.constant(2453, constant))
        .addGeometryColumn({"POINT (0 0)", std::nullopt, "LINESTRING (0 0, 1 1)"})
        .addGeometryColumn({"POINT (1 1)", "POINT (2 2)", std::nullopt})
        .expectRows<Bool>({want, want, want});
    Program xyg; // the geometry an owned intermediate result
    xyg.column(kLoadF64, 0).column(kLoadF64, 1).constant(kConstF64, 1.0).constant(kConstF64, 0.0);
    xyg.column(kLoadGeometry, 2).op(2452);
    plan(xyg);
    HarnessCase(xyg.constant(2454, constant))
        .addColumn(std::vector<double>{1, 2})
        .addColumn(std::vector<double>{3, 4})
        .addGeometryColumn({"LINESTRING (0 0, 4 0)", "POINT (1 0)"})
        .expectRows<Bool>({want, want});
    Program gxy;
    gxy.column(kLoadGeometry, 0).column(kLoadF64, 1).constant(kConstF64, 2.0);
    plan(gxy);
    HarnessCase(gxy.constant(2455, constant))
        .addGeometryColumn({"POINT (0 0)", std::nullopt})
        .addColumn(std::vector<double>{1, 2})
        .expectRows<Bool>({want, want});
    Program xyxy;
    for (double v : {1.0, 2.0, 3.0, 4.0})
      xyxy.constant(kConstF64, v);
    xyxy.constant(kConstI32, 1).constant(kConstF64, 5.0).constant(kConstI32, 0).constant(2456, constant);
    HarnessCase(xyxy).expectRows<Bool>({want});
  }
}

// 2306 leaves both stacks as they were: the program's result is the value beneath it.
TEST(GeoOverlay, ReservedCodeLeavesTheStack) {
  HarnessCase(Program().column(kLoadI32, 0).op(2306))
      .addColumn(std::vector<std::int32_t>{5, -1, 0})
      .expectRows<std::int32_t>({5, -1, 0});
  HarnessCase(Program().column(kLoadGeometry, 0).op(2306).op(2306).op(kToWkt))
      .addGeometryColumn({"POINT (1 2)", std::nullopt})
      .expectStrings({"POINT (1 2)", std::nullopt}, {0, 0});
}

// Constructors and transformations: exact WKT worked out by hand from the inputs, normalized where
// vertex order or the starting vertex is not the point (hulls, boxes).
const Geo kLine{"LINESTRING (0 0, 1 1, 2 0)"};
const Geo kHoled{"POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1))"};

TEST(GeoConstruct, FromCoordinatesAndGeometries) {
  expectTransforms(
      {{2364, {kLine, Geo{"POINT (5 5)"}, 0}, "LINESTRING (5 5, 0 0, 1 1, 2 0)"},
       {2364, {kLine, Geo{"POINT (5 5)"}, 2}, "LINESTRING (0 0, 1 1, 5 5, 2 0)"},
       {2364, {kLine, Geo{"POINT (5 5)"}, -1}, "LINESTRING (0 0, 1 1, 2 0, 5 5)"},
       {2364, {kLine, Geo{"POINT (5 5)"}, 9}, std::nullopt, 1},
       {2364, {kLine, kNull, 0}, std::nullopt, 1},
       {2376, {Geo{"POINT (1 2)"}, Geo{"POINT (3 4)"}}, "MULTIPOINT ((1 2), (3 4))"},
       {2376,
        {Geo{"POINT (1 2)"}, Geo{"LINESTRING (0 0, 1 1)"}},
        "GEOMETRYCOLLECTION (POINT (1 2), LINESTRING (0 0, 1 1))"},
       {2376, {kNull, Geo{"POINT (3 4)"}}, "POINT (3 4)"},
       {2404, {Geo{"MULTIPOINT ((0 0), (1 1))"}}, "LINESTRING (0 0, 1 1)"},
       {2404, {Geo{"MULTIPOINT ((0 0))"}}, std::nullopt, 1},
       {2404, {Geo{"POINT (0 0)"}}, std::nullopt, 1},
       {2405, {Geo{"MULTIPOINT ((0 0), (1 1), (2 0))"}, 4326}, "LINESTRING (0 0, 1 1, 2 0)"},
       {2405, {kNull, 0}, std::nullopt, 1},
       {2406, {Geo{"POINT Z (0 0 5)"}, Geo{"POINT Z (1 1 1)"}}, "LINESTRING Z (0 0 5, 1 1 1)"},
       {2406, {Geo{"POINT (0 0)"}, Geo{"LINESTRING (1 1, 2 2)"}}, "LINESTRING (0 0, 1 1, 2 2)"},
       {2406, {Geo{"POINT (0 0)"}, kNull}, std::nullopt, 1},
       norm(2407, {0.0, 0.0, 2.0, 1.0}, "POLYGON ((0 0, 2 0, 2 1, 0 1, 0 0))"),
       {2408, {1.5, -2.0}, "POINT (1.5 -2)"},
       {2417, {-0.25, 1e10}, "POINT (-0.25 1e+10)"},
       {2409, {Geo{"LINESTRING (0 0, 1 0, 1 1, 0 0)"}}, "POLYGON ((0 0, 1 0, 1 1, 0 0))"},
       {2409, {Geo{"LINESTRING (0 0, 1 0, 1 1)"}}, std::nullopt, 1},
       {2410, {0.0, 0.0, 1.0, 0.0, 0.0, 1.0}, "POLYGON ((0 0, 1 0, 0 1, 0 0))"},
       {2411, {0.0, 0.0, 1.0, 1.0, 0.0, 2.0, 0.0, 1.0, 3.0}, "POLYGON Z ((0 0 1, 1 0 2, 0 1 3, 0 0 1))"},
       {2413, {Geo{"POINT (1 2)"}}, "MULTIPOINT ((1 2))"},
       {2413, {kLine}, "MULTILINESTRING ((0 0, 1 1, 2 0))"},
       {2413, {Geo{"MULTIPOINT ((1 2))"}}, "MULTIPOINT ((1 2))"},
       {2413, {kNull}, std::nullopt}});
}

TEST(GeoTransform, PartsOfGeometries) {
  expectTransforms(
      {{2369, {kLine}, "MULTIPOINT ((0 0), (2 0))"},
       {2369, {kNull}, std::nullopt, 1},
       {2370, {Geo{"LINESTRING (0 0, 2 3, 4 1)"}, Bool(0)}, "LINESTRING (0 0, 4 3)"},
       {2370, {Geo{"LINESTRING (0 0, 2 3, 4 1)"}, Bool(1)}, "LINESTRING (0 3, 4 0)"},
       {2384, {kLine}, "POINT (2 0)"},
       {2384, {kNull}, std::nullopt, 1},
       {2441, {kLine}, "POINT (0 0)"},
       {2388, {kHoled}, "LINESTRING (0 0, 4 0, 4 4, 0 0)"},
       {2388, {kLine}, std::nullopt, 1},
       {2397, {kHoled, 1}, "LINESTRING (1 1, 2 1, 2 2, 1 1)"},
       {2397, {kHoled, 2}, std::nullopt, 1},
       {2397, {kHoled, 0}, std::nullopt, 1},
       {2392, {Geo{"MULTIPOINT ((1 2), (3 4))"}, 2}, "POINT (3 4)"},
       {2392, {Geo{"MULTIPOINT ((1 2), (3 4))"}, 3}, std::nullopt, 1},
       {2421, {kLine, 2}, "POINT (1 1)"},
       {2421, {kLine, 4}, std::nullopt, 1},
       {2422, {Geo{"POLYGON ((0 0, 1 0, 0 1, 0 0))"}}, "MULTIPOINT ((0 0), (1 0), (0 1), (0 0))"},
       {2424, {kLine, 1}, "LINESTRING (0 0, 2 0)"},
       {2424, {kLine, -1}, "LINESTRING (0 0, 1 1)"},
       {2424, {Geo{"LINESTRING (0 0, 1 1)"}, 0}, std::nullopt, 1},
       {2432, {kLine, 1, Geo{"POINT (5 5)"}}, "LINESTRING (0 0, 5 5, 2 0)"},
       {2432, {kLine, -1, Geo{"POINT (5 5)"}}, "LINESTRING (0 0, 1 1, 5 5)"},
       {2432, {kLine, 3, Geo{"POINT (5 5)"}}, std::nullopt, 1}});
}

TEST(GeoTransform, CoordinatesChanged) {
  expectTransforms(
      {{2373, {Geo{"POLYGON ((0 0, 4 0, 4 2, 0 2, 0 0))"}}, "POINT (2 1)"},
       {2373, {Geo{"LINESTRING (0 0, 2 0)"}}, "POINT (1 0)"},
       {2373, {Geo{"MULTIPOINT ((0 0), (2 2))"}}, "POINT (1 1)"},
       norm(2380, {Geo{"MULTIPOINT ((0 0), (2 0), (1 1), (1 3))"}}, "POLYGON ((0 0, 2 0, 1 3, 0 0))"),
       {2389, {Geo{"POINT Z (1 2 3)"}}, "POINT (1 2)"},
       {2389, {Geo{"LINESTRING Z (0 0 1, 1 1 2)"}}, "LINESTRING (0 0, 1 1)"},
       {2390, {Geo{"POINT (1 2)"}, 7.0}, "POINT Z (1 2 7)"},
       {2390, {kNull, 7.0}, std::nullopt, 1},
       {2426, {kLine}, "LINESTRING (2 0, 1 1, 0 0)"},
       {2426, {kNull}, std::nullopt},
       {2429, {Geo{"LINESTRING (1 1, 2 3)"}, 2.0f, 3.0f}, "LINESTRING (2 3, 4 9)"},
       {2429, {Geo{"POINT (1 1)"}, -1.0f, 0.5f}, "POINT (-1 0.5)"},
       {2443, {Geo{"POINT (1 2)"}, 0.5f, -1.0f}, "POINT (1.5 1)"},
       {2443, {Geo{"POINT Z (1 2 3)"}, 1.0f, 1.0f}, "POINT Z (2 3 3)"}});
}

TEST(GeoTransform, EnvelopesAndSimplification) {
  const Geo unit{"POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))"};
  expectTransforms(
      {norm(2385, {Geo{"LINESTRING (0 0, 2 3, 4 1)"}, 0}, "POLYGON ((0 0, 4 0, 4 3, 0 3, 0 0))"),
       {2385, {Geo{"POINT (1 2)"}, 0}, "POINT (1 2)"},
       {2385, {Geo{"POINT EMPTY"}, 0}, std::nullopt, 1},
       {2385, {kNull, 0}, std::nullopt, 1},
       // Douglas-Peucker drops a ring narrower than the tolerance; the topology-preserving form keeps it.
       {2436, {Geo{"LINESTRING (0 0, 1 0.1, 2 0)"}, 0.5, 0}, "LINESTRING (0 0, 2 0)"},
       {2436, {unit, 10.0, 0}, "POLYGON EMPTY"},
       norm(2436, {unit, 10.0, 7}, "POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))"),
       norm(2437, {unit, 10.0}, "POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))"),
       {2437, {Geo{"LINESTRING (0 0, 1 0.1, 2 0)"}, 0.5}, "LINESTRING (0 0, 2 0)"}});
  // A metric the library does not know, and a negative tolerance, end the call.
  HarnessCase(Program().column(kLoadGeometry, 0).constant(kConstI32, 3).op(2385))
      .addGeometryColumn({"POINT (1 2)"})
      .expectFault("GeometryUtils::envelope: unknown metric 3");
  HarnessCase(Program().column(kLoadGeometry, 0).constant(kConstF64, -1.0).op(2437))
      .addGeometryColumn({"POINT (1 2)"})
      .expectFault("GeometryUtils::simplifyPreserveTopology");
}

TEST(GeoTransform, LinesAndSetOperations) {
  const Geo mixed{"GEOMETRYCOLLECTION (POINT (1 2), LINESTRING (0 0, 1 1))"};
  expectTransforms(
      {{2377, {mixed, 1}, "MULTIPOINT ((1 2))"},
       {2377, {mixed, 2}, "MULTILINESTRING ((0 0, 1 1))"},
       {2377, {kNull, 1}, std::nullopt, 1},
       {2378, {Geo{"GEOMETRYCOLLECTION (POINT (1 2), POINT (3 4))"}}, "MULTIPOINT ((1 2), (3 4))"},
       {2378, {Geo{"GEOMETRYCOLLECTION (POINT (1 2))"}}, "POINT (1 2)"},
       norm(2381, {kLeftSquare, kRightSquare}, "POLYGON ((0 0, 1 0, 1 2, 0 2, 0 0))"),
       {2381, {kNull, kRightSquare}, std::nullopt, 1},
       norm(2386, {Geo{"LINESTRING (0 0, 2 1)"}, 1.0f}, "POLYGON ((-1 -1, 3 -1, 3 2, -1 2, -1 -1))"),
       {2399, {Geo{"LINESTRING (0 0, 4 0)"}, 0.25}, "POINT (1 0)"},
       {2399, {Geo{"LINESTRING (0 0, 2 0, 2 2)"}, 0.75}, "POINT (2 1)"},
       norm(2401, {Geo{"MULTILINESTRING ((0 0, 1 1), (1 1, 2 0))"}}, "LINESTRING (0 0, 1 1, 2 0)"),
       {2402, {Geo{"LINESTRING (0 0, 4 0)"}, 0.25, 0.75}, "LINESTRING (1 0, 3 0)"},
       {2416, {Geo{"LINESTRING (2 0, 0 0)"}}, "LINESTRING (0 0, 2 0)"},
       {2425, {Geo{"LINESTRING (0 0, 0 0, 1 1)"}, 0.0f}, "LINESTRING (0 0, 1 1)"},
       {2434, {Geo{"POINT (-170 10)"}}, "POINT (190 10)"},
       {2434, {Geo{"POINT (170 10)"}}, "POINT (170 10)"},
       {2435, {Geo{"POINT (0 0)"}, Geo{"LINESTRING (1 -1, 1 1)"}}, "LINESTRING (0 0, 1 0)"},
       {2435, {Geo{"POINT (0 0)"}, kNull}, std::nullopt, 1},
       norm(2442, {kLeftSquare, kRightSquare},
            "MULTIPOLYGON (((0 0, 1 0, 1 2, 0 2, 0 0)), ((2 0, 3 0, 3 2, 2 2, 2 0)))"),
       norm(2446, {Geo{"POINT (1 1)"}, Geo{"POINT (2 2)"}}, "MULTIPOINT ((1 1), (2 2))"),
       {2446, {Geo{"POINT (1 1)"}, Geo{"POINT (1 1)"}}, "POINT (1 1)"},
       norm(2447, {Geo{"MULTIPOINT ((1 1), (1 1), (2 2))"}}, "MULTIPOINT ((1 1), (2 2))")});
}

// A constant geometry operand is read by every task of every batch; its result is the same in each
// row, and an intermediate operand's result replaces it (the input freed by its entry).
TEST(GeoTransform, ConstantAndIntermediateOperands) {
  std::unique_ptr<geos::geom::Geometry> holed;
  ASSERT_TRUE(vela::GeometryCodec::readWkt(kHoled.wkt->data(), kHoled.wkt->size(), holed).ok());
  HarnessCase(Program().pointerConstant(kConstGeometry, holed.get()).column(kLoadI32, 0).op(2397).op(kToWkt))
      .addColumn(std::vector<std::int32_t>{1, 2, 1})
      .expectStrings({"LINESTRING (1 1, 2 1, 2 2, 1 1)", std::nullopt, "LINESTRING (1 1, 2 1, 2 2, 1 1)"},
                     {0, 1, 0});
  Program shifted; // translated by (1, 2), then reversed
  shifted.column(kLoadGeometry, 0).constant(kConstF32, 1.0f).constant(kConstF32, 2.0f).op(2443);
  HarnessCase(shifted.op(2426).op(kToWkt))
      .addGeometryColumn({"LINESTRING (0 0, 1 1)", std::nullopt, "POINT (0 0)"})
      .expectStrings({"LINESTRING (2 3, 1 2)", std::nullopt, "POINT (1 2)"}, {0, 0, 0});
}

// Constructors whose results are checked by their measures rather than by text: grids (cell counts,
// areas, squares), the ellipse (every vertex on the curve) and geohash cells (bounds from a decoder
// written here, and the published centre of "ezs42").
constexpr int kEllipse = 2383, kFromGeohash = 2395, kHexGrid = 2396, kPointFromGeohash = 2418,
              kPointGrid = 2420, kRectangleGrid = 2440, kTriangleGrid = 2448, kLoadChar32 = kLoadChar + 5,
              kGeohash = 2444;

std::unique_ptr<geos::geom::Geometry> parse(const std::string& wkt) {
  return geos::io::WKTReader().read(wkt);
}

// A grid over (x0, y0, x1, y1) with the given size and limit, one row; the members, or none for a null
// row (whose state must then be 1).
std::vector<std::unique_ptr<geos::geom::Geometry>> grid(int code, std::vector<double> box, double size,
                                                        std::int64_t limit) {
  Program p;
  for (double v : box)
    p.constant(kConstF64, v);
  p.constant(kConstF64, size).constant(kConstI64, limit).op(code).op(kToWkt);
  const HarnessResult r = HarnessCase(p).run();
  std::vector<std::unique_ptr<geos::geom::Geometry>> cells;
  if (!r.objects[0]) {
    EXPECT_EQ(r.states[0], 1);
    return cells;
  }
  EXPECT_EQ(r.states[0], 0);
  const std::unique_ptr<geos::geom::Geometry> g = parse(*r.objects[0]);
  for (std::size_t i = 0; i < g->getNumGeometries(); ++i)
    cells.push_back(g->getGeometryN(i)->clone());
  return cells;
}

TEST(GeoConstruct, RectangleTriangleAndPointGrids) {
  const std::vector<double> box = {0, 0, 3, 2};
  auto squares = grid(kRectangleGrid, box, 1, 100);
  ASSERT_EQ(squares.size(), 6u);
  geos::geom::Envelope all;
  for (const auto& c : squares) {
    const geos::geom::Envelope* e = c->getEnvelopeInternal();
    EXPECT_EQ(e->getWidth(), 1.0);
    EXPECT_EQ(e->getHeight(), 1.0);
    EXPECT_EQ(c->getArea(), 1.0);
    all.expandToInclude(e);
  }
  EXPECT_EQ(all, geos::geom::Envelope(0, 3, 0, 2));
  EXPECT_EQ(grid(kRectangleGrid, box, 0.5, 100).size(), 24u);
  auto triangles = grid(kTriangleGrid, box, 1, 100);
  ASSERT_EQ(triangles.size(), 12u);
  for (const auto& c : triangles)
    EXPECT_EQ(c->getArea(), 0.5);
  auto points = grid(kPointGrid, box, 1, 100);
  std::vector<std::pair<double, double>> got;
  for (const auto& c : points)
    got.emplace_back(c->getCoordinate()->x, c->getCoordinate()->y);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::pair<double, double>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}}));
  // Over the limit (a triangle cell counts twice), a size that is not positive or not finite, more
  // cells than any limit allows: null.
  EXPECT_TRUE(grid(kRectangleGrid, box, 1, 5).empty());
  EXPECT_EQ(grid(kRectangleGrid, box, 1, 6).size(), 6u);
  EXPECT_TRUE(grid(kTriangleGrid, box, 1, 11).empty());
  EXPECT_TRUE(grid(kPointGrid, box, 0, 100).empty());
  EXPECT_TRUE(grid(kRectangleGrid, box, -1, 100).empty());
  EXPECT_TRUE(grid(kRectangleGrid, box, NAN, 100).empty());
  EXPECT_TRUE(grid(kRectangleGrid, {0, 0, 1e9, 1e9}, 1, 1'000'000'000'000).empty());
}

TEST(GeoConstruct, HexagonsAreRegular) {
  const double size = 0.5;
  auto hexagons = grid(kHexGrid, {0, 0, 2, 2}, size, 1000);
  ASSERT_FALSE(hexagons.empty());
  for (const auto& h : hexagons) {
    EXPECT_NEAR(h->getArea(), 1.5 * std::sqrt(3.0) * size * size, 1e-12);
    EXPECT_EQ(h->getNumPoints(), 7u);
    // Flat-topped: as wide as two sides, as high as sqrt(3) sides.
    EXPECT_NEAR(h->getEnvelopeInternal()->getWidth(), 2 * size, 1e-12);
    EXPECT_NEAR(h->getEnvelopeInternal()->getHeight(), std::sqrt(3.0) * size, 1e-12);
  }
  EXPECT_TRUE(grid(kHexGrid, {0, 0, 2, 2}, size, 1).empty());
}

TEST(GeoConstruct, EllipseVerticesLieOnTheCurve) {
  Program p; // centre (1, -2), width 4, height 2
  for (double v : {1.0, -2.0, 4.0, 2.0})
    p.constant(kConstF64, v);
  const HarnessResult r = HarnessCase(p.op(kEllipse).op(kToWkt)).run();
  ASSERT_TRUE(r.objects[0]);
  const auto g = parse(*r.objects[0]);
  EXPECT_EQ(g->getGeometryType(), "Polygon");
  const auto coords = g->getCoordinates();
  EXPECT_EQ(coords->size(), 101u);
  for (std::size_t i = 0; i < coords->size(); ++i) {
    const double u = (coords->getAt(i).x - 1.0) / 2.0, v = (coords->getAt(i).y + 2.0) / 1.0;
    EXPECT_NEAR(u * u + v * v, 1.0, 1e-12) << i;
  }
  EXPECT_NEAR(g->getEnvelopeInternal()->getWidth(), 4.0, 1e-3);
}

// Bounds [lon0, lon1] x [lat0, lat1] of a geohash: bits alternate longitude first, five per character.
geos::geom::Envelope decodeGeohash(const std::string& text) {
  const std::string alphabet = "0123456789bcdefghjkmnpqrstuvwxyz";
  double lon0 = -180, lon1 = 180, lat0 = -90, lat1 = 90;
  bool lon = true;
  for (char ch : text) {
    const auto bits = alphabet.find(ch);
    for (int b = 4; b >= 0; --b, lon = !lon) {
      double& lo = lon ? lon0 : lat0;
      double& hi = lon ? lon1 : lat1;
      const double mid = (lo + hi) / 2;
      ((bits >> b) & 1 ? lo : hi) = mid;
    }
  }
  return geos::geom::Envelope(lon0, lon1, lat0, lat1);
}

TEST(GeoConstruct, GeohashCellsAndCentres) {
  const std::vector<Text<32>> texts = {txt<32>("ezs42"), txt<32>("ezs42"), txt<32>("u4pruydqqvj"),
                                       txt<32>("ezs4a"), txt<32>("")};
  const std::vector<std::int32_t> precisions = {0, 3, 11, 0, 0};
  const std::vector<std::string> effective = {"ezs42", "ezs", "u4pruydqqvj"};
  auto run = [&](int code) {
    return HarnessCase(Program().column(kLoadChar32, 0).column(kLoadI32, 1).op(code).op(kToWkt))
        .addColumn(texts)
        .addColumn(precisions)
        .run();
  };
  const HarnessResult cells = run(kFromGeohash), centres = run(kPointFromGeohash);
  for (std::size_t i = 0; i < effective.size(); ++i) {
    SCOPED_TRACE(effective[i]);
    ASSERT_TRUE(cells.objects[i] && centres.objects[i]);
    const geos::geom::Envelope want = decodeGeohash(effective[i]);
    const auto cell = parse(*cells.objects[i]);
    EXPECT_EQ(*cell->getEnvelopeInternal(), want);
    EXPECT_EQ(cell->getArea(), want.getArea());
    const auto centre = parse(*centres.objects[i]);
    geos::geom::Coordinate c;
    want.centre(c);
    EXPECT_EQ(centre->getCoordinate()->x, c.x);
    EXPECT_EQ(centre->getCoordinate()->y, c.y);
  }
  // The published centre of "ezs42", and text that is not a geohash.
  EXPECT_EQ(centres.objects[0], "POINT (-5.60302734375 42.60498046875)");
  EXPECT_EQ(cells.objects[3], std::nullopt);
  EXPECT_EQ(centres.objects[3], std::nullopt);
  EXPECT_EQ(cells.objects[4], std::nullopt);
}

TEST(GeoConstruct, GeohashOfAPoint) {
  // The published "ezs42" cell holds (-5.6, 42.6); each precision is a prefix of the longest text, and
  // the text decodes to a cell holding the point.
  const HarnessResult r =
      HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadI32, 1).op(kGeohash))
          .addGeometryColumn({"POINT (-5.6 42.6)", "POINT (-5.6 42.6)", "POINT (-5.6 42.6)",
                              "LINESTRING (0 0, 1 1)", std::nullopt, "POINT (0 95)"})
          .addColumn(std::vector<std::int32_t>{5, 1, 12, 5, 5, 5})
          .run();
  HarnessCase::checkStates(r, {0, 0, 0, 1, 1, 1}, vela::cuda::RPN_EVAL_OK);
  ASSERT_EQ(r.values.size(), 6u * 32u);
  auto textAt = [&](unsigned long row) {
    char text[32];
    const int n = vela::cuda::charn::toText(r.value<Text<32>>(row).cell, text);
    return std::string(text, static_cast<std::size_t>(n));
  };
  EXPECT_EQ(textAt(0), "ezs42");
  EXPECT_EQ(textAt(1), "e");
  const std::string longest = textAt(2);
  ASSERT_EQ(longest.size(), 12u);
  EXPECT_EQ(longest.substr(0, 5), "ezs42");
  EXPECT_TRUE(decodeGeohash(longest).contains(-5.6, 42.6));
}
} // namespace
