// The interval-indexed point-in-polygon classifier against the geometry library's own point location:
// 10,000 random points per polygon, every vertex, and points exactly on edges; pool balance.
#include <memory>
#include <random>
#include <string>

#include <geos/geom/Coordinate.h>
#include <geos/geom/CoordinateSequence.h>
#include <geos/geom/Point.h>
#include <geos/geom/prep/PreparedGeometry.h>
#include <geos/geom/prep/PreparedGeometryFactory.h>
#include <gtest/gtest.h>

#include "base/GeometryCodec.h"
#include "base/ManagedGeometryPtr.h"
#include "base/Pip.h"
#include "base/RamPool.h"
#include "base/VelaException.h"

using geos::geom::Coordinate;
using geos::geom::Geometry;
using vela::Pip;
using vela::PipClass;

namespace {

std::unique_ptr<Geometry> G(const std::string& wkt) {
  std::unique_ptr<Geometry> g;
  EXPECT_TRUE(vela::GeometryCodec::readWkt(wkt.data(), wkt.size(), g).ok()) << wkt;
  return g;
}

// A comb: teeth whose tips and gaps share Y values with many vertices, so rays run along horizontal
// edges and through vertices.
std::string comb(int teeth) {
  std::string wkt = "POLYGON ((0 0";
  for (int i = 0; i < teeth; ++i)
    wkt += ", " + std::to_string(2 * i + 1) + " 0, " + std::to_string(2 * i + 1) + " 5, " +
           std::to_string(2 * i + 2) + " 5, " + std::to_string(2 * i + 2) + " 0";
  wkt += ", " + std::to_string(2 * teeth + 1) + " 0, " + std::to_string(2 * teeth + 1) + " -1, 0 -1, 0 0))";
  return wkt;
}

// What the library's predicates say of the point, in the classifier's codes: contained is inside,
// covered but not contained is on the boundary.
int reference(const geos::geom::prep::PreparedGeometry& g, double x, double y) {
  const std::unique_ptr<Geometry> pt(vela::sharedGeometryFactory().createPoint(Coordinate(x, y)));
  if (g.contains(pt.get()))
    return static_cast<int>(PipClass::Inside);
  return static_cast<int>(g.covers(pt.get()) ? PipClass::Boundary : PipClass::Outside);
}

struct Shape {
  const char* name;
  std::string wkt;
};

std::vector<Shape> shapes() {
  return {
      {"square with hole", "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 2, 8 2, 8 8, 2 8, 2 2))"},
      {"concave star", "POLYGON ((0 5, 4 4, 5 0, 6 4, 10 5, 6 6, 5 10, 4 6, 0 5))"},
      {"two parts touching at a vertex",
       "MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((4 4, 8 4, 8 8, 4 8, 4 4)))"},
      {"comb", comb(20)},
      {"skewed triangle", "POLYGON ((0.1 0.3, 9.7 1.1, 3.3 7.9, 0.1 0.3))"},
      {"nested islands", "MULTIPOLYGON (((0 0, 20 0, 20 20, 0 20, 0 0), (2 2, 18 2, 18 18, 2 18, 2 2)), ((5 "
                         "5, 15 5, 15 15, 5 15, 5 5)))"},
  };
}

} // namespace

TEST(Pip, RandomPointsAgreeWithTheLibrary) {
  std::mt19937_64 rng(42);
  for (const Shape& s : shapes()) {
    SCOPED_TRACE(s.name);
    const auto g = G(s.wkt);
    const auto prepared = geos::geom::prep::PreparedGeometryFactory::prepare(g.get());
    const Pip<vela::IntervalPip> pip(*g);
    const auto* e = g->getEnvelopeInternal();
    std::uniform_real_distribution<double> xs(e->getMinX() - 1, e->getMaxX() + 1),
        ys(e->getMinY() - 1, e->getMaxY() + 1);
    std::uniform_int_distribution<int> grid(-2, 2 * static_cast<int>(e->getMaxX()) + 2);
    int inside = 0;
    for (int i = 0; i < 10000; ++i) {
      // Every fourth point on the half-unit grid, where the rings' vertices and horizontal edges lie.
      const double x = i % 4 == 0 ? grid(rng) / 2.0 : xs(rng);
      const double y = i % 4 == 0 ? grid(rng) / 2.0 : ys(rng);
      const int expected = reference(*prepared, x, y);
      ASSERT_EQ(pip.classify(x, y), expected) << x << " " << y;
      inside += expected == static_cast<int>(PipClass::Inside);
    }
    EXPECT_GT(inside, 500); // the sample reaches the interior, not only the outside
  }
}

// Points exactly on edges: midpoints of dyadic edges and exact fractions of axis-parallel ones.
TEST(Pip, VerticesAndEdgePointsAreBoundary) {
  for (const Shape& s : shapes()) {
    SCOPED_TRACE(s.name);
    const auto g = G(s.wkt);
    const auto prepared = geos::geom::prep::PreparedGeometryFactory::prepare(g.get());
    const Pip<vela::IntervalPip> pip(*g);
    const auto coords = g->getCoordinates();
    for (std::size_t i = 0; i < coords->size(); ++i) {
      const Coordinate& c = coords->getAt(i);
      EXPECT_EQ(pip.classify(c.x, c.y), static_cast<int>(PipClass::Boundary)) << c.x << " " << c.y;
      if (i + 1 < coords->size()) {
        const Coordinate& d = coords->getAt(i + 1);
        if (c.equals2D(d))
          continue;
        const double mx = (c.x + d.x) / 2, my = (c.y + d.y) / 2;
        // Midpoints of edges inside one ring, whose ends are consecutive in the coordinate list.
        if (reference(*prepared, mx, my) == static_cast<int>(PipClass::Boundary)) {
          EXPECT_EQ(pip.classify(mx, my), static_cast<int>(PipClass::Boundary)) << mx << " " << my;
        }
        if (c.x == d.x || c.y == d.y)
          for (double t : {0.125, 0.375, 0.875}) {
            const double x = c.x + (d.x - c.x) * t, y = c.y + (d.y - c.y) * t;
            if (reference(*prepared, x, y) == static_cast<int>(PipClass::Boundary)) {
              EXPECT_EQ(pip.classify(x, y), static_cast<int>(PipClass::Boundary)) << x << " " << y;
            }
          }
      }
    }
  }
  const Pip<vela::IntervalPip> triangle(*G("POLYGON ((0 0, 3 0, 0 3, 0 0))"));
  EXPECT_EQ(triangle.classify(1, 2), static_cast<int>(PipClass::Boundary)); // on the slanted edge
  EXPECT_EQ(triangle.classify(1, 1.9999999999999998), static_cast<int>(PipClass::Inside));
  EXPECT_EQ(triangle.classify(1, 2.0000000000000004), static_cast<int>(PipClass::Outside));
  EXPECT_EQ(triangle.classify(std::nan(""), 1), static_cast<int>(PipClass::Outside));
  EXPECT_EQ(triangle.classify(1, INFINITY), static_cast<int>(PipClass::Outside));
}

TEST(Pip, RefusesNonPolygonsAndTakesEmpty) {
  EXPECT_THROW(Pip<vela::IntervalPip>(*G("LINESTRING (0 0, 1 1)")), vela::VelaException);
  EXPECT_THROW(Pip<vela::IntervalPip>(*G("GEOMETRYCOLLECTION (POLYGON ((0 0, 1 0, 1 1, 0 0)), POINT (5 5))")),
               vela::VelaException);
  const Pip<vela::IntervalPip> empty(*G("POLYGON EMPTY"));
  EXPECT_EQ(empty.edgeCount(), 0u);
  EXPECT_EQ(empty.classify(0, 0), 0);
}

TEST(Pip, PoolBalance) {
  vela::RamPool pool("pip");
  const auto g = G(comb(50));
  {
    Pip<vela::IntervalPip> pip(*g, &pool);
    EXPECT_EQ(pool.reservedBytes(), pip.reservedBytes());
    EXPECT_GT(pip.reservedBytes(), 0u);
    Pip<vela::IntervalPip> moved(std::move(pip));
    EXPECT_EQ(pool.reservedBytes(), moved.reservedBytes());
    EXPECT_EQ(moved.classify(1.5, 2), static_cast<int>(PipClass::Inside));
  }
  EXPECT_EQ(pool.reservedBytes(), 0u);
  pool.setLimit(100);
  EXPECT_THROW(Pip<vela::IntervalPip>(*g, &pool), vela::VelaException);
  EXPECT_EQ(pool.reservedBytes(), 0u);
  vela::RamPoolThreadBinding bind(&pool);
  pool.setLimit(vela::RamPool::kUnlimited);
  {
    const Pip<vela::IntervalPip> onDefault(*g);
    EXPECT_EQ(pool.reservedBytes(), onDefault.reservedBytes());
  }
  EXPECT_EQ(pool.reservedBytes(), 0u);
}
