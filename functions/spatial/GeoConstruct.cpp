// Geometry family: constructors. Geometries built from coordinates (points, envelopes, triangles,
// ellipses, grids over a box), from geohash cells (and the geohash of a point), and from other
// geometries (lines from points,
// polygons from rings, collections, an added point). Every
// result is a new geometry of the shared factory charged to the query's pool; a null geometry operand
// gives a null result (state 1 where the op has a state).

#include <geos/geom/Coordinate.h>
#include <geos/geom/GeometryFactory.h>
#include <geos/geom/Point.h>

#include "functions/spatial/GeoTransformShapes.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

namespace {

using namespace geoops;
using GU = GeometryUtils;
using GeometryPtr = GU::GeometryPtr;
using G = GeometryCell;
using I32 = std::int32_t;

GeometryPtr makePoint(double x, double y) {
  return GeometryPtr(GU::initGeometryFactory().createPoint(geos::geom::Coordinate(x, y)));
}

using Char32 = cell_of_width_t<32>;

/// The geohash text of a char32 cell, read into `buffer`.
std::string_view geohashText(const Char32& cell, char (&buffer)[32]) {
  return std::string_view(buffer, static_cast<std::size_t>(charn::toText(cell, buffer)));
}

GeometryPtr cellFromGeohash(Char32 cell, I32 precision) {
  char buffer[32];
  return GU::createGeometryFromGeohash(geohashText(cell, buffer), precision);
}
GeometryPtr pointFromGeohash(Char32 cell, I32 precision) {
  char buffer[32];
  return GU::createPointFromGeohash(geohashText(cell, buffer), precision);
}

using I64 = std::int64_t;

// GEO_GEOHASH: the geohash text of a point, cut to the cell's 32 bytes; a null flag gives a null row.
struct GeohashFunc {
  Char32 operator()(G g, I32 precision, State& state) const {
    thread_local std::string text;
    text.clear();
    bool isNull = false;
    GU::encodeGeohashFromGeometry(g, text, isNull, precision);
    state = isNull ? RPN_EVAL_NULL : RPN_EVAL_OK;
    return isNull ? charn::empty<Char32>() : charn::fromText<Char32>(text.data(), text.size());
  }
};

struct GeohashOp {
  template <class E>
  static void eval(E& e) {
    detail::prepareConstants(e);
    ElementwiseOpWithState<GeohashFunc, Char32, G, I32>::eval(e);
  }
};

const OpRegistration kOps[] = {
    opEntry<GeometryCallWithNull<[](G line, G point, I32 position, bool& isNull) {
      return GU::addPoint(line, point, isNull, position);
    },
                                 G, G, I32>>(2364),
    opEntry<GeometryCall<[](G a, G b) { return GU::collect(a, b); }, G, G>>(2376),
    opEntry<GeometryCallWithNull<
        [](G g, bool& isNull) { return GU::createLineStringFromMultiPoint(g, isNull); }, G>>(2404),
    opEntry<
        GeometryCallWithNull<[](G g, I32, bool& isNull) { return GU::createLineString(g, isNull); }, G, I32>>(
        2405),
    opEntry<GeometryCallWithNull<[](G a, G b, bool& isNull) { return GU::createLineString(a, b, isNull); }, G,
                                 G>>(2406),
    opEntry<GeometryCall<[](double x0, double y0, double x1, double y1) {
      return GU::createEnvelope(x0, y0, x1, y1);
    },
                         double, double, double, double>>(2407),
    opEntry<GeometryCall<&makePoint, double, double>>(2408),
    opEntry<GeometryCallWithNull<[](G g, bool& isNull) { return GU::createPolygon(g, isNull); }, G>>(2409),
    opEntry<GeometryCall<[](double x1, double y1, double x2, double y2, double x3, double y3) {
      return GU::createTriangle2D(x1, y1, x2, y2, x3, y3);
    },
                         double, double, double, double, double, double>>(2410),
    opEntry<GeometryCall<[](double x1, double y1, double z1, double x2, double y2, double z2, double x3,
                            double y3,
                            double z3) { return GU::createTriangle3D(x1, y1, z1, x2, y2, z2, x3, y3, z3); },
                         double, double, double, double, double, double, double, double, double>>(2411),
    opEntry<GeometryCall<[](G g) { return GU::multi(g); }, G>>(2413),
    opEntry<GeometryCall<[](double x, double y, double width, double height) {
      return GU::createEllipse(x, y, width, height);
    },
                         double, double, double, double>>(2383),
    opEntry<GeometryCall<&cellFromGeohash, Char32, I32>>(2395),
    opEntry<GeometryCall<&pointFromGeohash, Char32, I32>>(2418),
    opEntry<
        GeometryCallWithNull<[](double x0, double y0, double x1, double y1, double size, I64 limit,
                                bool& isNull) { return GU::hexGrid(x0, y0, x1, y1, size, limit, isNull); },
                             double, double, double, double, double, I64>>(2396),
    opEntry<
        GeometryCallWithNull<[](double x0, double y0, double x1, double y1, double size, I64 limit,
                                bool& isNull) { return GU::pointGrid(x0, y0, x1, y1, size, limit, isNull); },
                             double, double, double, double, double, I64>>(2420),
    // Square cells: the one size is both the width and the height.
    opEntry<GeometryCallWithNull<[](double x0, double y0, double x1, double y1, double size, I64 limit,
                                    bool& isNull) {
      return GU::rectangleGrid(x0, y0, x1, y1, size, size, limit, isNull);
    },
                                 double, double, double, double, double, I64>>(2440),
    opEntry<GeometryCallWithNull<[](double x0, double y0, double x1, double y1, double size, I64 limit,
                                    bool& isNull) {
      return GU::triangleGrid(x0, y0, x1, y1, size, limit, isNull);
    },
                                 double, double, double, double, double, I64>>(2448),
    opEntry<GeometryCall<&makePoint, double, double>>(2417),
    opEntry<GeohashOp>(2444),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
