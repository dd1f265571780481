// Geometry family: overlays, buffers and the remaining geometry-valued functions, the reserved marker
// 2306 and the planner-evaluated predicates.
//   2371, 2372        buffer (whole / by component); style parameters as a heap string
//   2374, 2382, 2398, 2449, 2438, 2439, 2433   clip, erase, intersection, update, snap, split, shared paths
//   2375, 2403, 2415  closest point, longest line, near point
//   2379, 2387, 2391, 2412, 2414, 2419, 2450   hulls, boxes, generated points, make-valid, ring buffers,
//                     strips, Voronoi cells
//   2400              line-locate-point: f64 with a state
//   2423, 2427, 2428, 2430, 2431, 2451, 2452   projection, rotation, scaling, densifying, wrapping, the
//                     point on a geometry
//   2306              no stack effect (the row evaluator passes over it)
//   2453-2456         pop their operands, push the element's own bool constant for every row
//
// Null operands. The geometry functions accept a null geometry (a null result, or their NULL flag,
// which becomes state 1). A null text operand (buffer style, make-valid parameters) cannot be handed to
// them: the row is null (state 1), as a strict SQL function answers NULL for any NULL argument. Ops
// without a state leave the row's nullness to the program's state ops.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Logging.h"
#include "base/VelaException.h"
#include "functions/spatial/GeoTransformShapes.h"
#include "functions/spatial/GeometryShapes.h"

namespace vela::cuda {

namespace {

using geoops::GeometryCall;
using geoops::GeometryCallWithNull;
using geoops::GeometryResultOp;
using geoops::GeometryResultOpWithState;
using GU = GeometryUtils;
using G = geoops::GeometryCell;
using S = geoops::StringCell;
using Bool = geoops::Bool;
using State = geoops::State;
using I32 = std::int32_t;
using Json = const JsonValue*;

constexpr const char* kSourcePath = "functions/spatial/GeoOverlay";

/// Most distances GEO_MULTIPLE_RING_BUFFERS takes in one row: each distance is one buffer and one
/// difference, so a longer array is refused rather than left to run for minutes.
constexpr std::size_t kMaxRingDistances = 1000;

[[noreturn]] void refuse(int line, const std::string& message) {
  throw VelaException(VelaWhat::Evaluation, locationSuffix(kSourcePath, line),
                      Status(StatusEnum::InvalidArgument, message));
}

// --- buffers and make-valid: a text operand --------------------------------------------------------

using BufferFn = GU::GeometryPtr (*)(const geos::geom::Geometry*, double, bool&, std::string_view, int);

// GEO_BUFFER, GEO_BUFFER_BY_COMPONENT: an empty style is the default one (round caps and joins, 8
// segments a quarter circle); a null style gives a null row, as does a distance or coordinate that is
// not finite (the library's rule).
template <BufferFn Fn>
struct BufferFunc {
  void operator()(EvalOutputGeometry out, G g, double distance, S style, I32 metric, State& state) const {
    bool isNull = style == nullptr;
    GU::GeometryPtr result = isNull ? nullptr : Fn(g, distance, isNull, style->view(), metric);
    state = isNull ? RPN_EVAL_NULL : RPN_EVAL_OK;
    if (isNull)
      return out.writeNull();
    out.write(std::move(result));
  }
};

// GEO_MAKE_VALID: "" repairs by keeping all linework; null parameters give a null row.
struct MakeValidFunc {
  void operator()(EvalOutputGeometry out, G g, S parameters, State& state) const {
    bool isNull = parameters == nullptr;
    GU::GeometryPtr result = isNull ? nullptr : GU::makeValid(g, parameters->view(), isNull);
    state = isNull ? RPN_EVAL_NULL : RPN_EVAL_OK;
    if (isNull)
      return out.writeNull();
    out.write(std::move(result));
  }
};

// --- ring buffers: an array of distances -----------------------------------------------------------

// GEO_MULTIPLE_RING_BUFFERS. The distances are a JSON array of numbers, copied per row into a list of
// doubles. A null geometry or array, or a null element gives a null result (one undefined ring leaves
// the set of rings undefined), as does a distance that is not finite (the library's rule); a value that
// is not an array, an element that is neither a number nor null, and more than kMaxRingDistances
// distances refuse the call, as a malformed buffer style does. An empty array gives an empty
// collection.
struct MultipleRingBuffersFunc {
  void operator()(EvalOutputGeometry out, G g, Json distances, Bool outsideOnly) const {
    if (g == nullptr || distances == nullptr)
      return out.writeNull();
    if (!distances->is_array())
      refuse(__LINE__, "GEO_MULTIPLE_RING_BUFFERS: the distances are not an array");
    if (distances->size() > kMaxRingDistances)
      refuse(__LINE__, "GEO_MULTIPLE_RING_BUFFERS: " + std::to_string(distances->size()) +
                           " distances; at most " + std::to_string(kMaxRingDistances) + " are taken");
    std::vector<double> list;
    list.reserve(distances->size());
    for (const JsonValue& d : *distances) {
      if (d.is_null())
        return out.writeNull();
      if (!d.is_number())
        refuse(__LINE__, "GEO_MULTIPLE_RING_BUFFERS: distance " + std::to_string(list.size() + 1) +
                             " is not a number: " + d.dump());
      list.push_back(d.get<double>());
    }
    out.write(GU::multipleRingBuffers(g, list, outsideOnly != 0));
  }
};

// --- measures ----------------------------------------------------------------------------------------

struct LineLocatePointFunc {
  double operator()(G line, G point, State& state) const {
    bool isNull = false;
    const double fraction = GU::lineLocatePoint(line, point, isNull);
    if (isNull)
      state = RPN_EVAL_NULL;
    return fraction;
  }
};

// --- markers -----------------------------------------------------------------------------------------

// 2306: the row evaluator passes over this code, so the batch leaves both stacks as they are too.
struct ReservedOp {
  template <class E>
  static void eval(E&) {}
};

// GEO_PLANNED_*: the planner has already decided the predicate. Its operands are popped (an
// intermediate one is freed by its entry) without being read, and the element's own constant, a bool
// held in the first operand byte (any non-zero byte is true), is the result of every row.
template <class... In>
struct PlannedOp {
  template <class E>
  static void eval(E& e) {
    (void)eval_handler_detail::popOperands<E, In...>(e);
    e.template evalConstValue<Bool>(e.element().operand[0] != 0 ? 1 : 0);
  }
};

const OpRegistration kOps[] = {
    opEntry<ReservedOp>(2306),
    opEntry<GeometryResultOpWithState<BufferFunc<&GU::buffer>, G, double, S, I32>>(2371),
    opEntry<GeometryResultOpWithState<BufferFunc<&GU::bufferbycomponent>, G, double, S, I32>>(2372),
    opEntry<GeometryCall<[](G a, G b) { return GU::clip(a, b); }, G, G>>(2374),
    opEntry<GeometryCallWithNull<[](G a, G b, I32 metric, bool& isNull) {
      return GU::closestPoint(a, b, isNull, metric);
    },
                                 G, G, I32>>(2375),
    opEntry<GeometryCall<[](G g, double ratio, Bool allowHoles) {
      return GU::concaveHull(g, ratio, allowHoles != 0);
    },
                         G, double, Bool>>(2379),
    opEntry<GeometryCall<[](G a, G b) { return GU::erase(a, b); }, G, G>>(2382),
    opEntry<GeometryCall<[](G g, double rate) { return GU::expandByRate(g, rate); }, G, double>>(2387),
    opEntry<GeometryCallWithNull<
        [](G g, I32 count, bool& isNull) { return GU::generatePoints(g, count, isNull); }, G, I32>>(2391),
    opEntry<GeometryCall<[](G a, G b, I32 metric) { return GU::intersection(a, b, metric); }, G, G, I32>>(
        2398),
    opEntry<geo::GeoScalarOpWithState<LineLocatePointFunc, double, G, G>>(2400),
    opEntry<GeometryCallWithNull<
        [](G a, G b, I32 metric, bool& isNull) { return GU::longestLine(a, b, isNull, metric); }, G, G, I32>>(
        2403),
    opEntry<GeometryResultOpWithState<MakeValidFunc, G, S>>(2412),
    opEntry<GeometryResultOp<MultipleRingBuffersFunc, G, Json, Bool>>(2414),
    opEntry<GeometryCallWithNull<[](G a, G b, bool& isNull) { return GU::near(a, b, isNull); }, G, G>>(2415),
    opEntry<GeometryCall<[](G g, I32 parts) { return GU::partition(g, parts); }, G, I32>>(2419),
    opEntry<GeometryCallWithNull<[](G g, float distance, float azimuth, bool& isNull) {
      return GU::projectPoint(g, distance, azimuth, isNull);
    },
                                 G, float, float>>(2423),
    opEntry<GeometryCall<[](G g, float angle, float x, float y) { return GU::rotate(g, angle, x, y); }, G,
                         float, float, float>>(2427),
    opEntry<GeometryCallWithNull<[](G g, float angle, G origin, I32 /*unused*/, bool& isNull) {
      return GU::rotate(g, angle, origin, isNull);
    },
                                 G, float, G, I32>>(2428),
    opEntry<GeometryCallWithNull<[](G g, G factors, I32 /*unused*/, bool& isNull) {
      return GU::scale(g, factors, isNull);
    },
                                 G, G, I32>>(2430),
    opEntry<GeometryCallWithNull<[](G g, double length, I32 metric, bool& isNull) {
      return GU::segmentize(g, length, isNull, metric);
    },
                                 G, double, I32>>(2431),
    opEntry<GeometryCallWithNull<[](G a, G b, bool& isNull) { return GU::sharedPaths(a, b, isNull); }, G, G>>(
        2433),
    opEntry<GeometryCall<[](G a, G b, float tolerance) { return GU::snap(a, b, tolerance); }, G, G, float>>(
        2438),
    opEntry<GeometryCallWithNull<[](G a, G b, bool& isNull) { return GU::split(a, b, isNull); }, G, G>>(2439),
    opEntry<GeometryCall<[](G a, G b) { return GU::update(a, b); }, G, G>>(2449),
    opEntry<GeometryCallWithNull<[](G g, double tolerance, bool& isNull) {
      return GU::voronoiPolygons(g, isNull, tolerance, nullptr);
    },
                                 G, double>>(2450),
    opEntry<GeometryCall<[](G g, double wrap, double move) { return GU::wrapX(g, wrap, move); }, G, double,
                         double>>(2451),
    opEntry<
        GeometryCall<[](double x, double y, G g) { return GU::xyIntersection(x, y, g); }, double, double, G>>(
        2452),
    opEntry<PlannedOp<G, G, I32, double, I32, I32>>(2453),
    opEntry<PlannedOp<double, double, G, I32, double, I32, I32>>(2454),
    opEntry<PlannedOp<G, double, double, I32, double, I32, I32>>(2455),
    opEntry<PlannedOp<double, double, double, double, I32, double, I32>>(2456),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
