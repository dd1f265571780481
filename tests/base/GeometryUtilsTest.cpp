// Geometry services against hand-computed results, published figures and independent models (haversine,
// geohash bit interleaving, exhaustive geodesic searches).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <geos/geom/Coordinate.h>
#include <geos/geom/GeometryFactory.h>
#include <geos/geom/Point.h>
#include <gtest/gtest.h>

#include "base/GeometryCodec.h"
#include "base/GeometryUtils.h"
#include "base/ManagedGeometryPtr.h"
#include "base/MurmurHash3.h"
#include "base/RamPool.h"
#include "base/Sha256.h"
#include "base/VelaException.h"

using geos::geom::Geometry;
using vela::GeometryCodec;
using GU = vela::GeometryUtils;

namespace {

std::unique_ptr<Geometry> G(const std::string& wkt) {
  std::unique_ptr<Geometry> g;
  const vela::Status s = GeometryCodec::readWkt(wkt.data(), wkt.size(), g);
  EXPECT_TRUE(s.ok()) << wkt << ": " << s.message();
  return g;
}

std::string W(const std::unique_ptr<Geometry>& g) {
  return g ? GeometryCodec::writeWkt(*g) : "NULL";
}
double X(const std::unique_ptr<Geometry>& point) {
  return static_cast<const geos::geom::Point&>(*point).getX();
}
double Y(const std::unique_ptr<Geometry>& point) {
  return static_cast<const geos::geom::Point&>(*point).getY();
}

constexpr int kPlanar = 0, kSphere = 1, kSpheroid = 2;
constexpr double kR = GU::kEarthMeanRadiusMeters;
constexpr double kDeg = std::numbers::pi / 180.0;

// Great-circle distance by the haversine formula, the sphere model the geodesic sphere must match.
double haversine(double lon1, double lat1, double lon2, double lat2) {
  const double dlat = (lat2 - lat1) * kDeg, dlon = (lon2 - lon1) * kDeg;
  const double h = std::pow(std::sin(dlat / 2), 2) +
                   std::cos(lat1 * kDeg) * std::cos(lat2 * kDeg) * std::pow(std::sin(dlon / 2), 2);
  return 2 * kR * std::asin(std::min(1.0, std::sqrt(h)));
}

} // namespace

TEST(GeometryUtils, AccessorsOverEveryTypeAndEmpty) {
  struct Case {
    const char* wkt;
    int typeId, dimension, nPoints, nRings, numGeometries, coordDim;
    bool empty, collection, closed;
    const char* type;
  };
  const Case cases[] = {
      {"POINT (1 2)", 0, 0, 1, 0, 1, 2, false, false, true, "POINT"},
      {"POINT EMPTY", 0, -1, 0, 0, 0, 2, true, false, false, "POINT"},
      {"POINT Z (1 2 3)", 0, 0, 1, 0, 1, 3, false, false, true, "POINT"},
      {"LINESTRING (0 0, 1 1, 2 0)", 1, 1, 3, 0, 1, 2, false, false, false, "LINESTRING"},
      {"LINESTRING (0 0, 1 1, 2 0, 0 0)", 1, 1, 4, 0, 1, 2, false, false, true, "LINESTRING"},
      {"LINESTRING EMPTY", 1, -1, 0, 0, 0, 2, true, false, false, "LINESTRING"},
      {"POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 2 1, 2 2, 1 1))", 3, 2, 9, 2, 1, 2, false, false, true,
       "POLYGON"},
      {"POLYGON EMPTY", 3, -1, 0, 0, 0, 2, true, false, false, "POLYGON"},
      {"MULTIPOINT ((0 0), (1 1))", 4, 0, 2, 0, 2, 2, false, true, true, "MULTIPOINT"},
      {"MULTIPOINT EMPTY", 4, -1, 0, 0, 0, 2, true, true, false, "MULTIPOINT"},
      {"MULTILINESTRING ((0 0, 1 1), (2 2, 3 3, 2 2))", 5, 1, 5, 0, 2, 2, false, true, false,
       "MULTILINESTRING"},
      {"MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))", 6, 2, 8, 2, 2, 2, false, true, true,
       "MULTIPOLYGON"},
      {"MULTIPOLYGON EMPTY", 6, -1, 0, 0, 0, 2, true, true, false, "MULTIPOLYGON"},
      {"GEOMETRYCOLLECTION (POINT (1 1), LINESTRING (0 0, 1 0))", 7, 1, 3, 0, 2, 2, false, true, false,
       "GEOMETRYCOLLECTION"},
      {"GEOMETRYCOLLECTION EMPTY", 7, -1, 0, 0, 0, 2, true, true, false, "GEOMETRYCOLLECTION"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wkt);
    const auto g = G(c.wkt);
    EXPECT_EQ(GU::geometryTypeId(g.get()), c.typeId);
    EXPECT_EQ(GU::geometryType(g.get()), c.type);
    EXPECT_EQ(GU::dimension(g.get()), c.dimension);
    EXPECT_EQ(GU::nPoints(g.get()), c.nPoints);
    EXPECT_EQ(GU::nRings(g.get()), c.nRings);
    EXPECT_EQ(GU::numGeometries(g.get()), c.numGeometries);
    EXPECT_EQ(GU::coordDim(g.get()), c.coordDim);
    EXPECT_EQ(GU::zmFlag(g.get()), c.coordDim == 3 ? 2 : 0);
    EXPECT_EQ(GU::isEmpty(g.get()), c.empty);
    EXPECT_EQ(GU::isCollection(g.get()), c.collection);
    EXPECT_EQ(GU::isClosed(g.get()), c.closed);
    bool xNull = false, pointsNull = false, ringsNull = false;
    const double x = GU::getX(g.get(), xNull);
    EXPECT_EQ(xNull, c.typeId != 0 || c.empty);
    if (!xNull) {
      EXPECT_EQ(x, 1.0);
    }
    GU::numPoints(g.get(), pointsNull);
    EXPECT_EQ(pointsNull, c.typeId != 1);
    GU::numInteriorRings(g.get(), ringsNull);
    EXPECT_EQ(ringsNull, c.typeId != 3);
    bool boxNull = false;
    GU::minX(g.get(), boxNull);
    EXPECT_EQ(boxNull, c.empty);
  }
  // Null geometries: counts 0, predicates false, measures NULL.
  bool isNull = false;
  EXPECT_EQ(GU::nPoints(nullptr), 0);
  EXPECT_EQ(GU::geometryTypeId(nullptr), -1);
  EXPECT_FALSE(GU::isEmpty(nullptr));
  EXPECT_FALSE(GU::intersects(nullptr, G("POINT (0 0)").get()));
  GU::distance(nullptr, G("POINT (0 0)").get(), isNull, kPlanar);
  EXPECT_TRUE(isNull);
}

TEST(GeometryUtils, GeometryAccessorsPickTheRightParts) {
  struct Case {
    const char* wkt;
    std::unique_ptr<Geometry> (*f)(const Geometry*, bool&);
    const char* expected; // "NULL" when the flag is set
  };
  const Case cases[] = {
      {"LINESTRING (1 2, 3 4, 5 6)", GU::startPoint, "POINT (1 2)"},
      {"LINESTRING (1 2, 3 4, 5 6)", GU::endPoint, "POINT (5 6)"},
      {"POINT (1 2)", GU::startPoint, "NULL"},
      {"POLYGON ((0 0, 2 0, 2 2, 0 0), (1 0.5, 1.5 0.5, 1.5 1, 1 0.5))", GU::exteriorRing,
       "LINESTRING (0 0, 2 0, 2 2, 0 0)"},
      {"LINESTRING (0 0, 1 1)", GU::exteriorRing, "NULL"},
      {"MULTIPOINT ((0 0), (1 1), (2 0))", GU::createLineStringFromMultiPoint, "LINESTRING (0 0, 1 1, 2 0)"},
      {"MULTIPOINT ((0 0))", GU::createLineStringFromMultiPoint, "NULL"},
      {"LINESTRING (0 0, 1 0, 1 1, 0 0)", GU::createPolygon, "POLYGON ((0 0, 1 0, 1 1, 0 0))"},
      {"LINESTRING (0 0, 1 0, 1 1)", GU::createPolygon, "NULL"},
      {"GEOMETRYCOLLECTION (POINT (0 0))", GU::boundary, "NULL"},
      {"LINESTRING (0 0, 1 0, 2 5)", GU::boundary, "MULTIPOINT ((0 0), (2 5))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wkt);
    bool isNull = false;
    const auto out = c.f(G(c.wkt).get(), isNull);
    EXPECT_EQ(isNull, std::string(c.expected) == "NULL");
    EXPECT_EQ(W(out), c.expected);
  }
  struct NCase {
    const char* wkt;
    std::unique_ptr<Geometry> (*f)(const Geometry*, int, bool&);
    int n;
    const char* expected;
  };
  const NCase nCases[] = {
      {"LINESTRING (1 1, 2 2, 3 3)", GU::pointN, 1, "POINT (1 1)"},
      {"LINESTRING (1 1, 2 2, 3 3)", GU::pointN, -1, "POINT (3 3)"},
      {"LINESTRING (1 1, 2 2, 3 3)", GU::pointN, 0, "NULL"},
      {"LINESTRING (1 1, 2 2, 3 3)", GU::pointN, 4, "NULL"},
      {"MULTIPOINT ((1 1), (2 2))", GU::geometryN, 2, "POINT (2 2)"},
      {"MULTIPOINT ((1 1), (2 2))", GU::geometryN, 3, "NULL"},
      {"POINT (5 5)", GU::geometryN, 1, "POINT (5 5)"},
      {"POLYGON ((0 0, 9 0, 9 9, 0 0), (5 1, 6 1, 6 2, 5 1))", GU::interiorRingN, 1,
       "LINESTRING (5 1, 6 1, 6 2, 5 1)"},
      {"POLYGON ((0 0, 9 0, 9 9, 0 0), (5 1, 6 1, 6 2, 5 1))", GU::interiorRingN, 2, "NULL"},
      {"GEOMETRYCOLLECTION (POINT (1 1), LINESTRING (0 0, 1 0))", GU::collectionExtract, 2,
       "MULTILINESTRING ((0 0, 1 0))"},
      {"POINT (1 1)", GU::collectionExtract, 4, "NULL"},
      {"LINESTRING (0 0, 1 0, 2 0)", GU::removePoint, -1, "LINESTRING (0 0, 1 0)"},
      {"LINESTRING (0 0, 1 0)", GU::removePoint, 0, "NULL"},
  };
  for (const NCase& c : nCases) {
    SCOPED_TRACE(std::string(c.wkt) + " n=" + std::to_string(c.n));
    bool isNull = false;
    const auto out = c.f(G(c.wkt).get(), c.n, isNull);
    EXPECT_EQ(isNull, std::string(c.expected) == "NULL");
    EXPECT_EQ(W(out), c.expected);
  }
}

TEST(GeometryUtils, InvalidPolygonsThroughValidityRepairAndArea) {
  struct Case {
    const char* name;
    const char* wkt;
    const char* reasonStart;
    double area;         // planar, shell less holes as stored
    double repairedArea; // after makeValid
  };
  const Case cases[] = {
      {"bowtie", "POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))", "Self-intersection[1 1]", 0.0, 2.0},
      {"hole outside shell", "POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0), (2 2, 5 2, 5 5, 2 5, 2 2))",
       "Hole lies outside shell", -8.0, -1.0},
      {"spike", "POLYGON ((0 0, 4 0, 4 4, 2 4, 2 6, 2 4, 0 4, 0 0))", "", 16.0, 16.0},
      {"zero area", "POLYGON ((0 0, 1 1, 2 2, 0 0))", "", 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto g = G(c.wkt);
    EXPECT_FALSE(GU::isValid(g.get()));
    const std::string reason = GU::isValidReason(g.get());
    EXPECT_NE(reason, "Valid Geometry");
    EXPECT_EQ(reason.rfind(c.reasonStart, 0), 0u) << reason;
    EXPECT_DOUBLE_EQ(GU::area(g.get(), kPlanar), c.area);
    for (const char* method : {"", "method=linework", "method=structure"}) {
      bool isNull = false;
      const auto fixed = GU::makeValid(g.get(), method, isNull);
      ASSERT_FALSE(isNull);
      EXPECT_TRUE(GU::isValid(fixed.get())) << method << " " << W(fixed);
      if (c.repairedArea >= 0) {
        EXPECT_DOUBLE_EQ(GU::area(fixed.get(), kPlanar), c.repairedArea) << method << " " << W(fixed);
      } else {
        EXPECT_GE(GU::area(fixed.get(), kPlanar), 0.0) << method;
      }
    }
  }
  EXPECT_EQ(GU::isValidReason(G("POLYGON ((0 0, 1 0, 1 1, 0 0))").get()), "Valid Geometry");
  bool isNull = false;
  EXPECT_THROW(GU::makeValid(G("POINT (0 0)").get(), "method=fast", isNull), vela::VelaException);
}

// Predicates between geometries that meet only at their boundaries, each answer worked out by hand.
TEST(GeometryUtils, PredicatesOnBoundaryCases) {
  struct Case {
    const char* a;
    const char* b;
    bool intersects, touches, contains, covers, within, crosses, overlaps, equals;
  };
  const char* square = "POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))";
  const Case cases[] = {
      // a point on an edge: covered, not contained, touching
      {square, "POINT (1 0)", true, true, false, true, false, false, false, false},
      // a vertex
      {square, "POINT (2 2)", true, true, false, true, false, false, false, false},
      {square, "POINT (1 1)", true, false, true, true, false, false, false, false},
      {square, "POINT (3 1)", false, false, false, false, false, false, false, false},
      // shared edge
      {square, "POLYGON ((2 0, 4 0, 4 2, 2 2, 2 0))", true, true, false, false, false, false, false, false},
      // touching corner
      {square, "POLYGON ((2 2, 3 2, 3 3, 2 3, 2 2))", true, true, false, false, false, false, false, false},
      {square, "POLYGON ((1 1, 3 1, 3 3, 1 3, 1 1))", true, false, false, false, false, false, true, false},
      // a line along the boundary is covered but not contained
      {square, "LINESTRING (0 0, 2 0)", true, true, false, true, false, false, false, false},
      {square, "LINESTRING (1 1, 3 1)", true, false, false, false, false, true, false, false},
      // the same point set in another vertex order
      {square, "POLYGON ((2 2, 0 2, 0 0, 2 0, 2 2))", true, false, true, true, true, false, false, true},
      {"LINESTRING (0 0, 2 0)", "POINT (0 0)", true, true, false, true, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    const auto a = G(c.a), b = G(c.b);
    EXPECT_EQ(GU::intersects(a.get(), b.get()), c.intersects);
    EXPECT_EQ(GU::disjoint(a.get(), b.get()), !c.intersects);
    EXPECT_EQ(GU::touches(a.get(), b.get()), c.touches);
    EXPECT_EQ(GU::contains(a.get(), b.get()), c.contains);
    EXPECT_EQ(GU::covers(a.get(), b.get()), c.covers);
    EXPECT_EQ(GU::coveredBy(b.get(), a.get()), c.covers);
    EXPECT_EQ(GU::within(b.get(), a.get()), c.contains);
    EXPECT_EQ(GU::within(a.get(), b.get()), c.within);
    EXPECT_EQ(GU::crosses(a.get(), b.get()), c.crosses);
    EXPECT_EQ(GU::overlaps(a.get(), b.get()), c.overlaps);
    EXPECT_EQ(GU::equals(a.get(), b.get()), c.equals);
    EXPECT_EQ(GU::containsProperly(a.get(), b.get()),
              c.contains && !GU::intersects(a->getBoundary().get(), b.get()));
  }
  const auto sq = G(square);
  EXPECT_FALSE(GU::equalsExact(sq.get(), G("POLYGON ((0 0, 2 0, 2 2, 0 2.01, 0 0))").get(), 0.001));
  EXPECT_TRUE(GU::equalsExact(sq.get(), G("POLYGON ((0 0, 2 0, 2 2, 0 2.01, 0 0))").get(), 0.02));
  EXPECT_TRUE(GU::almostEquals(sq.get(), G("POLYGON ((0 0, 2 0, 2 2, 0 2.001, 0 0))").get(), 2));
  EXPECT_FALSE(GU::almostEquals(sq.get(), G("POLYGON ((0 0, 2 0, 2 2, 0 2.001, 0 0))").get(), 4));
  EXPECT_TRUE(GU::envelopeIntersects(sq.get(), G("POINT (2 2)").get()));
  EXPECT_FALSE(GU::envelopeIntersects(sq.get(), G("POINT EMPTY").get()));
}

// Probes on interiors, edges, vertices, holes, line ends and outside, for every type of target.
TEST(GeometryUtils, PointFastPathsAgreeWithThePredicates) {
  const char* targets[] = {
      "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 3 1, 3 3, 1 3, 1 1))",
      "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 1, 0 0)), ((1 1, 2 1, 2 2, 1 2, 1 1)))",
      "LINESTRING (0 0, 2 0, 2 2)",
      "LINESTRING (0 0, 2 0, 2 2, 0 0)",
      "MULTIPOINT ((1 1), (2 0))",
      "POINT (1 1)",
      "POLYGON EMPTY",
  };
  const double probes[][2] = {{0.5, 0.5}, {2, 0.5}, {1, 1}, {2, 2}, {0, 0},     {1, 0}, {2, 1},
                              {3, 3.5},   {4, 2},   {5, 5}, {2, 0}, {1.5, 1.5}, {0, 2}, {1, 2}};
  for (const char* t : targets) {
    const auto g = G(t);
    for (const auto& p : probes) {
      SCOPED_TRACE(std::string(t) + " at " + std::to_string(p[0]) + " " + std::to_string(p[1]));
      const std::unique_ptr<Geometry> pt(
          vela::sharedGeometryFactory().createPoint(geos::geom::Coordinate(p[0], p[1])));
      EXPECT_EQ(GU::containsXY(g.get(), p[0], p[1]), g->contains(pt.get()));
      EXPECT_EQ(GU::coversXY(g.get(), p[0], p[1]), g->covers(pt.get()));
      EXPECT_EQ(GU::xyCoveredBy(p[0], p[1], g.get()), pt->coveredBy(g.get()));
      EXPECT_EQ(GU::xyDisjoint(p[0], p[1], g.get()), pt->disjoint(g.get()));
      EXPECT_EQ(GU::xyIntersects(p[0], p[1], g.get()), pt->intersects(g.get()));
      EXPECT_EQ(GU::xyTouches(p[0], p[1], g.get()), pt->touches(g.get()));
      EXPECT_EQ(GU::xyWithin(p[0], p[1], g.get()), pt->within(g.get()));
      bool isNull = false;
      const double d = GU::xyDistance(p[0], p[1], g.get(), isNull, kPlanar);
      EXPECT_EQ(isNull, g->isEmpty());
      if (!isNull) {
        EXPECT_DOUBLE_EQ(d, pt->distance(g.get()));
      }
    }
  }
  EXPECT_FALSE(GU::xyIntersects(std::nan(""), 1, G("POLYGON ((0 0, 4 0, 4 4, 0 0))").get()));
  bool nanNull = false;
  GU::xyDistance(1, std::nan(""), G("POINT (0 0)").get(), nanNull, kPlanar);
  EXPECT_TRUE(nanNull);
  EXPECT_EQ(W(GU::xyIntersection(1, 0, G("LINESTRING (0 0, 2 0)").get())), "POINT (1 0)");
  EXPECT_EQ(W(GU::xyIntersection(1, 1, G("LINESTRING (0 0, 2 0)").get())), "POINT EMPTY");
}

TEST(GeometryUtils, PlanarMeasures) {
  struct Case {
    const char* wkt;
    double area, length, perimeter;
  };
  const Case cases[] = {
      {"POLYGON ((0 0, 4 0, 4 3, 0 3, 0 0), (1 1, 2 1, 2 2, 1 2, 1 1))", 11, 0, 18},
      {"LINESTRING (0 0, 3 4, 3 10)", 0, 11, 0},
      {"MULTIPOLYGON (((0 0, 1 0, 1 1, 0 1, 0 0)), ((2 2, 4 2, 4 4, 2 4, 2 2)))", 5, 0, 12},
      {"GEOMETRYCOLLECTION (LINESTRING (0 0, 0 5), POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0)))", 4, 5, 8},
      {"POINT (1 1)", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wkt);
    const auto g = G(c.wkt);
    EXPECT_DOUBLE_EQ(GU::area(g.get(), kPlanar), c.area);
    EXPECT_DOUBLE_EQ(GU::length(g.get(), kPlanar), c.length);
    EXPECT_DOUBLE_EQ(GU::perimeter(g.get(), kPlanar), c.perimeter);
  }
  bool isNull = false;
  const auto a = G("LINESTRING (0 0, 10 0)"), b = G("MULTIPOINT ((3 4), (20 0))");
  EXPECT_DOUBLE_EQ(GU::distance(a.get(), b.get(), isNull, kPlanar), 4.0);
  EXPECT_DOUBLE_EQ(GU::maxDistance(a.get(), b.get(), isNull, kPlanar), 20.0);
  EXPECT_EQ(W(GU::closestPoint(a.get(), b.get(), isNull, kPlanar)), "POINT (3 0)");
  EXPECT_EQ(W(GU::shortestLine(a.get(), b.get(), isNull)), "LINESTRING (3 0, 3 4)");
  EXPECT_EQ(W(GU::longestLine(a.get(), b.get(), isNull, kPlanar)), "LINESTRING (0 0, 20 0)");
  EXPECT_EQ(W(GU::near(a.get(), b.get(), isNull)), "POINT (3 4)");
  EXPECT_FALSE(isNull);
  EXPECT_TRUE(GU::dWithin(a.get(), b.get(), 4.0, kPlanar));
  EXPECT_FALSE(GU::dWithin(a.get(), b.get(), 3.99, kPlanar));
  EXPECT_TRUE(GU::dFullyWithin(a.get(), b.get(), 20.0, kPlanar));
  EXPECT_FALSE(GU::dFullyWithin(a.get(), b.get(), 19.9, kPlanar));
  EXPECT_TRUE(GU::envDWithin(G("POINT (0 0)").get(), G("POLYGON ((3 4, 5 4, 5 6, 3 4))").get(), 5, kPlanar));
  EXPECT_TRUE(GU::xyEnvDWithin(0, 0, G("POLYGON ((3 4, 5 4, 5 6, 3 4))").get(), 5, kPlanar));
  EXPECT_FALSE(GU::xyEnvDWithin(0, 0, G("POLYGON ((3 4, 5 4, 5 6, 3 4))").get(), 4.9, kPlanar));
  EXPECT_DOUBLE_EQ(GU::azimuth(G("POINT (0 0)").get(), G("POINT (1 1)").get(), isNull, kPlanar),
                   std::numbers::pi / 4);
  EXPECT_DOUBLE_EQ(GU::azimuth(G("POINT (0 0)").get(), G("POINT (-1 0)").get(), isNull, kPlanar),
                   1.5 * std::numbers::pi);
  EXPECT_FALSE(isNull);
  GU::azimuth(G("POINT (1 1)").get(), G("POINT (1 1)").get(), isNull, kPlanar);
  EXPECT_TRUE(isNull);
  isNull = false;
  EXPECT_DOUBLE_EQ(GU::lineLocatePoint(G("LINESTRING (0 0, 4 0, 4 4)").get(), G("POINT (5 2)").get(), isNull),
                   0.75);
  EXPECT_EQ(W(GU::lineInterpolatePoint(G("LINESTRING (0 0, 4 0, 4 4)").get(), 0.75, isNull)), "POINT (4 2)");
  EXPECT_EQ(W(GU::lineSubstring(G("LINESTRING (0 0, 4 0, 4 4)").get(), 0.25, 0.75, isNull)),
            "LINESTRING (2 0, 4 0, 4 2)");
  EXPECT_FALSE(isNull);
  const auto z = G("LINESTRING Z (0 0 5, 1 1 -2)");
  EXPECT_EQ(GU::minZ(z.get(), isNull), -2.0);
  EXPECT_EQ(GU::maxZ(z.get(), isNull), 5.0);
  EXPECT_FALSE(isNull);
  GU::maxZ(a.get(), isNull);
  EXPECT_TRUE(isNull);
}

// Geodesic distances against published figures: the documented JFK-LHR example of the geodesic
// library, one degree of the WGS84 equator (a pi / 180) and the WGS84 quarter meridian.
TEST(GeometryUtils, GeodesicDistancesMatchPublishedFigures) {
  struct Case {
    double x1, y1, x2, y2, meters, tolerance;
  };
  const Case cases[] = {
      {-73.8, 40.6, -0.5, 51.6, 5551759.4, 0.5},     // JFK to LHR
      {0, 0, 1, 0, 6378137.0 * kDeg, 1e-6},          // along the equator
      {179.5, 0, -179.5, 0, 6378137.0 * kDeg, 1e-6}, // the same across the antimeridian
      {0, 0, 0, 90, 10001965.729, 0.001},            // quarter meridian
      {0, 90, 123, 90, 0.0, 1e-6},                   // the pole is one point whatever the longitude
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x1) + "," + std::to_string(c.y1));
    bool isNull = false;
    EXPECT_NEAR(GU::distancePoints(c.x1, c.y1, c.x2, c.y2, isNull, kSpheroid), c.meters, c.tolerance);
    EXPECT_FALSE(isNull);
    EXPECT_NEAR(GU::distancePoints(c.x1, c.y1, c.x2, c.y2, isNull, kSphere),
                haversine(c.x1, c.y1, c.x2, c.y2), 1e-6);
  }
  bool isNull = false;
  GU::distancePoints(0, 91, 0, 0, isNull, kSpheroid);
  EXPECT_TRUE(isNull);
  isNull = false;
  EXPECT_EQ(GU::distancePoints(0, 91, 3, 95, isNull, kPlanar), 5.0);
  EXPECT_FALSE(isNull);
  EXPECT_TRUE(GU::distancePointsWithin(-73.8, 40.6, -0.5, 51.6, kSpheroid, 5552e3));
  EXPECT_FALSE(GU::distancePointsWithin(-73.8, 40.6, -0.5, 51.6, kSpheroid, 5551e3));
  EXPECT_NEAR(GU::distancePointsf(0, 0, 1, 0, isNull, kSpheroid), static_cast<float>(6378137.0 * kDeg), 0.01);
  // Forward azimuth from the equator due north, and across the antimeridian due west.
  EXPECT_NEAR(GU::azimuth(G("POINT (10 0)").get(), G("POINT (10 10)").get(), isNull, kSpheroid), 0.0, 1e-12);
  EXPECT_NEAR(GU::azimuth(G("POINT (-179 0)").get(), G("POINT (179 0)").get(), isNull, kSphere),
              1.5 * std::numbers::pi, 1e-12);
}

// Geometry distances and lengths on the sphere against the haversine model: the nearest point of a
// geodesic edge is found inside the edge, not only at its ends.
TEST(GeometryUtils, GeodesicGeometryMeasures) {
  bool isNull = false;
  // From (0, 1) the equator's nearest point is (0, 0), between the edge's ends at -10 and 10.
  EXPECT_NEAR(GU::xyDistance(0, 1, G("LINESTRING (-10 0, 10 0)").get(), isNull, kSphere), kR * kDeg, 1e-3);
  EXPECT_NEAR(GU::distance(G("POINT (0 1)").get(), G("LINESTRING (-10 0, 10 0)").get(), isNull, kSphere),
              kR * kDeg, 1e-3);
  // An edge spanning 100 degrees of the equator: the foot from (0, 10) is (0, 0) by symmetry.
  bool flag = false;
  EXPECT_NEAR(GU::xyDistance(0, 10, G("LINESTRING (-50 0, 50 0)").get(), isNull, kSpheroid),
              GU::distancePoints(0, 10, 0, 0, flag, kSpheroid), 1e-6);
  for (int metric : {kSphere, kSpheroid}) {
    const auto foot =
        GU::closestPoint(G("LINESTRING (-10 0, 10 0)").get(), G("POINT (3 1)").get(), isNull, metric);
    EXPECT_NEAR(X(foot), 3, 1e-6) << metric;
    EXPECT_NEAR(Y(foot), 0, 1e-9) << metric;
  }
  // A meridian edge crossing the antimeridian side: nearest along the meridian 180.
  EXPECT_NEAR(GU::xyDistance(-179, 5, G("LINESTRING (180 -10, 180 10)").get(), isNull, kSphere),
              haversine(-179, 5, 180, 5) - 0.0, 2.0);
  EXPECT_DOUBLE_EQ(
      GU::xyDistance(5, 5, G("POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))").get(), isNull, kSpheroid), 0.0);
  EXPECT_FALSE(isNull);
  // Lengths: each edge a haversine arc, including one over the antimeridian and one over the pole.
  EXPECT_NEAR(GU::length(G("LINESTRING (179 0, -179 0, -179 10)").get(), kSphere),
              haversine(179, 0, -179, 0) + haversine(-179, 0, -179, 10), 1e-6);
  EXPECT_NEAR(GU::length(G("LINESTRING (0 89, 180 89)").get(), kSphere), 2 * kR * kDeg, 1e-6);
  EXPECT_NEAR(GU::length(G("LINESTRING (0 0, 1 0)").get(), kSpheroid), 6378137.0 * kDeg, 1e-6);
  // Areas: the octant bounded by the equator and two meridians is an eighth of the surface, on the
  // sphere (4 pi R^2 / 8) and on the WGS84 ellipsoid (published surface 510,065,621.724 km^2), wherever
  // its longitudes lie, across the antimeridian too; ring orientation does not change the sign.
  const double sphereOctant = 4 * std::numbers::pi * kR * kR / 8, spheroidOctant = 510065621.724e6 / 8;
  for (const char* octant : {"POLYGON ((0 0, 90 0, 0 90, 0 0))", "POLYGON ((135 0, 0 90, -135 0, 135 0))",
                             "POLYGON ((-45 0, 45 0, 0 90, -45 0))"}) {
    SCOPED_TRACE(octant);
    EXPECT_NEAR(GU::area(G(octant).get(), kSphere) / sphereOctant, 1.0, 1e-9);
    EXPECT_NEAR(GU::area(G(octant).get(), kSpheroid) / spheroidOctant, 1.0, 1e-9);
    EXPECT_NEAR(GU::perimeter(G(octant).get(), kSphere), 3 * std::numbers::pi / 2 * kR, 1e-3);
  }
  // A hole larger than its shell measures negative in every metric.
  EXPECT_LT(GU::area(G("POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0), (2 2, 5 2, 5 5, 2 5, 2 2))").get(), kSpheroid),
            0.0);
  EXPECT_TRUE(std::isnan(GU::area(G("POLYGON ((0 0, 1 0, 1 95, 0 0))").get(), kSphere)));
}

TEST(GeometryUtils, MetricsOutsideTheRangeAreRefused) {
  const auto p = G("POINT (0 0)");
  bool isNull = false;
  for (int metric : {-1, 3, 100}) {
    EXPECT_THROW(GU::area(p.get(), metric), vela::VelaException);
    EXPECT_THROW(GU::distance(p.get(), p.get(), isNull, metric), vela::VelaException);
    EXPECT_THROW(GU::xyDWithin(0, 0, p.get(), 1, metric), vela::VelaException);
    EXPECT_THROW(GU::buffer(p.get(), 1, isNull, "", metric), vela::VelaException);
  }
  try {
    GU::length(p.get(), 7);
    FAIL();
  } catch (const vela::VelaException& e) {
    EXPECT_NE(std::string(e.what()).find("unknown metric 7"), std::string::npos) << e.what();
  }
}

// Geohash against a model that interleaves the bits of the two cell indexes directly.
TEST(GeometryUtils, GeohashAgainstAnInterleavingModel) {
  const char* alphabet = "0123456789bcdefghjkmnpqrstuvwxyz";
  const auto model = [&](double lon, double lat, int chars) {
    const int bits = 5 * chars, lonBits = (bits + 1) / 2, latBits = bits / 2;
    const auto index = [](double v, double lo, double span, int k) {
      const double cells = std::ldexp(1.0, k);
      return static_cast<std::uint64_t>(std::min(cells - 1, std::floor((v - lo) / span * cells)));
    };
    const std::uint64_t li = index(lon, -180, 360, lonBits), ai = index(lat, -90, 180, latBits);
    std::string out;
    int lonLeft = lonBits, latLeft = latBits, value = 0;
    for (int b = 0; b < bits; ++b) {
      const int bit =
          b % 2 == 0 ? static_cast<int>(li >> --lonLeft & 1) : static_cast<int>(ai >> --latLeft & 1);
      value = value * 2 + bit;
      if (b % 5 == 4) {
        out += alphabet[value];
        value = 0;
      }
    }
    return out;
  };
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> lonD(-180, 180), latD(-90, 90);
  for (int chars = 1; chars <= 12; ++chars) {
    for (int i = 0; i < 200; ++i) {
      const double lon = lonD(rng), lat = latD(rng);
      char text[32];
      ASSERT_TRUE(GU::geohashEncode(lon, lat, chars, text));
      const std::string hash(text, chars);
      ASSERT_EQ(hash, model(lon, lat, chars)) << lon << " " << lat;
      double box[4];
      ASSERT_TRUE(GU::geohashDecode(hash, box));
      EXPECT_TRUE(box[0] <= lon && lon < box[2] && box[1] <= lat && lat < box[3]);
      EXPECT_DOUBLE_EQ(box[2] - box[0], 360 / std::ldexp(1.0, (5 * chars + 1) / 2));
      EXPECT_DOUBLE_EQ(box[3] - box[1], 180 / std::ldexp(1.0, 5 * chars / 2));
    }
  }
  // Published example cells, and the corners of the range.
  char text[32];
  ASSERT_TRUE(GU::geohashEncode(10.40744, 57.64911, 11, text));
  EXPECT_EQ(std::string(text, 11), "u4pruydqqvj");
  ASSERT_TRUE(GU::geohashEncode(-5.6, 42.6, 5, text));
  EXPECT_EQ(std::string(text, 5), "ezs42");
  ASSERT_TRUE(GU::geohashEncode(180, 90, 3, text));
  EXPECT_EQ(std::string(text, 3), "zzz");
  ASSERT_TRUE(GU::geohashEncode(-180, -90, 3, text));
  EXPECT_EQ(std::string(text, 3), "000");
  EXPECT_FALSE(GU::geohashEncode(180.001, 0, 3, text));
  EXPECT_FALSE(GU::geohashEncode(std::nan(""), 0, 3, text));
  EXPECT_FALSE(GU::geohashEncode(0, 0, 0, text));
  double box[4];
  EXPECT_FALSE(GU::geohashDecode("ezs4a", box)); // 'a' is not in the alphabet
  EXPECT_FALSE(GU::geohashDecode("", box));

  std::string out;
  bool isNull = false;
  GU::encodeGeohashFromGeometry(G("POINT (-5.6 42.6)").get(), out, isNull, 5);
  EXPECT_EQ(out, "ezs42");
  EXPECT_FALSE(isNull);
  for (const char* wkt : {"POINT EMPTY", "LINESTRING (0 0, 1 1)", "POINT (200 0)"}) {
    bool flag = false;
    GU::encodeGeohashFromGeometry(G(wkt).get(), out, flag, 5);
    EXPECT_TRUE(flag) << wkt;
  }
  GU::encodeGeohashFromGeometry(G("POINT (0 0)").get(), out, isNull, 33);
  EXPECT_TRUE(isNull);
  // The cell of "ezs42": 5 characters are 13 longitude and 12 latitude bits.
  EXPECT_EQ(W(GU::createGeometryFromGeohash("ezs42", 0)),
            W(GU::createEnvelope(-5.625, 42.5830078125, -5.5810546875, 42.626953125)));
  EXPECT_EQ(W(GU::createPointFromGeohash("ezs42xyz", 5)), "POINT (-5.60302734375 42.60498046875)");
  EXPECT_EQ(GU::createPointFromGeohash("ezs!2", 0), nullptr);
}

TEST(GeometryUtils, HashesFollowTheWkbBytes) {
  const auto a = G("LINESTRING (0 0, 1 1)"), same = G("LINESTRING (0 0, 1 1)"),
             reversed = G("LINESTRING (1 1, 0 0)");
  EXPECT_EQ(GU::hash(a.get(), 5), GU::hash(same.get(), 5));
  EXPECT_NE(GU::hash(a.get(), 5), GU::hash(reversed.get(), 5));
  EXPECT_NE(GU::hash(a.get(), 5), GU::hash(a.get(), 6));
  EXPECT_EQ(GU::hash(nullptr, 5), 0);
  // The 64-bit hash is the first half of the published 128-bit function with the 32-bit seed.
  const std::string wkb = GeometryCodec::writeWkb(*a);
  unsigned char published[16];
  vela::MurmurHash3_x64_128(wkb.data(), static_cast<int>(wkb.size()), 5, published);
  std::uint64_t h1;
  std::memcpy(&h1, published, 8);
  EXPECT_EQ(static_cast<std::uint64_t>(GU::hash(a.get(), 5)), h1);
  const unsigned char seed[16] = {5, 0, 0, 0, 0, 0, 0, 0, 5};
  EXPECT_EQ(GU::hash128(a.get(), seed).h1, h1);
  EXPECT_NE(GU::hash128(a.get(), nullptr).h1, h1);
  char hex[64];
  GU::geo_sha256(a.get(), hex);
  EXPECT_EQ(std::string(hex, 64), vela::sha256Hex(wkb));
}

// Transformations with results worked out by hand (every coordinate exact in binary).
TEST(GeometryUtils, TransformationsByHand) {
  struct Case {
    const char* name;
    std::unique_ptr<Geometry> out;
    const char* expected;
  };
  bool isNull = false;
  const auto sq = G("POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))");
  const auto other = G("POLYGON ((1 1, 3 1, 3 3, 1 3, 1 1))");
  const Case cases[] = {
      {"translate", GU::translate(G("LINESTRING (0 0, 1 2)").get(), 1.5f, -2), "LINESTRING (1.5 -2, 2.5 0)"},
      {"scale", GU::scale(G("POINT (3 -2)").get(), 2, 0.5f), "POINT (6 -1)"},
      {"scale by point", GU::scale(G("POINT Z (3 -2 1)").get(), G("POINT Z (2 2 4)").get(), isNull),
       "POINT Z (6 -4 4)"},
      {"shift longitude", GU::shiftLongitude(G("LINESTRING (-10 5, 190 6, 100 7)").get()),
       "LINESTRING (350 5, -170 6, 100 7)"},
      {"force 3d", GU::force3d(G("LINESTRING (0 0, 1 1)").get(), 7, isNull), "LINESTRING Z (0 0 7, 1 1 7)"},
      {"force 2d", GU::force2d(G("POINT Z (1 2 3)").get(), isNull), "POINT (1 2)"},
      {"envelope", GU::envelope(G("LINESTRING (1 5, 3 2)").get(), isNull, kPlanar),
       "POLYGON ((1 2, 3 2, 3 5, 1 5, 1 2))"},
      {"expand", GU::expand(G("POINT (1 1)").get(), 1), "POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))"},
      {"expand by rate", GU::expandByRate(sq.get(), 1), "POLYGON ((-1 -1, 3 -1, 3 3, -1 3, -1 -1))"},
      {"bounding diagonal", GU::boundingDiagonal(sq.get(), true), "LINESTRING (0 2, 2 0)"},
      {"centroid", GU::centroid(sq.get()), "POINT (1 1)"},
      {"points", GU::points(G("LINESTRING (0 0, 1 1)").get()), "MULTIPOINT ((0 0), (1 1))"},
      {"add point", GU::addPoint(G("LINESTRING (0 0, 2 2)").get(), G("POINT (1 0)").get(), isNull, 1),
       "LINESTRING (0 0, 1 0, 2 2)"},
      {"append point", GU::addPoint(G("LINESTRING (0 0, 2 2)").get(), G("POINT (1 0)").get(), isNull, -1),
       "LINESTRING (0 0, 2 2, 1 0)"},
      {"set point", GU::setPoint(G("LINESTRING (0 0, 2 2)").get(), -1, G("POINT (5 5)").get(), isNull),
       "LINESTRING (0 0, 5 5)"},
      {"remove repeated", GU::removeRepeatedPoints(G("LINESTRING (0 0, 0 0.1, 1 0, 1 0)").get(), 0.5f),
       "LINESTRING (0 0, 1 0)"},
      {"make line", GU::createLineString(G("POINT (0 0)").get(), G("LINESTRING (1 1, 2 2)").get(), isNull),
       "LINESTRING (0 0, 1 1, 2 2)"},
      {"collect alike", GU::collect(G("POINT (0 0)").get(), G("MULTIPOINT ((1 1))").get()),
       "MULTIPOINT ((0 0), (1 1))"},
      {"collect mixed", GU::collect(G("POINT (0 0)").get(), G("LINESTRING (1 1, 2 2)").get()),
       "GEOMETRYCOLLECTION (POINT (0 0), LINESTRING (1 1, 2 2))"},
      {"homogenize one", GU::collectionHomogenize(G("GEOMETRYCOLLECTION (POINT (1 1))").get(), isNull),
       "POINT (1 1)"},
      {"multi", GU::multi(G("LINESTRING (0 0, 1 1)").get()), "MULTILINESTRING ((0 0, 1 1))"},
      {"segmentize", GU::segmentize(G("LINESTRING (0 0, 4 0)").get(), 1.5, isNull, kPlanar),
       "LINESTRING (0 0, 1.3333333333333333 0, 2.6666666666666665 0, 4 0)"},
      {"wrap", GU::wrapX(G("LINESTRING (-10 0, 10 0)").get(), 0, 360),
       "MULTILINESTRING ((350 0, 360 0), (0 0, 10 0))"},
      {"line merge", GU::lineMerge(G("MULTILINESTRING ((0 0, 1 0), (1 0, 2 1))").get(), isNull),
       "LINESTRING (0 0, 1 0, 2 1)"},
      {"triangle", GU::createTriangle2D(0, 0, 1, 0, 0, 1), "POLYGON ((0 0, 1 0, 0 1, 0 0))"},
      {"point grid", GU::pointGrid(0, 0, 2, 1, 1, 10, isNull), "MULTIPOINT ((0 0), (1 0))"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(W(c.out), c.expected) << c.name;
  EXPECT_FALSE(isNull);

  // Rotation by a quarter turn about (1, 1): (2, 1) goes to (1, 2), within float-angle rounding.
  const auto turned = GU::rotate(G("POINT (2 1)").get(), static_cast<float>(std::numbers::pi / 2), 1, 1);
  EXPECT_NEAR(X(turned), 1, 1e-7);
  EXPECT_NEAR(Y(turned), 2, 1e-12);
  // Set operations measured by area.
  EXPECT_DOUBLE_EQ(GU::area(GU::intersection(sq.get(), other.get(), kPlanar).get(), kPlanar), 1);
  EXPECT_DOUBLE_EQ(GU::area(GU::geosUnion(sq.get(), other.get(), false).get(), kPlanar), 7);
  EXPECT_DOUBLE_EQ(GU::area(GU::difference(sq.get(), other.get()).get(), kPlanar), 3);
  EXPECT_DOUBLE_EQ(GU::area(GU::symmetricDifference(sq.get(), other.get()).get(), kPlanar), 6);
  EXPECT_DOUBLE_EQ(GU::area(GU::update(sq.get(), other.get()).get(), kPlanar), 7);
  EXPECT_DOUBLE_EQ(GU::area(GU::clip(G("POLYGON ((0 0, 10 0, 10 10, 0 0))").get(), sq.get()).get(), kPlanar),
                   2);
  EXPECT_DOUBLE_EQ(
      GU::area(GU::convexHull(G("MULTIPOINT ((0 0), (2 0), (1 1), (0 2), (2 2))").get()).get(), kPlanar), 4);
  EXPECT_EQ(W(GU::geosUnion(nullptr, sq.get(), false)), W(sq));
  EXPECT_EQ(GU::geosUnion(nullptr, sq.get(), true), nullptr);
  // Grids: cell count, refusal beyond the limit, square cells for one size.
  const auto grid = GU::rectangleGrid(0, 0, 3, 2, 1, 1, 6, isNull);
  ASSERT_FALSE(isNull);
  EXPECT_EQ(GU::numGeometries(grid.get()), 6);
  EXPECT_DOUBLE_EQ(GU::area(grid.get(), kPlanar), 6);
  GU::rectangleGrid(0, 0, 3, 2, 1, 1, 5, isNull);
  EXPECT_TRUE(isNull);
  isNull = false;
  GU::pointGrid(0, 0, 3, 2, 0, 100, isNull);
  EXPECT_TRUE(isNull);
  isNull = false;
  // Voronoi of two sites: two cells split by their bisector; Delaunay of a square: two triangles.
  const auto cells = GU::voronoiPolygons(G("MULTIPOINT ((0 0), (2 0))").get(), isNull, 0, nullptr);
  EXPECT_EQ(GU::numGeometries(cells.get()), 2);
  EXPECT_EQ(GU::numGeometries(
                GU::delaunayTriangles(G("MULTIPOINT ((0 0), (1 0), (1 1), (0 1))").get(), 0, false).get()),
            2);
  EXPECT_GT(
      GU::area(GU::concaveHull(G("MULTIPOINT ((0 0), (4 0), (4 4), (0 4), (2 3.5))").get(), 1, false).get(),
               kPlanar),
      0);
  EXPECT_THROW(GU::concaveHull(sq.get(), 1.5, false), vela::VelaException);
  const auto shared =
      GU::sharedPaths(G("LINESTRING (0 0, 2 0, 3 1)").get(), G("LINESTRING (2 0, 1 0)").get(), isNull);
  EXPECT_EQ(W(shared), "GEOMETRYCOLLECTION (MULTILINESTRING EMPTY, MULTILINESTRING ((1 0, 2 0)))");
  EXPECT_FALSE(isNull);
}

TEST(GeometryUtils, BuffersInEveryMetric) {
  bool isNull = false;
  // A point's buffer with n segments a quarter is a regular 4n-gon: area 2 n r^2 sin(pi / 2n).
  for (int segs : {1, 2, 8, 32}) {
    const auto b =
        GU::buffer(G("POINT (5 5)").get(), 2, isNull, "quad_segs=" + std::to_string(segs), kPlanar);
    EXPECT_NEAR(GU::area(b.get(), kPlanar), 2 * 4 * segs * std::sin(std::numbers::pi / (2 * segs)), 1e-9)
        << segs;
  }
  const auto flat =
      GU::buffer(G("LINESTRING (0 0, 10 0)").get(), 1, isNull, "endcap=flat join=mitre", kPlanar);
  EXPECT_DOUBLE_EQ(GU::area(flat.get(), kPlanar), 20);
  const auto square = GU::buffer(G("LINESTRING (0 0, 10 0)").get(), 1, isNull, "endcap=square", kPlanar);
  EXPECT_DOUBLE_EQ(GU::area(square.get(), kPlanar), 24);
  const auto left =
      GU::buffer(G("LINESTRING (0 0, 10 0)").get(), 1, isNull, "side=left endcap=flat", kPlanar);
  EXPECT_NEAR(GU::area(left.get(), kPlanar), 10, 1e-9);
  EXPECT_GT(GU::minY(left.get(), isNull), -1e-9);
  const auto right =
      GU::buffer(G("LINESTRING (0 0, 10 0)").get(), 1, isNull, "side=right endcap=flat", kPlanar);
  EXPECT_LT(GU::maxY(right.get(), isNull), 1e-9);
  EXPECT_FALSE(isNull);
  // 1 km around a point on the spheroid measures pi km^2 there (within the polygon's chord loss).
  const auto disc = GU::buffer(G("POINT (10 50)").get(), 1000, isNull, "quad_segs=64", kSpheroid);
  EXPECT_NEAR(GU::area(disc.get(), kSpheroid) / (std::numbers::pi * 1e6), 1.0, 1e-3);
  EXPECT_NEAR(GU::xyDistance(10, 50, GU::boundary(disc.get(), isNull).get(), isNull, kSpheroid), 1000, 1.0);
  for (const char* bad : {"quad_segs=0", "endcap=wide", "join", "quad_segs=8x", "size=3"})
    EXPECT_THROW(GU::buffer(G("POINT (0 0)").get(), 1, isNull, bad, kPlanar), vela::VelaException) << bad;
  const auto rings = GU::multipleRingBuffers(G("POINT (0 0)").get(), {2, 1}, true);
  ASSERT_EQ(GU::numGeometries(rings.get()), 2);
  bool flag = false;
  const auto inner = GU::geometryN(rings.get(), 1, flag);
  const auto outer = GU::geometryN(rings.get(), 2, flag);
  EXPECT_NEAR(GU::area(inner.get(), kPlanar) + GU::area(outer.get(), kPlanar),
              GU::area(GU::buffer(G("POINT (0 0)").get(), 2, flag, "", kPlanar).get(), kPlanar), 1e-9);
  EXPECT_EQ(GU::intersects(outer.get(), G("POINT (0 0)").get()), false);
}

// Every piece at most the length, the vertices on the great circle (the equator across the antimeridian).
TEST(GeometryUtils, GeodesicSegmentizeAndProjection) {
  bool isNull = false;
  const auto line = GU::segmentize(G("LINESTRING (170 0, -170 0)").get(), 500e3, isNull, kSphere);
  ASSERT_FALSE(isNull);
  const int n = GU::nPoints(line.get());
  EXPECT_EQ(n, 1 + static_cast<int>(std::ceil(20 * kDeg * kR / 500e3)));
  EXPECT_NEAR(GU::length(line.get(), kSphere), 20 * kDeg * kR, 1e-6);
  EXPECT_DOUBLE_EQ(GU::maxY(line.get(), isNull), 0);
  GU::segmentize(G("LINESTRING (0 0, 1 0)").get(), 1e-8, isNull, kPlanar); // 10^8 pieces: over the limit
  EXPECT_TRUE(isNull);
  isNull = false;
  EXPECT_EQ(GU::nPoints(GU::segmentize(G("LINESTRING (0 0, 1 0)").get(), 1e-3, isNull, kPlanar).get()), 1001);
  // Projecting 1 degree of equator east from (0, 0) lands on (1, 0).
  const auto moved = GU::projectPoint(G("POINT (0 0)").get(), static_cast<float>(6378137.0 * kDeg),
                                      static_cast<float>(std::numbers::pi / 2), isNull);
  EXPECT_NEAR(X(moved), 1, 1e-7);
  EXPECT_NEAR(Y(moved), 0, 1e-7);
}

// Failures inside the geometry library come out as VelaException naming the function.
TEST(GeometryUtils, LibraryFailuresBecomeVelaExceptions) {
  const auto mixed =
      G("GEOMETRYCOLLECTION (POINT (0 0), LINESTRING (0 0, 1 1), POLYGON ((0 0, 1 0, 1 1, 0 0)))");
  const auto sq = G("POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))");
  try {
    GU::intersection(mixed.get(), sq.get(), kPlanar);
    SUCCEED(); // this library version overlays mixed collections
  } catch (const vela::VelaException& e) {
    EXPECT_NE(std::string(e.what()).find("GeometryUtils::intersection"), std::string::npos) << e.what();
  }
  try {
    GU::simplify(sq.get(), -1);
    FAIL() << "a negative tolerance is refused by the library";
  } catch (const vela::VelaException& e) {
    EXPECT_NE(std::string(e.what()).find("GeometryUtils::simplify"), std::string::npos) << e.what();
  }
}

TEST(GeometryUtils, HexAndTriangleGridsSplitAndGeneratedPoints) {
  bool isNull = false;
  // Hexagons of side 1 over [0, 3] x [0, 2]: columns at x = 0, 1.5, 3; every kept cell has the area
  // of a regular hexagon and reaches the box.
  const auto hexes = GU::hexGrid(0, 0, 3, 2, 1, 100, isNull);
  ASSERT_FALSE(isNull);
  const double hexArea = 3 * std::sqrt(3.0) / 2;
  const int n = GU::numGeometries(hexes.get());
  EXPECT_NEAR(GU::area(hexes.get(), kPlanar), n * hexArea, 1e-9);
  const auto box = GU::createEnvelope(0, 0, 3, 2);
  for (int i = 1; i <= n; ++i) {
    bool flag = false;
    EXPECT_TRUE(GU::envelopeIntersects(GU::geometryN(hexes.get(), i, flag).get(), box.get()));
  }
  // The box is covered: its corners and centre lie in some cell.
  for (const auto& p : {std::pair{0.0, 0.0}, {3.0, 2.0}, {1.5, 1.0}, {0.0, 2.0}, {3.0, 0.0}})
    EXPECT_TRUE(GU::xyIntersects(p.first, p.second, hexes.get())) << p.first << " " << p.second;
  GU::hexGrid(0, 0, 3, 2, 1, n - 1, isNull);
  EXPECT_TRUE(isNull);
  isNull = false;
  const auto triangles = GU::triangleGrid(0, 0, 2, 1, 1, 4, isNull);
  EXPECT_EQ(GU::numGeometries(triangles.get()), 4);
  EXPECT_DOUBLE_EQ(GU::area(triangles.get(), kPlanar), 2);
  GU::triangleGrid(0, 0, 2, 1, 1, 3, isNull);
  EXPECT_TRUE(isNull);

  struct Case {
    const char* a;
    const char* blade;
    const char* expected;
  };
  const Case cases[] = {
      {"LINESTRING (0 0, 4 0)", "POINT (1 0)", "MULTILINESTRING ((0 0, 1 0), (1 0, 4 0))"},
      {"LINESTRING (0 0, 4 0)", "LINESTRING (2 -1, 2 1)", "MULTILINESTRING ((0 0, 2 0), (2 0, 4 0))"},
      {"LINESTRING (0 0, 4 0)", "POINT (1 1)", "MULTILINESTRING ((0 0, 4 0))"},
      {"LINESTRING (0 0, 4 0)", "POLYGON ((1 -1, 3 -1, 3 1, 1 1, 1 -1))",
       "MULTILINESTRING ((0 0, 1 0), (1 0, 3 0), (3 0, 4 0))"},
  };
  for (const Case& c : cases) {
    isNull = false;
    EXPECT_EQ(W(GU::split(G(c.a).get(), G(c.blade).get(), isNull)), c.expected) << c.a << " / " << c.blade;
    EXPECT_FALSE(isNull);
  }
  const auto halves =
      GU::split(G("POLYGON ((0 0, 4 0, 4 2, 0 2, 0 0))").get(), G("LINESTRING (1 -1, 1 3)").get(), isNull);
  ASSERT_EQ(GU::numGeometries(halves.get()), 2);
  EXPECT_DOUBLE_EQ(GU::area(halves.get(), kPlanar), 8);
  bool flag = false;
  const double first = GU::area(GU::geometryN(halves.get(), 1, flag).get(), kPlanar);
  EXPECT_TRUE(first == 2 || first == 6) << first;
  GU::split(G("POINT (0 0)").get(), G("LINESTRING (1 -1, 1 3)").get(), isNull);
  EXPECT_TRUE(isNull);

  // Generated points: inside, reproducible, and spread by area (an L whose arms hold 3/4 and 1/4).
  isNull = false;
  const auto shape = G("POLYGON ((0 0, 4 0, 4 1, 1 1, 1 2, 0 2, 0 0))"); // area 5: [0,4]x[0,1] 4, arm 1
  const auto pts = GU::generatePoints(shape.get(), 4000, isNull);
  ASSERT_FALSE(isNull);
  EXPECT_EQ(GU::numGeometries(pts.get()), 4000);
  EXPECT_TRUE(GU::covers(shape.get(), pts.get()));
  EXPECT_TRUE(GU::equalsExact(pts.get(), GU::generatePoints(shape.get(), 4000, isNull).get(), 0));
  int upper = 0;
  for (int i = 1; i <= 4000; ++i)
    upper += GU::geometryN(pts.get(), i, flag)->getEnvelopeInternal()->getMinY() > 1;
  EXPECT_NEAR(upper / 4000.0, 0.2, 0.03);
  for (int count : {0, -1, GU::kMaxGeneratedPoints + 1}) {
    bool none = false;
    GU::generatePoints(shape.get(), count, none);
    EXPECT_TRUE(none) << count;
  }
  bool none = false;
  GU::generatePoints(G("LINESTRING (0 0, 1 1)").get(), 5, none);
  EXPECT_TRUE(none);
}

// Each thread has its own probes (distinct answers), and sees what one thread alone sees.
TEST(GeometryUtils, PreparedGeometriesAreSharedAcrossThreads) {
  const auto shared = G("MULTIPOLYGON (((0 0, 10 0, 10 10, 0 10, 0 0), (2 2, 8 2, 8 8, 2 8, 2 2)), ((20 0, "
                        "30 0, 30 5, 20 0)))");
  GU::prepareForSharing(shared.get());
  GU::prepareForSharing(nullptr);
  std::vector<std::vector<int>> expected(4), seen(4);
  const auto probe = [&](int t, std::vector<int>& out) {
    const auto line =
        G("LINESTRING (" + std::to_string(t * 5) + " -1, " + std::to_string(t * 5 + 1) + " 11)");
    for (int i = 0; i < 200; ++i) {
      const double x = t * 8 + i * 0.05, y = i * 0.05;
      bool isNull = false;
      out.push_back(GU::xyIntersects(x, y, shared.get()) + 2 * GU::intersects(shared.get(), line.get()) +
                    4 * (GU::xyDistance(x, y, shared.get(), isNull, kPlanar) < 0.5));
    }
  };
  for (int t = 0; t < 4; ++t)
    probe(t, expected[t]);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] { probe(t, seen[t]); });
  for (auto& th : threads)
    th.join();
  EXPECT_EQ(seen, expected);
  EXPECT_NE(expected[0], expected[3]);
}

// Inputs from another factory included; each result is charged to a pool and freed back to zero.
TEST(GeometryUtils, ResultsAreSharedFactoryGeometriesThatBalanceThePool) {
  const auto foreign = geos::geom::GeometryFactory::create();
  const std::unique_ptr<Geometry> a(foreign->createGeometry(G("POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0))").get()));
  const std::unique_ptr<Geometry> b(foreign->createGeometry(G("LINESTRING (1 -1, 2 5, 6 5)").get()));
  ASSERT_NE(a->getFactory(), &vela::sharedGeometryFactory());
  bool isNull = false;
  std::vector<std::pair<const char*, std::unique_ptr<Geometry>>> results;
  results.emplace_back("intersection", GU::intersection(a.get(), b.get(), kPlanar));
  results.emplace_back("union", GU::geosUnion(a.get(), b.get(), false));
  results.emplace_back("difference", GU::difference(a.get(), b.get()));
  results.emplace_back("buffer", GU::buffer(b.get(), 1, isNull, "", kPlanar));
  results.emplace_back("convex hull", GU::convexHull(b.get()));
  results.emplace_back("simplify", GU::simplify(a.get(), 0.5));
  results.emplace_back("make valid", GU::makeValid(a.get(), "", isNull));
  results.emplace_back("centroid", GU::centroid(a.get()));
  results.emplace_back("boundary", GU::boundary(a.get(), isNull));
  results.emplace_back("reverse", GU::reverse(b.get()));
  results.emplace_back("translate", GU::translate(a.get(), 1, 1));
  results.emplace_back("force 3d", GU::force3d(a.get(), 1, isNull));
  results.emplace_back("collect", GU::collect(a.get(), b.get()));
  results.emplace_back("split", GU::split(a.get(), b.get(), isNull));
  results.emplace_back("voronoi", GU::voronoiPolygons(b.get(), isNull, 0, nullptr));
  results.emplace_back("line merge", GU::lineMerge(b.get(), isNull));
  results.emplace_back("snap", GU::snap(a.get(), b.get(), 0.1f));
  ASSERT_FALSE(isNull);
  vela::RamPool pool("geometry results");
  for (auto& [name, g] : results) {
    ASSERT_NE(g, nullptr) << name;
    EXPECT_EQ(g->getFactory(), &vela::sharedGeometryFactory()) << name;
    const std::size_t footprint = vela::ManagedGeometryPtr::footprint(*g);
    {
      vela::ManagedGeometryPtr owned(std::move(g), &pool);
      EXPECT_EQ(pool.reservedBytes(), footprint) << name;
    }
    EXPECT_EQ(pool.reservedBytes(), 0u) << name;
  }
}

TEST(GeometryUtils, PartitionIntoStrips) {
  const auto square = G("POLYGON ((0 0, 4 0, 4 2, 0 2, 0 0))");
  const auto strips = GU::partition(square.get(), 4);
  ASSERT_EQ(GU::numGeometries(strips.get()), 4);
  for (int i = 1; i <= 4; ++i) {
    bool isNull = false;
    const auto piece = GU::geometryN(strips.get(), i, isNull);
    EXPECT_DOUBLE_EQ(GU::area(piece.get(), kPlanar), 2) << i;
    EXPECT_DOUBLE_EQ(GU::minX(piece.get(), isNull), i - 1.0) << i;
  }
  // A triangle's strips hold unequal areas that add up to the whole.
  const auto triangle = G("POLYGON ((0 0, 3 0, 0 3, 0 0))");
  EXPECT_DOUBLE_EQ(GU::area(GU::partition(triangle.get(), 3).get(), kPlanar), 4.5);
  EXPECT_EQ(GU::partition(square.get(), 0), nullptr);
  EXPECT_EQ(W(GU::partition(G("POINT EMPTY").get(), 3)), "GEOMETRYCOLLECTION EMPTY");
  EXPECT_EQ(W(GU::partition(G("LINESTRING (1 0, 1 5)").get(), 3)),
            "GEOMETRYCOLLECTION (LINESTRING (1 0, 1 5))");
}

// The geodesic searches skip parts by great-circle brackets; they must find what exhaustive models
// find: the nearest of many points sampled along each edge's geodesic (by segmentize, measured point to
// point), and the farthest of all vertex pairs measured one by one.
TEST(GeometryUtils, GeodesicSearchesMatchExhaustiveModels) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int round = 0; round < 6; ++round) {
    const double cx = unit(rng) * 360 - 180, cy = unit(rng) * 140 - 70, radius = 0.5 + unit(rng) * 15;
    std::string wkt = "LINESTRING (";
    for (int i = 0; i < 24; ++i) {
      const double t = 2 * std::numbers::pi * i / 24, rr = radius * (0.4 + 0.6 * unit(rng));
      wkt += (i ? ", " : "") + std::to_string(cx + rr * std::cos(t)) + " " +
             std::to_string(std::clamp(cy + rr * std::sin(t), -89.0, 89.0));
    }
    const auto ring = G(wkt + ")");
    for (int metric : {kSphere, kSpheroid}) {
      bool isNull = false;
      const double spacing = 2000;
      const auto samples = GU::segmentize(ring.get(), spacing, isNull, metric);
      const auto sampled = GU::points(samples.get());
      for (int k = 0; k < 5; ++k) {
        const double x = cx + (unit(rng) - 0.5) * 4 * radius,
                     y = std::clamp(cy + (unit(rng) - 0.5) * 4 * radius, -89.0, 89.0);
        double model = INFINITY;
        for (int i = 1; i <= GU::numGeometries(sampled.get()); ++i) {
          bool flag = false;
          const auto s = GU::geometryN(sampled.get(), i, flag);
          model = std::min(model, GU::distancePoints(x, y, GU::getX(s.get(), flag), GU::getY(s.get(), flag),
                                                     flag, metric));
        }
        const double d = GU::xyDistance(x, y, ring.get(), isNull, metric);
        EXPECT_LE(d, model + 1e-6) << wkt << " from " << x << " " << y << " metric " << metric;
        EXPECT_GE(d, model - spacing / 2 - 1e-6) << wkt << " from " << x << " " << y << " metric " << metric;
      }
      // Farthest vertex pair against all pairs.
      const auto other = GU::translate(ring.get(), static_cast<float>(radius), 1);
      double far = 0;
      const auto va = GU::points(ring.get()), vb = GU::points(other.get());
      bool flag = false;
      for (int i = 1; i <= GU::numGeometries(va.get()); ++i)
        for (int j = 1; j <= GU::numGeometries(vb.get()); ++j) {
          const auto p = GU::geometryN(va.get(), i, flag), q = GU::geometryN(vb.get(), j, flag);
          far = std::max(far,
                         GU::distancePoints(GU::getX(p.get(), flag), GU::getY(p.get(), flag),
                                            GU::getX(q.get(), flag), GU::getY(q.get(), flag), flag, metric));
        }
      EXPECT_DOUBLE_EQ(GU::maxDistance(ring.get(), other.get(), isNull, metric), far) << wkt;
    }
  }
}

// The remaining constructors and predicates, one hand-checked row each.
TEST(GeometryUtils, RemainingOperationsByHand) {
  bool isNull = false;
  const auto sq = G("POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))");
  struct Case {
    const char* name;
    std::unique_ptr<Geometry> out;
    const char* expected;
  };
  const Case cases[] = {
      {"reverse", GU::reverse(G("LINESTRING (0 0, 1 1, 2 0)").get()), "LINESTRING (2 0, 1 1, 0 0)"},
      {"normalize", GU::normalize(G("LINESTRING (2 0, 1 1, 0 0)").get()), "LINESTRING (0 0, 1 1, 2 0)"},
      {"erase", GU::erase(G("LINESTRING (0 1, 4 1)").get(), sq.get()), "LINESTRING (2 1, 4 1)"},
      {"union of a collection",
       GU::geosUnionCollection(
           G("MULTIPOLYGON (((0 0, 1 0, 1 1, 0 1, 0 0)), ((1 0, 2 0, 2 1, 1 1, 1 0)))").get()),
       "POLYGON ((0 0, 0 1, 1 1, 2 1, 2 0, 1 0, 0 0))"},
      {"triangle 3d", GU::createTriangle3D(0, 0, 1, 1, 0, 2, 0, 1, 3),
       "POLYGON Z ((0 0 1, 1 0 2, 0 1 3, 0 0 1))"},
      {"homogenize mixed",
       GU::collectionHomogenize(G("GEOMETRYCOLLECTION (POINT (1 1), GEOMETRYCOLLECTION (POINT (2 2)))").get(),
                                isNull),
       "MULTIPOINT ((1 1), (2 2))"},
      {"simplify keeping topology",
       GU::simplifyPreserveTopology(G("LINESTRING (0 0, 1 0.1, 2 0)").get(), 0.5), "LINESTRING (0 0, 2 0)"},
      {"delaunay edges", GU::delaunayTriangles(G("MULTIPOINT ((0 0), (1 0), (0 1))").get(), 0, true),
       "MULTILINESTRING ((0 1, 1 0), (0 0, 0 1), (0 0, 1 0))"},
      {"xy intersection with a polygon", GU::xyIntersection(2, 1, sq.get()), "POINT (2 1)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(W(c.out), c.expected) << c.name;
  EXPECT_FALSE(isNull);

  EXPECT_EQ(GU::st_geometryType(sq.get()), "ST_Polygon");
  EXPECT_EQ(GU::st_geometryType(G("GEOMETRYCOLLECTION EMPTY").get()), "ST_GeometryCollection");
  EXPECT_TRUE(GU::isRing(G("LINESTRING (0 0, 1 0, 1 1, 0 0)").get()));
  EXPECT_FALSE(GU::isRing(G("LINESTRING (0 0, 1 1, 1 0, 0 1, 0 0)").get())); // closed but crossing itself
  EXPECT_FALSE(GU::isSimple(G("LINESTRING (0 0, 1 1, 1 0, 0 1)").get()));
  EXPECT_TRUE(GU::isSimple(G("LINESTRING (0 0, 1 1)").get()));
  EXPECT_TRUE(GU::xyEnvelopeIntersects(2, 2, G("LINESTRING (0 0, 2 2)").get()));
  EXPECT_FALSE(GU::xyEnvelopeIntersects(2.5, 2, G("LINESTRING (0 0, 2 2)").get()));
  // An ellipse of 100 vertices: its area is close to pi x (width / 2) x (height / 2), its box exact.
  const auto ellipse = GU::createEllipse(1, 2, 4, 2);
  EXPECT_NEAR(GU::area(ellipse.get(), kPlanar), std::numbers::pi * 2 * 1, 0.01);
  EXPECT_DOUBLE_EQ(GU::maxX(ellipse.get(), isNull), 3);
  EXPECT_DOUBLE_EQ(GU::minY(ellipse.get(), isNull), 1);
  // Buffering the members of a collection one by one: two points 3 apart with radius 1 stay apart.
  const auto parts = GU::bufferbycomponent(G("MULTIPOINT ((0 0), (3 0))").get(), 1, isNull, "", kPlanar);
  EXPECT_EQ(GU::numGeometries(parts.get()), 2);
  // Voronoi clipped to a given extent: the cells tile the extent's box.
  const auto cells = GU::voronoiPolygons(G("MULTIPOINT ((1 1), (3 1))").get(), isNull, 0,
                                         G("POLYGON ((-10 -10, 10 -10, 10 10, -10 10, -10 -10))").get());
  EXPECT_DOUBLE_EQ(GU::area(cells.get(), kPlanar), 400);
  // Geodesic distance predicates: 1 degree of the equator is 111,319.49 m on WGS84.
  const auto p0 = G("POINT (0 0)"), p1 = G("POINT (1 0)");
  EXPECT_TRUE(GU::dWithin(p0.get(), p1.get(), 111320, kSpheroid));
  EXPECT_FALSE(GU::dWithin(p0.get(), p1.get(), 111319, kSpheroid));
  EXPECT_TRUE(GU::xyDWithin(1, 0, p0.get(), 111320, kSpheroid));
  EXPECT_TRUE(GU::envDWithin(p0.get(), G("LINESTRING (1 0, 2 0)").get(), 111320, kSpheroid));
  EXPECT_FALSE(GU::envDWithin(p0.get(), G("LINESTRING (1 0, 2 0)").get(), 111319, kSpheroid));
  EXPECT_TRUE(GU::xyxyEnvDWithin(0, 0, 1, 0, 111320, kSpheroid));
  EXPECT_TRUE(GU::dFullyWithin(p0.get(), G("LINESTRING (1 0, 0 1)").get(), 111320, kSpheroid));
  EXPECT_FALSE(isNull);
}
