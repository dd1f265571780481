// Geometry family: transformations. Parts of a geometry (points, rings, members, boundary, box
// diagonal), affine changes (translate, scale), dimension changes, centroids and hulls, line
// operations and the set operations. Every result is a new geometry of the shared factory charged to
// the query's pool; a null geometry operand gives a null result (state 1 where the op has a state).
// Positions named n are 1-based, those named position 0-based with negative values counting from the
// end.

#include "functions/spatial/GeoTransformShapes.h"

namespace vela::cuda {

namespace {

using namespace geoops;
using GU = GeometryUtils;
using G = GeometryCell;
using I32 = std::int32_t;

// GEO_DIFFERENCE: the library call has no null flag; a null result (a null operand) is a null row.
struct DifferenceFunc {
  void operator()(EvalOutputGeometry out, G a, G b, State& state) const {
    std::unique_ptr<geos::geom::Geometry> g = GU::difference(a, b);
    state = g == nullptr ? RPN_EVAL_NULL : RPN_EVAL_OK;
    out.write(std::move(g));
  }
};

// GEO_SIMPLIFY: the topology-preserving form for a non-zero preserve, chosen per row.
struct SimplifyFunc {
  void operator()(EvalOutputGeometry out, G g, double tolerance, I32 preserve) const {
    out.write(preserve != 0 ? GU::simplifyPreserveTopology(g, tolerance) : GU::simplify(g, tolerance));
  }
};

const OpRegistration kOps[] = {
    opEntry<GeometryCallWithNull<[](G g, bool& isNull) { return GU::boundary(g, isNull); }, G>>(2369),
    opEntry<GeometryCall<[](G g, Bool fromUpperLeft) { return GU::boundingDiagonal(g, fromUpperLeft != 0); },
                         G, Bool>>(2370),
    opEntry<GeometryCall<[](G g) { return GU::centroid(g); }, G>>(2373),
    opEntry<GeometryCall<[](G g) { return GU::convexHull(g); }, G>>(2380),
    opEntry<GeometryCallWithNull<[](G g, bool& isNull) { return GU::endPoint(g, isNull); }, G>>(2384),
    opEntry<GeometryCallWithNull<[](G g, bool& isNull) { return GU::exteriorRing(g, isNull); }, G>>(2388),
    opEntry<GeometryCallWithNull<[](G g, bool& isNull) { return GU::force2d(g, isNull); }, G>>(2389),
    opEntry<GeometryCallWithNull<[](G g, double z, bool& isNull) { return GU::force3d(g, z, isNull); }, G,
                                 double>>(2390),
    opEntry<
        GeometryCallWithNull<[](G g, I32 n, bool& isNull) { return GU::geometryN(g, n, isNull); }, G, I32>>(
        2392),
    opEntry<GeometryCallWithNull<[](G g, I32 n, bool& isNull) { return GU::interiorRingN(g, n, isNull); }, G,
                                 I32>>(2397),
    opEntry<GeometryCallWithNull<[](G g, I32 n, bool& isNull) { return GU::pointN(g, n, isNull); }, G, I32>>(
        2421),
    opEntry<GeometryCall<[](G g) { return GU::points(g); }, G>>(2422),
    opEntry<GeometryCallWithNull<
        [](G g, I32 position, bool& isNull) { return GU::removePoint(g, position, isNull); }, G, I32>>(2424),
    opEntry<GeometryCall<[](G g) { return GU::reverse(g); }, G>>(2426),
    opEntry<GeometryCall<[](G g, float sx, float sy) { return GU::scale(g, sx, sy); }, G, float, float>>(
        2429),
    opEntry<GeometryCallWithNull<[](G line, I32 position, G point, bool& isNull) {
      return GU::setPoint(line, position, point, isNull);
    },
                                 G, I32, G>>(2432),
    opEntry<GeometryCallWithNull<[](G g, bool& isNull) { return GU::startPoint(g, isNull); }, G>>(2441),
    opEntry<GeometryCall<[](G g, float dx, float dy) { return GU::translate(g, dx, dy); }, G, float, float>>(
        2443),
    opEntry<GeometryCallWithNull<
        [](G g, I32 type, bool& isNull) { return GU::collectionExtract(g, type, isNull); }, G, I32>>(2377),
    opEntry<GeometryCallWithNull<[](G g, bool& isNull) { return GU::collectionHomogenize(g, isNull); }, G>>(
        2378),
    opEntry<GeometryResultOpWithState<DifferenceFunc, G, G>>(2381),
    opEntry<GeometryCall<[](G g, float amount) { return GU::expand(g, amount); }, G, float>>(2386),
    opEntry<GeometryCallWithNull<[](G g, double fraction, bool& isNull) {
      return GU::lineInterpolatePoint(g, fraction, isNull);
    },
                                 G, double>>(2399),
    opEntry<GeometryCallWithNull<[](G g, bool& isNull) { return GU::lineMerge(g, isNull); }, G>>(2401),
    opEntry<GeometryCallWithNull<[](G g, double start, double end, bool& isNull) {
      return GU::lineSubstring(g, start, end, isNull);
    },
                                 G, double, double>>(2402),
    opEntry<GeometryCall<[](G g) { return GU::normalize(g); }, G>>(2416),
    opEntry<
        GeometryCall<[](G g, float tolerance) { return GU::removeRepeatedPoints(g, tolerance); }, G, float>>(
        2425),
    opEntry<GeometryCall<[](G g) { return GU::shiftLongitude(g); }, G>>(2434),
    opEntry<
        GeometryCallWithNull<[](G a, G b, bool& isNull) { return GU::shortestLine(a, b, isNull); }, G, G>>(
        2435),
    opEntry<GeometryCall<[](G a, G b) { return GU::symmetricDifference(a, b); }, G, G>>(2442),
    opEntry<GeometryCall<[](G a, G b) { return GU::geosUnion(a, b, false); }, G, G>>(2446),
    opEntry<GeometryCall<[](G g) { return GU::geosUnionCollection(g); }, G>>(2447),
    opEntry<GeometryCallWithNull<
        [](G g, I32 metric, bool& isNull) { return GU::envelope(g, isNull, metric); }, G, I32>>(2385),
    opEntry<GeometryResultOp<SimplifyFunc, G, double, I32>>(2436),
    opEntry<GeometryCall<[](G g, double tolerance) { return GU::simplifyPreserveTopology(g, tolerance); }, G,
                         double>>(2437),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
