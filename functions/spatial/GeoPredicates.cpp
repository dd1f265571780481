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
//
// Constant polygons. When the geometry of a point predicate (2317-2321, 2325-2327), or one side of a
// topological two-geometry predicate (2294-2299, 2307, 2314-2316), is a program constant that is a
// valid polygon or multi-polygon, the column-batch evaluator answers from the constant's
// point-in-polygon index (GeoConstants.h) instead of walking its rings for every row. A point and an
// area relate only through where the point lies (outside, inside, on the boundary), so each predicate
// is a set of those classes, kept as a mask (bit c for class c); the mask differs with the side the
// polygon is on (a point contains no area). Two-geometry rows other than one non-empty point with
// finite coordinates take the general call. GEO_XY_DWITHIN against a constant point in the planar
// metric is a coordinate distance (PointDWithinFunc). The row evaluator always takes the general path.

#include <cmath>
#include <tuple>

#include <geos/geom/Point.h>

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

// ---- Constant polygons --------------------------------------------------------------------------------

// Masks of the index classes (0 outside, 1 inside, 2 boundary) for which a predicate holds.
constexpr unsigned kOutside = 1u << 0, kInside = 1u << 1, kBoundary = 1u << 2, kNever = 0;

template <unsigned Mask>
inline Bool holds(int pointClass) {
  return static_cast<Bool>((Mask >> pointClass) & 1u);
}

// The index of a popped geometry operand that is a constant with one, the constant going to `constant`;
// nullptr otherwise (and always in the row evaluator, whose operands are single cells).
template <class Input>
const PolygonIndex* constantIndex(ConstantGeometries* constants, const Input& g, GeometryCell& constant) {
  if constexpr (requires { g.constInput(); }) {
    if (constants != nullptr && g.isConstant()) {
      constant = g.constInput().value;
      return constants->polygonIndex(constant);
    }
  }
  return nullptr;
}

template <unsigned Mask>
struct IndexedXYFunc {
  const PolygonIndex* index;
  Bool operator()(double x, double y) const { return holds<Mask>(index->classify(x, y)); }
};

// A point predicate: Plain is the general functor over In... (the geometry at GeometryAt, the two
// coordinates at the other places, in order); Mask answers from a constant polygon's index.
template <class Plain, unsigned Mask, std::size_t GeometryAt, class... In>
struct PointPredicateOp {
  template <class E>
  static void eval(E& e) {
    ConstantGeometries* constants = prepareConstantGeometries(e);
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto out = e.template prepareOutput<Bool>();
    GeometryCell constant = nullptr;
    if (const PolygonIndex* index = constantIndex(constants, std::get<GeometryAt>(inputs), constant)) {
      constexpr std::size_t kX = GeometryAt == 0 ? 1 : 0;
      e.runKernel(IndexedXYFunc<Mask>{index}, out, std::get<kX>(inputs), std::get<kX + 1>(inputs));
    } else {
      std::apply([&](auto&... in) { e.runKernel(Plain{}, out, in...); }, inputs);
    }
    e.push(std::move(out));
  }
};

template <bool (*Test)(const geos::geom::Geometry*, double, double), unsigned Mask>
using GeometryXYOp = PointPredicateOp<GeometryXYFunc<Test>, Mask, 0, GeometryCell, double, double>;
template <bool (*Test)(double, double, const geos::geom::Geometry*), unsigned Mask>
using XYGeometryOp = PointPredicateOp<XYGeometryFunc<Test>, Mask, 2, double, double, GeometryCell>;

// The coordinates of a non-empty point with finite X and Y; false for anything else.
inline bool finitePoint(GeometryCell g, double& x, double& y) {
  if (g == nullptr || g->getGeometryTypeId() != geos::geom::GeometryTypeId::GEOS_POINT)
    return false;
  const geos::geom::Coordinate* c = static_cast<const geos::geom::Point*>(g)->getCoordinate();
  if (c == nullptr || !std::isfinite(c->x) || !std::isfinite(c->y))
    return false;
  x = c->x;
  y = c->y;
  return true;
}

// Test(constant, row) when ConstantFirst, else Test(row, constant); a point row is answered by Mask.
template <bool (*Test)(const geos::geom::Geometry*, const geos::geom::Geometry*), unsigned Mask,
          bool ConstantFirst>
struct IndexedPairFunc {
  const PolygonIndex* index;
  GeometryCell constant;
  Bool operator()(GeometryCell row) const {
    double x, y;
    if (finitePoint(row, x, y))
      return holds<Mask>(index->classify(x, y));
    return ConstantFirst ? Test(constant, row) : Test(row, constant);
  }
};

// A topological two-geometry predicate; FirstMask answers a point b against a constant polygon a,
// SecondMask a point a against a constant polygon b.
template <bool (*Test)(const geos::geom::Geometry*, const geos::geom::Geometry*), unsigned FirstMask,
          unsigned SecondMask>
struct PairPredicateOp {
  template <class E>
  static void eval(E& e) {
    ConstantGeometries* constants = prepareConstantGeometries(e);
    auto [a, b] = eval_handler_detail::popOperands<E, GeometryCell, GeometryCell>(e);
    auto out = e.template prepareOutput<Bool>();
    GeometryCell constant = nullptr;
    if (const PolygonIndex* index = constantIndex(constants, a, constant))
      e.runKernel(IndexedPairFunc<Test, FirstMask, true>{index, constant}, out, b);
    else if (const PolygonIndex* index = constantIndex(constants, b, constant))
      e.runKernel(IndexedPairFunc<Test, SecondMask, false>{index, constant}, out, a);
    else
      e.runKernel(PairFunc<Test>{}, out, a, b);
    e.push(std::move(out));
  }
};

// GEO_XY_DWITHIN against a constant point with finite coordinates in the planar metric: the distance
// is the hypotenuse of the coordinate differences (a NaN coordinate has no distance). The sum of squares
// settles every pair clearly inside or outside the distance; a pair within a relative 2^-40 of it goes
// to the same hypotenuse the geometry function computes. Between 1e-140 and 1e140 the squares are
// normal numbers, far from overflow, and their rounding errors (a few units of 2^-53) cannot cross the
// margin.
struct PointDWithinFunc {
  double px, py;
  Bool operator()(double x, double y, double distance) const {
    if (std::isnan(x) || std::isnan(y))
      return 0;
    const double dx = x - px, dy = y - py;
    if (distance > 1e-140 && distance < 1e140) {
      const double squares = dx * dx + dy * dy, limit = distance * distance;
      if (squares < limit * (1 - 0x1p-40))
        return 1;
      if (squares > limit * (1 + 0x1p-40))
        return 0;
    }
    return std::hypot(dx, dy) <= distance;
  }
};

// A constant point geometry with finite coordinates.
template <class Input>
bool constantFinitePoint(const Input& g, double& px, double& py) {
  if constexpr (requires { g.constInput(); })
    return g.isConstant() && finitePoint(g.constInput().value, px, py);
  return false;
}

template <class Input>
bool constantPlanar(const Input& metric) {
  if constexpr (requires { metric.constInput(); })
    return metric.isConstant() && metric.constInput().value == static_cast<int>(GeoMetric::Planar);
  return false;
}

struct XYDWithinOp {
  template <class E>
  static void eval(E& e) {
    prepareConstantGeometries(e);
    auto [x, y, g, distance, metric] =
        eval_handler_detail::popOperands<E, double, double, GeometryCell, double, std::int32_t>(e);
    auto out = e.template prepareOutput<Bool>();
    double px, py;
    if (constantPlanar(metric) && constantFinitePoint(g, px, py))
      e.runKernel(PointDWithinFunc{px, py}, out, x, y, distance);
    else
      e.runKernel(XYGeometryDistanceFunc<&GeometryUtils::xyDWithin>{}, out, x, y, g, distance, metric);
    e.push(std::move(out));
  }
};

template <bool (*Test)(const geos::geom::Geometry*, const geos::geom::Geometry*)>
using PairOp = GeoScalarOp<PairFunc<Test>, Bool, GeometryCell, GeometryCell>;
template <bool (*Test)(const geos::geom::Geometry*)>
using SingleOp = GeoScalarOp<SingleFunc<Test>, Bool, GeometryCell>;
template <bool (*Test)(double, double, const geos::geom::Geometry*)>
using XYGeometryPlainOp = GeoScalarOp<XYGeometryFunc<Test>, Bool, double, double, GeometryCell>;
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
    opEntry<PairPredicateOp<&GU::contains, kInside, kNever>>(2294),
    opEntry<PairPredicateOp<&GU::containsProperly, kInside, kNever>>(2295),
    opEntry<PairPredicateOp<&GU::coveredBy, kNever, kInside | kBoundary>>(2296),
    opEntry<PairPredicateOp<&GU::covers, kInside | kBoundary, kNever>>(2297),
    opEntry<PairPredicateOp<&GU::crosses, kNever, kNever>>(2298),
    opEntry<PairPredicateOp<&GU::disjoint, kOutside, kOutside>>(2299),
    opEntry<PairDistanceOp<&GU::dFullyWithin>>(2300),
    opEntry<PairDistanceOp<&GU::dWithin>>(2301),
    opEntry<PairDistanceOp<&GU::envDWithin>>(2302),
    opEntry<PairOp<&GU::envelopeIntersects>>(2303),
    opEntry<PairOp<&GU::equals>>(2304),
    opEntry<GeoScalarOp<EqualsExactFunc, Bool, GeometryCell, GeometryCell, double>>(2305),
    opEntry<PairPredicateOp<&GU::intersects, kInside | kBoundary, kInside | kBoundary>>(2307),
    opEntry<SingleOp<&GU::isClosed>>(2308),
    opEntry<SingleOp<&GU::isCollection>>(2309),
    opEntry<SingleOp<&GU::isEmpty>>(2310),
    opEntry<SingleOp<&GU::isRing>>(2311),
    opEntry<SingleOp<&GU::isSimple>>(2312),
    opEntry<SingleOp<&GU::isValid>>(2313),
    opEntry<PairPredicateOp<&GU::overlaps, kNever, kNever>>(2314),
    opEntry<PairPredicateOp<&GU::touches, kBoundary, kBoundary>>(2315),
    opEntry<PairPredicateOp<&GU::within, kNever, kInside>>(2316),
    opEntry<GeometryXYOp<&GU::containsXY, kInside>>(2317),
    opEntry<GeometryXYOp<&GU::containsProperlyXY, kInside>>(2318),
    opEntry<XYGeometryOp<&GU::xyCoveredBy, kInside | kBoundary>>(2319),
    opEntry<GeometryXYOp<&GU::coversXY, kInside | kBoundary>>(2320),
    opEntry<XYGeometryOp<&GU::xyDisjoint, kOutside>>(2321),
    opEntry<XYDWithinOp>(2322),
    opEntry<XYGeometryDistanceOp<&GU::xyEnvDWithin>>(2323),
    opEntry<XYGeometryPlainOp<&GU::xyEnvelopeIntersects>>(2324),
    opEntry<XYGeometryOp<&GU::xyIntersects, kInside | kBoundary>>(2325),
    opEntry<XYGeometryOp<&GU::xyTouches, kBoundary>>(2326),
    opEntry<XYGeometryOp<&GU::xyWithin, kInside>>(2327),
    opEntry<ElementwiseOp<PointsDWithinFunc, Bool, double, double, double, double, double, std::int32_t>>(
        2328),
    opEntry<ElementwiseOp<PointsEnvDWithinFunc, Bool, double, double, double, double, double, std::int32_t>>(
        2329),
    opEntry<ElementwiseOp<PipClassifyFunc, Bool, double, double, PipCell>>(2483),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
