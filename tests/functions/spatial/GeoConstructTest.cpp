// Constructors whose results are checked by their measures rather than by text: grids (cell counts,
// areas, squares), the ellipse (every vertex on the curve) and geohash cells (bounds from a decoder
// written here, and the published centre of "ezs42").
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <geos/geom/Coordinate.h>
#include <geos/geom/CoordinateSequence.h>
#include <geos/geom/Envelope.h>
#include <geos/io/WKTReader.h>

#include "tests/functions/text/TextTestSupport.h"
#include "tests/support/EvalHarness.h"

using namespace quarry::test;

namespace {

constexpr int kToWkt = 782, kEllipse = 2383, kFromGeohash = 2395, kHexGrid = 2396, kPointFromGeohash = 2418,
              kPointGrid = 2420, kRectangleGrid = 2440, kTriangleGrid = 2448;
constexpr int kLoadChar32 = kLoadChar + 5, kLoadGeometry = 236, kGeohash = 2444;

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
