// Geometry family: predicates with bool results.
//   923, 2304  GEO_EQ, GEO_EQUALS            point-set equality; 924 GEO_NE its negation
//   1255       GEO_IS_NOT_DISTINCT_FROM      with both operands' states (below)
//   2293-2303, 2305, 2307, 2314-2316         two-geometry predicates, some with a tolerance, a
//                                            distance and a metric
//   2308-2313  single-geometry tests (closed, collection, empty, ring, simple, valid)
//   2291, 2317-2329                          point fast paths: the point is given as two doubles and
//                                            never becomes a geometry
//   2483       GEO_PIP_CLASSIFY              x, y and a point-in-polygon classifier cell
//
// A null geometry answers false (GEO_NE: true); the program's state ops make such a row null.
// GEO_IS_NOT_DISTINCT_FROM is never null: an operand error state passes on (the first operand's
// first), two nulls are not distinct, a null and a value are, two values compare by point-set equality.
// A metric outside 0 to 2 and a failure inside the geometry library end the call with the library's
// exception. The classifier cell of 2483 is a pointer to a Pip<IntervalPip> built by the caller; a null
// pointer covers nothing.

#include "base/Pip.h"
#include "functions/spatial/GeometryShapes.h"

namespace vela::cuda {

namespace {

using namespace geo;
using PipCell = const vela::Pip<vela::IntervalPip>*;

template <bool (*Test)(const geos::geom::Geometry*, const geos::geom::Geometry*)>
struct PairFunc {
  Bool operator()(GeometryCell a, GeometryCell b) const { return Test(a, b); }
};

struct NotEqualsFunc {
  Bool operator()(GeometryCell a, GeometryCell b) const { return !GeometryUtils::equals(a, b); }
};

struct AlmostEqualsFunc {
  Bool operator()(GeometryCell a, GeometryCell b, std::int32_t decimals) const {
    return GeometryUtils::almostEquals(a, b, decimals);
  }
};

struct EqualsExactFunc {
  Bool operator()(GeometryCell a, GeometryCell b, double tolerance) const {
    return GeometryUtils::equalsExact(a, b, tolerance);
  }
};

template <bool (*Test)(const geos::geom::Geometry*, const geos::geom::Geometry*, double, int)>
struct PairDistanceFunc {
  Bool operator()(GeometryCell a, GeometryCell b, double distance, std::int32_t metric) const {
    return Test(a, b, distance, metric);
  }
};

struct NotDistinctFunc {
  Bool operator()(GeometryCell a, GeometryCell b, State stateA, State stateB, State& code) const {
    if (stateA >= 2) {
      code = stateA;
      return 0;
    }
    if (stateB >= 2) {
      code = stateB;
      return 0;
    }
    if (stateA == 0 && stateB == 0)
      return GeometryUtils::equals(a, b);
    return stateA == 1 && stateB == 1;
  }
};

template <bool (*Test)(const geos::geom::Geometry*)>
struct SingleFunc {
  Bool operator()(GeometryCell g) const { return Test(g); }
};

// Point fast paths, geometry first or point first as the ops take them.
template <bool (*Test)(const geos::geom::Geometry*, double, double)>
struct GeometryXYFunc {
  Bool operator()(GeometryCell g, double x, double y) const { return Test(g, x, y); }
};

template <bool (*Test)(double, double, const geos::geom::Geometry*)>
struct XYGeometryFunc {
  Bool operator()(double x, double y, GeometryCell g) const { return Test(x, y, g); }
};

template <bool (*Test)(double, double, const geos::geom::Geometry*, double, int)>
struct XYGeometryDistanceFunc {
  Bool operator()(double x, double y, GeometryCell g, double distance, std::int32_t metric) const {
    return Test(x, y, g, distance, metric);
  }
};

// GEO_DWITHIN_XY measures on the sphere.
struct GeometryXYDWithinFunc {
  Bool operator()(GeometryCell g, double x, double y, double distance) const {
    return GeometryUtils::xyDWithin(x, y, g, distance, static_cast<int>(GeoMetric::Sphere));
  }
};

struct PointsDWithinFunc {
  Bool operator()(double x1, double y1, double x2, double y2, double distance, std::int32_t metric) const {
    return GeometryUtils::distancePointsWithin(x1, y1, x2, y2, metric, distance);
  }
};

struct PointsEnvDWithinFunc {
  Bool operator()(double x1, double y1, double x2, double y2, double distance, std::int32_t metric) const {
    return GeometryUtils::xyxyEnvDWithin(x1, y1, x2, y2, distance, metric);
  }
};

struct PipClassifyFunc {
  Bool operator()(double x, double y, PipCell pip) const {
    return pip != nullptr && pip->classify(x, y) != 0;
  }
};

template <bool (*Test)(const geos::geom::Geometry*, const geos::geom::Geometry*)>
using PairOp = GeoScalarOp<PairFunc<Test>, Bool, GeometryCell, GeometryCell>;
template <bool (*Test)(const geos::geom::Geometry*)>
using SingleOp = GeoScalarOp<SingleFunc<Test>, Bool, GeometryCell>;
template <bool (*Test)(const geos::geom::Geometry*, double, double)>
using GeometryXYOp = GeoScalarOp<GeometryXYFunc<Test>, Bool, GeometryCell, double, double>;
template <bool (*Test)(double, double, const geos::geom::Geometry*)>
using XYGeometryOp = GeoScalarOp<XYGeometryFunc<Test>, Bool, double, double, GeometryCell>;
template <bool (*Test)(const geos::geom::Geometry*, const geos::geom::Geometry*, double, int)>
using PairDistanceOp =
    GeoScalarOp<PairDistanceFunc<Test>, Bool, GeometryCell, GeometryCell, double, std::int32_t>;
template <bool (*Test)(double, double, const geos::geom::Geometry*, double, int)>
using XYGeometryDistanceOp =
    GeoScalarOp<XYGeometryDistanceFunc<Test>, Bool, double, double, GeometryCell, double, std::int32_t>;

using GU = GeometryUtils;

const OpRegistration kOps[] = {
    opEntry<PairOp<&GU::equals>>(923),
    opEntry<GeoScalarOp<NotEqualsFunc, Bool, GeometryCell, GeometryCell>>(924),
    opEntry<GeoScalarOpWithState<NotDistinctFunc, Bool, GeometryCell, GeometryCell, State, State>>(1255),
    opEntry<GeoScalarOp<GeometryXYDWithinFunc, Bool, GeometryCell, double, double, double>>(2291),
    opEntry<GeoScalarOp<AlmostEqualsFunc, Bool, GeometryCell, GeometryCell, std::int32_t>>(2293),
    opEntry<PairOp<&GU::contains>>(2294),
    opEntry<PairOp<&GU::containsProperly>>(2295),
    opEntry<PairOp<&GU::coveredBy>>(2296),
    opEntry<PairOp<&GU::covers>>(2297),
    opEntry<PairOp<&GU::crosses>>(2298),
    opEntry<PairOp<&GU::disjoint>>(2299),
    opEntry<PairDistanceOp<&GU::dFullyWithin>>(2300),
    opEntry<PairDistanceOp<&GU::dWithin>>(2301),
    opEntry<PairDistanceOp<&GU::envDWithin>>(2302),
    opEntry<PairOp<&GU::envelopeIntersects>>(2303),
    opEntry<PairOp<&GU::equals>>(2304),
    opEntry<GeoScalarOp<EqualsExactFunc, Bool, GeometryCell, GeometryCell, double>>(2305),
    opEntry<PairOp<&GU::intersects>>(2307),
    opEntry<SingleOp<&GU::isClosed>>(2308),
    opEntry<SingleOp<&GU::isCollection>>(2309),
    opEntry<SingleOp<&GU::isEmpty>>(2310),
    opEntry<SingleOp<&GU::isRing>>(2311),
    opEntry<SingleOp<&GU::isSimple>>(2312),
    opEntry<SingleOp<&GU::isValid>>(2313),
    opEntry<PairOp<&GU::overlaps>>(2314),
    opEntry<PairOp<&GU::touches>>(2315),
    opEntry<PairOp<&GU::within>>(2316),
    opEntry<GeometryXYOp<&GU::containsXY>>(2317),
    opEntry<GeometryXYOp<&GU::containsProperlyXY>>(2318),
    opEntry<XYGeometryOp<&GU::xyCoveredBy>>(2319),
    opEntry<GeometryXYOp<&GU::coversXY>>(2320),
    opEntry<XYGeometryOp<&GU::xyDisjoint>>(2321),
    opEntry<XYGeometryDistanceOp<&GU::xyDWithin>>(2322),
    opEntry<XYGeometryDistanceOp<&GU::xyEnvDWithin>>(2323),
    opEntry<XYGeometryOp<&GU::xyEnvelopeIntersects>>(2324),
    opEntry<XYGeometryOp<&GU::xyIntersects>>(2325),
    opEntry<XYGeometryOp<&GU::xyTouches>>(2326),
    opEntry<XYGeometryOp<&GU::xyWithin>>(2327),
    opEntry<ElementwiseOp<PointsDWithinFunc, Bool, double, double, double, double, double, std::int32_t>>(
        2328),
    opEntry<ElementwiseOp<PointsEnvDWithinFunc, Bool, double, double, double, double, double, std::int32_t>>(
        2329),
    opEntry<ElementwiseOp<PipClassifyFunc, Bool, double, double, PipCell>>(2483),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
