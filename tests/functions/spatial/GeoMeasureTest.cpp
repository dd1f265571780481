// Geometry measurements, accessors, counts and type texts through both evaluators, on shapes whose
// measures are hand-computed: the 4 x 4 square (area 16, perimeter 16), a 3-4-5 triangle's sides, a
// square with a 1 x 1 hole, and one degree of the equator on the sphere metric's sphere.
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;
using Wkt = std::optional<std::string>;

namespace {

constexpr TypedRpnOp kLoadGeometry = 236;
const std::string kSquare = "POLYGON((0 0,4 0,4 4,0 4,0 0))";
const std::string kHoled = "POLYGON((0 0,4 0,4 4,0 4,0 0),(1 1,2 1,2 2,1 2,1 1))";
// A shell of area 1 around a hole of area 16: invalid, and measured as 1 - 16.
const std::string kHoleOutgrowsShell = "POLYGON((0 0,1 0,1 1,0 1,0 0),(-1 -1,3 -1,3 3,-1 3,-1 -1))";
const double kDegreeOnSphere = 6371008.8 * std::numbers::pi / 180.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
  Program gxy;
  gxy.column(kLoadGeometry, 0).column(kLoadF64, 1).column(kLoadF64, 2).op(2290);
  const HarnessResult r = HarnessCase(gxy)
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
  const std::vector<Row> rows = {
      {300, 400, 1, 0, 50, 0},
      {25, 0, 1, 0, 3, 0},
      {24, 0, 1, 0, 2, 0},
      {300, 400, 18, 0, 5000000000000000000L, 0},
      {0, 1000, 18, 0, std::numeric_limits<long>::max(), 0},
      {0, 9500, 1, 1, 0, 1},
  };
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
      {2347, {0, 0, 1.5, 0, 0}, {1, 1, 0, 1, 1}}, {2348, {0, 0, -2, 0, 0}, {1, 1, 0, 1, 1}},
  };
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
  const std::vector<Row> rows = {
      {2351, {2, 3, 2, 2, 2, 0}, {}},
      {2352, {2, 0, 1, 0, -1, 0}, {}},
      {2353, {3, 0, 1, 4, 7, -1}, {}},
      {2354, {2, 3, 2, 2, 2, 0}, {}},
      {2355, {10, 1, 3, 2, 0, 0}, {}},
      {2356, {2, 0, 0, 0, 0, 0}, {}},
      {2357, {1, 1, 1, 2, 0, 0}, {}},
      {2360, {0, 2, 0, 0, 0, 0}, {}},
      {2358, {1, 0, 0, 0, 0, 0}, {0, 1, 1, 1, 1, 1}},
      {2359, {0, 0, 3, 0, 0, 0}, {1, 1, 0, 1, 1, 1}},
  };
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
      {2363, 128, {"Valid Geometry", "Valid Geometry", "Self-intersection[1 1]", ""}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    const HarnessResult got = HarnessCase(single(r.code)).addGeometryColumn(shapes).run();
    EXPECT_EQ(got.values, cells(r.width, r.want));
  }
}

} // namespace
