// Geometry family: measurements, accessors, counts and type texts.
//   2290, 2331-2333, 2336, 2337, 2339-2345, 2347-2350  f64 (2336: f32) with a state: 1 where the
//                   measure has no value (the geometry function's NULL flag)
//   2330            ST_AREA: f64, state 4 where the area is below 0.0 (the value is stored anyway;
//                   -0.0 and NaN are not below 0.0)
//   2334, 2335      point distance of decimal coordinates (DistancePointsDecimalFunc, below)
//   2338, 2346      length and perimeter, no state
//   2351-2357, 2360 int counts and codes, no state; 2358, 2359 with a state
//   2361-2363       type names and the validity reason as char32 / char32 / char128 text, cut to the
//                   width
//
// The trailing i32 of a measure selects the metric (0 planar, 1 sphere, 2 WGS84 spheroid); 2290 always
// measures on the sphere. The single-precision distances (2333, 2350) take the coordinates of point
// geometries rounded to float; anything but a non-empty point has no distance (state 1).

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "TypeManagement/ExactNumericType.h"
#include "functions/spatial/GeometryShapes.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

namespace {

using namespace geo;
using Char32 = cell_of_width_t<32>;
using Char128 = cell_of_width_t<128>;

inline void flagNull(bool isNull, State& code) {
  if (isNull)
    code = RPN_EVAL_NULL;
}

// GEO_DISTANCE_XY: sphere metric.
struct GeometryXYDistanceFunc {
  double operator()(GeometryCell g, double x, double y, State& code) const {
    bool isNull = false;
    const double d = GeometryUtils::xyDistance(x, y, g, isNull, static_cast<int>(GeoMetric::Sphere));
    flagNull(isNull, code);
    return d;
  }
};

struct AreaFunc {
  double operator()(GeometryCell g, std::int32_t metric, State& code) const {
    const double a = GeometryUtils::area(g, metric);
    if (a < 0.0)
      code = RPN_EVAL_NEGATIVE_AREA;
    return a;
  }
};

template <double (*Measure)(const geos::geom::Geometry*, const geos::geom::Geometry*, bool&, int)>
struct PairMeasureFunc {
  double operator()(GeometryCell a, GeometryCell b, std::int32_t metric, State& code) const {
    bool isNull = false;
    const double d = Measure(a, b, isNull, metric);
    flagNull(isNull, code);
    return d;
  }
};

// The coordinates of a point geometry, rounded to float; false for anything else.
bool floatPoint(GeometryCell g, float& x, float& y) {
  bool isNull = false;
  const double px = GeometryUtils::getX(g, isNull);
  const double py = GeometryUtils::getY(g, isNull);
  x = static_cast<float>(px);
  y = static_cast<float>(py);
  return !isNull;
}

struct PointsDistanceFFunc {
  double operator()(GeometryCell a, GeometryCell b, std::int32_t metric, State& code) const {
    float x1, y1, x2, y2;
    if (!floatPoint(a, x1, y1) || !floatPoint(b, x2, y2)) {
      code = RPN_EVAL_NULL;
      return 0.0;
    }
    bool isNull = false;
    const float d = GeometryUtils::distancePointsf(x1, y1, x2, y2, isNull, metric);
    flagNull(isNull, code);
    return d;
  }
};

struct XYDistanceFFunc {
  double operator()(double x, double y, GeometryCell g, std::int32_t metric, State& code) const {
    float gx, gy;
    if (!floatPoint(g, gx, gy)) {
      code = RPN_EVAL_NULL;
      return 0.0;
    }
    bool isNull = false;
    const float d =
        GeometryUtils::distancePointsf(static_cast<float>(x), static_cast<float>(y), gx, gy, isNull, metric);
    flagNull(isNull, code);
    return d;
  }
};

struct XYDistanceFunc {
  double operator()(double x, double y, GeometryCell g, std::int32_t metric, State& code) const {
    bool isNull = false;
    const double d = GeometryUtils::xyDistance(x, y, g, isNull, metric);
    flagNull(isNull, code);
    return d;
  }
};

struct PointsDistanceFloatFunc {
  float operator()(float x1, float y1, float x2, float y2, std::int32_t metric, State& code) const {
    bool isNull = false;
    const float d = GeometryUtils::distancePointsf(x1, y1, x2, y2, isNull, metric);
    flagNull(isNull, code);
    return d;
  }
};

struct PointsDistanceFunc {
  double operator()(double x1, double y1, double x2, double y2, std::int32_t metric, State& code) const {
    // The planar distance inline (what the geometry function computes for metric 0), sparing the call.
    if (metric == static_cast<int>(GeoMetric::Planar)) {
      if (std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2)) {
        code = RPN_EVAL_NULL;
        return std::numeric_limits<double>::quiet_NaN();
      }
      return std::hypot(x1 - x2, y1 - y2);
    }
    bool isNull = false;
    const double d = GeometryUtils::distancePoints(x1, y1, x2, y2, isNull, metric);
    flagNull(isNull, code);
    return d;
  }
};

template <double (*Measure)(const geos::geom::Geometry*, int)>
struct MetricMeasureFunc {
  double operator()(GeometryCell g, std::int32_t metric) const { return Measure(g, metric); }
};

template <double (*Measure)(const geos::geom::Geometry*, bool&)>
struct FlaggedMeasureFunc {
  double operator()(GeometryCell g, State& code) const {
    bool isNull = false;
    const double v = Measure(g, isNull);
    flagNull(isNull, code);
    return v;
  }
};

template <int (*Count)(const geos::geom::Geometry*)>
struct CountFunc {
  std::int32_t operator()(GeometryCell g) const { return Count(g); }
};

template <int (*Count)(const geos::geom::Geometry*, bool&)>
struct FlaggedCountFunc {
  std::int32_t operator()(GeometryCell g, State& code) const {
    bool isNull = false;
    const int n = Count(g, isNull);
    flagNull(isNull, code);
    return n;
  }
};

template <class C, std::string (*Text)(const geos::geom::Geometry*)>
struct TextFunc {
  C operator()(GeometryCell g) const {
    const std::string text = Text(g);
    return charn::fromText<C>(text.data(), text.size());
  }
};

// --- point distance of decimal coordinates -------------------------------------------------------

/// 10^scale as the factor of a decimal's unscaled value; 1 for a scale outside 0 to 18.
std::int64_t scaleFactor(int scale) {
  if (scale < 0 || scale >= 19)
    return 1;
  std::int64_t f = 1;
  for (int i = 0; i < scale; ++i)
    f *= 10;
  return f;
}

/// GEO_DISTANCE_POINTS_DECIMAL(_WIDE): the distance of two points given as four decimals, as a decimal
/// of the element's result scale. Each coordinate is its unscaled value over its scale factor, in
/// double; the distance r is rounded half away from zero at the result scale while s x r x 10 stays
/// well inside the exact range of doubles (|r| <= 2^52 / s, the bound being above 10), else truncated
/// toward zero. A NaN or infinite distance gives 0; a result beyond the unscaled type saturates.
template <class D>
struct DistancePointsDecimalFunc {
  std::int64_t x1Factor, y1Factor, x2Factor, y2Factor, resultFactor;

  explicit DistancePointsDecimalFunc(const ParserUtils::EvalInfo& info)
      : x1Factor(scaleFactor(info.argScale(0))), y1Factor(scaleFactor(info.argScale(1))),
        x2Factor(scaleFactor(info.argScale(2))), y2Factor(scaleFactor(info.argScale(3))),
        resultFactor(scaleFactor(info.scale())) {}

  static double toDouble(const D& v, std::int64_t factor) {
    return static_cast<double>(v.toInt128()) / static_cast<double>(factor);
  }

  D operator()(const D& x1, const D& y1, const D& x2, const D& y2, std::int32_t metric, State& code) const {
    bool isNull = false;
    const double r =
        GeometryUtils::distancePoints(toDouble(x1, x1Factor), toDouble(y1, y1Factor), toDouble(x2, x2Factor),
                                      toDouble(y2, y2Factor), isNull, metric);
    flagNull(isNull, code);
    if (!std::isfinite(r))
      return fromUnscaled(0.0);
    const auto s = static_cast<double>(resultFactor);
    const std::int64_t limit = (std::int64_t(1) << 52) / resultFactor;
    const auto l = static_cast<double>(limit);
    if (r <= l && r >= -l && limit > 10)
      return fromUnscaled(std::trunc((r >= 0 ? s * r * 10 + 5 : s * r * 10 - 5) / 10));
    return fromUnscaled(std::trunc(s * r));
  }

  // An integral double as the unscaled value, saturated at the type's range.
  static D fromUnscaled(double v) {
    if constexpr (std::is_same_v<D, ExactNumericType<long>>) {
      if (v >= 0x1p63)
        return D(std::numeric_limits<long>::max());
      if (v < -0x1p63)
        return D(std::numeric_limits<long>::min());
      return D(static_cast<long>(v));
    } else {
      if (v >= 0x1p95)
        return D(Int96::fromInt128(Int96::kMax));
      if (v < -0x1p95)
        return D(Int96::fromInt128(Int96::kMin));
      return D(Int96::fromInt128(static_cast<int128_t>(v)));
    }
  }
};

using Dec64 = ExactNumericType<long>;
using Dec128 = ExactNumericType<Int96>;
using GU = GeometryUtils;

template <double (*Measure)(const geos::geom::Geometry*, const geos::geom::Geometry*, bool&, int)>
using PairMeasureOp =
    GeoScalarOpWithState<PairMeasureFunc<Measure>, double, GeometryCell, GeometryCell, std::int32_t>;
template <double (*Measure)(const geos::geom::Geometry*, bool&)>
using FlaggedMeasureOp = GeoScalarOpWithState<FlaggedMeasureFunc<Measure>, double, GeometryCell>;
template <int (*Count)(const geos::geom::Geometry*)>
using CountOp = GeoScalarOp<CountFunc<Count>, std::int32_t, GeometryCell>;

const OpRegistration kOps[] = {
    opEntry<GeoScalarOpWithState<GeometryXYDistanceFunc, double, GeometryCell, double, double>>(2290),
    opEntry<GeoScalarOpWithState<AreaFunc, double, GeometryCell, std::int32_t>>(2330),
    opEntry<PairMeasureOp<&GU::azimuth>>(2331),
    opEntry<PairMeasureOp<&GU::distance>>(2332),
    opEntry<GeoScalarOpWithState<PointsDistanceFFunc, double, GeometryCell, GeometryCell, std::int32_t>>(
        2333),
    opEntry<ElementwiseOpWithState<DistancePointsDecimalFunc<Dec64>, Dec64, Dec64, Dec64, Dec64, Dec64,
                                   std::int32_t>>(2334),
    opEntry<ElementwiseOpWithState<DistancePointsDecimalFunc<Dec128>, Dec128, Dec128, Dec128, Dec128, Dec128,
                                   std::int32_t>>(2335),
    opEntry<ElementwiseOpWithState<PointsDistanceFloatFunc, float, float, float, float, float, std::int32_t>>(
        2336),
    opEntry<ElementwiseOpWithState<PointsDistanceFunc, double, double, double, double, double, std::int32_t>>(
        2337),
    opEntry<GeoScalarOp<MetricMeasureFunc<&GU::length>, double, GeometryCell, std::int32_t>>(2338),
    opEntry<PairMeasureOp<&GU::maxDistance>>(2339),
    opEntry<FlaggedMeasureOp<&GU::maxX>>(2340),
    opEntry<FlaggedMeasureOp<&GU::maxY>>(2341),
    opEntry<FlaggedMeasureOp<&GU::maxZ>>(2342),
    opEntry<FlaggedMeasureOp<&GU::minX>>(2343),
    opEntry<FlaggedMeasureOp<&GU::minY>>(2344),
    opEntry<FlaggedMeasureOp<&GU::minZ>>(2345),
    opEntry<GeoScalarOp<MetricMeasureFunc<&GU::perimeter>, double, GeometryCell, std::int32_t>>(2346),
    opEntry<FlaggedMeasureOp<&GU::getX>>(2347),
    opEntry<FlaggedMeasureOp<&GU::getY>>(2348),
    opEntry<GeoScalarOpWithState<XYDistanceFunc, double, double, double, GeometryCell, std::int32_t>>(2349),
    opEntry<GeoScalarOpWithState<XYDistanceFFunc, double, double, double, GeometryCell, std::int32_t>>(2350),
    opEntry<CountOp<&GU::coordDim>>(2351),
    opEntry<CountOp<&GU::dimension>>(2352),
    opEntry<CountOp<&GU::geometryTypeId>>(2353),
    opEntry<CountOp<&GU::nDims>>(2354),
    opEntry<CountOp<&GU::nPoints>>(2355),
    opEntry<CountOp<&GU::nRings>>(2356),
    opEntry<CountOp<&GU::numGeometries>>(2357),
    opEntry<GeoScalarOpWithState<FlaggedCountFunc<&GU::numInteriorRings>, std::int32_t, GeometryCell>>(2358),
    opEntry<GeoScalarOpWithState<FlaggedCountFunc<&GU::numPoints>, std::int32_t, GeometryCell>>(2359),
    opEntry<CountOp<&GU::zmFlag>>(2360),
    opEntry<GeoScalarOp<TextFunc<Char32, &GU::geometryType>, Char32, GeometryCell>>(2361),
    opEntry<GeoScalarOp<TextFunc<Char32, &GU::st_geometryType>, Char32, GeometryCell>>(2362),
    opEntry<GeoScalarOp<TextFunc<Char128, &GU::isValidReason>, Char128, GeometryCell>>(2363),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
