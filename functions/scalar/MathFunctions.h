#pragma once
// Row kernels of the floating-point functions, the non-finite tests and replacements, the planar and
// great-circle distances and the longest run of one bits.
//
// Every float functor has one overload per precision: the f32 op calls the single-precision library
// function (expf, ...), the f64 op the double one, so that an f32 result is what the C library gives
// in single precision, not a narrowed double. Domain errors give what the library gives (NaN or an
// infinity) and never a row code. Products and sums are rounded one by one (the build forbids
// contraction), so the kernels reproduce a plain step-by-step evaluation bit for bit.

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace vela::cuda {

// One functor per library function: `Name` calls `fn##f` on floats and `fn` on doubles.
#define VELA_MATH_UNARY(Name, fn)                                                                            \
  struct Name {                                                                                              \
    float operator()(float x) const { return ::fn##f(x); }                                                   \
    double operator()(double x) const { return ::fn(x); }                                                    \
  };
#define VELA_MATH_BINARY(Name, fn)                                                                           \
  struct Name {                                                                                              \
    float operator()(float x, float y) const { return ::fn##f(x, y); }                                       \
    double operator()(double x, double y) const { return ::fn(x, y); }                                       \
  };

VELA_MATH_UNARY(ExpFunc, exp)
VELA_MATH_UNARY(LnFunc, log)
VELA_MATH_UNARY(Log10Func, log10)
VELA_MATH_UNARY(Log1pFunc, log1p)
VELA_MATH_UNARY(Log2Func, log2)
VELA_MATH_UNARY(SqrtFunc, sqrt)
VELA_MATH_UNARY(CbrtFunc, cbrt)
VELA_MATH_UNARY(SinFunc, sin)
VELA_MATH_UNARY(CosFunc, cos)
VELA_MATH_UNARY(TanFunc, tan)
VELA_MATH_UNARY(AsinFunc, asin)
VELA_MATH_UNARY(AcosFunc, acos)
VELA_MATH_UNARY(AtanFunc, atan)
VELA_MATH_UNARY(SinhFunc, sinh)
VELA_MATH_UNARY(CoshFunc, cosh)
VELA_MATH_UNARY(TanhFunc, tanh)
VELA_MATH_UNARY(AsinhFunc, asinh)
VELA_MATH_UNARY(AcoshFunc, acosh)
VELA_MATH_UNARY(AtanhFunc, atanh)
VELA_MATH_BINARY(PowFunc, pow)
VELA_MATH_BINARY(Atan2Func, atan2) // first operand y
VELA_MATH_BINARY(HypotFunc, hypot)

#undef VELA_MATH_UNARY
#undef VELA_MATH_BINARY

/// x * 2^e.
struct LdexpFunc {
  float operator()(float x, int e) const { return ::ldexpf(x, e); }
  double operator()(double x, int e) const { return ::ldexp(x, e); }
};

/// Cotangent as the reciprocal of the library tangent (so cot(0) is +inf, not a pole error).
struct CotFunc {
  float operator()(float x) const { return 1.0f / ::tanf(x); }
  double operator()(double x) const { return 1.0 / ::tan(x); }
};

/// Degrees and radians: one multiplication by the conversion factor rounded to the operand's precision.
struct DegreesFunc {
  template <class T>
  T operator()(T x) const {
    return x * static_cast<T>(57.29577951308232);
  }
};
struct RadiansFunc {
  template <class T>
  T operator()(T x) const {
    return x * static_cast<T>(0.017453292519943295);
  }
};

/// The next representable value after x toward y. The f32 op receives y as a double and narrows it
/// first, so a y between x and its neighbour but not representable in single precision may round onto x.
struct NextAfterFunc {
  float operator()(float x, double y) const { return ::nextafterf(x, static_cast<float>(y)); }
  double operator()(double x, double y) const { return ::nextafter(x, y); }
};

/// The next representable value toward minus infinity, stopping at the most negative finite value
/// (so -max stays -max and -inf moves up to -max).
struct NextDownFunc {
  float operator()(float x) const { return ::nextafterf(x, -FLT_MAX); }
  double operator()(double x) const { return ::nextafter(x, -DBL_MAX); }
};

/// Non-finite tests, as one byte 0/1. "Infinite" is |x| above the largest finite value, which leaves
/// NaN out (every comparison with NaN is false).
struct IsNanFunc {
  template <class T>
  std::uint8_t operator()(T x) const {
    return x != x;
  }
};
struct IsInfFunc {
  template <class T>
  std::uint8_t operator()(T x) const {
    return std::fabs(x) > std::numeric_limits<T>::max();
  }
};

/// Replacements: y where x is NaN / infinite / either, else x itself (bit for bit, so -0.0 and NaN
/// payloads survive).
struct IfNanFunc {
  template <class T>
  T operator()(T x, T y) const {
    return x != x ? y : x;
  }
};
struct IfInfFunc {
  template <class T>
  T operator()(T x, T y) const {
    return std::fabs(x) > std::numeric_limits<T>::max() ? y : x;
  }
};
struct IfNonFiniteFunc {
  template <class T>
  T operator()(T x, T y) const {
    return std::fabs(x) <= std::numeric_limits<T>::max() ? x : y;
  }
};

/// Euclidean distance of (x1, y1) and (x2, y2); each square and the sum rounded on its own, not hypot.
struct PlanarDistanceFunc {
  template <class T>
  T operator()(T x1, T y1, T x2, T y2) const {
    const T dx = x2 - x1;
    const T dy = y2 - y1;
    return std::sqrt(dx * dx + dy * dy);
  }
};

/// Great-circle distance in metres between two (longitude, latitude) points in degrees, on the sphere of
/// the mean earth radius, computed entirely in the operand's precision (the f32 op calls the
/// single-precision library functions). Out-of-range coordinates are folded back first: a latitude past
/// a pole comes back down the other side, a longitude wraps around to (-180, 180].
struct GreatCircleDistanceFunc {
  template <class T>
  static T normalLatitude(T lat) {
    if (lat > T(360))
      lat = std::remainder(lat, T(360));
    else if (lat < T(-360))
      lat = std::remainder(lat, T(-360));
    if (lat > T(180))
      lat = T(180) - lat;
    else if (lat < T(-180))
      lat = T(-180) - lat;
    if (lat > T(90))
      lat = T(180) - lat;
    else if (lat < T(-90))
      lat = T(-180) - lat;
    return lat;
  }
  template <class T>
  static T normalLongitude(T lon) {
    if (lon > T(360))
      lon = std::remainder(lon, T(360));
    else if (lon < T(-360))
      lon = std::remainder(lon, T(-360));
    if (lon > T(180))
      lon -= T(360);
    else if (lon < T(-180))
      lon += T(360);
    if (lon == T(-180))
      lon = T(180);
    return lon;
  }

  template <class T>
  T operator()(T lon1, T lat1, T lon2, T lat2) const {
    constexpr T k = static_cast<T>(0.017453292519943295); // radians per degree
    constexpr T radius = static_cast<T>(6371008.771415);  // mean earth radius, metres
    lat1 = normalLatitude(lat1);
    lat2 = normalLatitude(lat2);
    lon1 = normalLongitude(lon1);
    lon2 = normalLongitude(lon2);
    const T sinHalfDlon = std::sin((lon1 - lon2) * k / T(2));
    const T sinHalfDlat = std::sin((lat1 - lat2) * k / T(2));
    const T h =
        std::cos(lat1 * k) * std::cos(lat2 * k) * (sinHalfDlon * sinHalfDlon) + sinHalfDlat * sinHalfDlat;
    return T(2) * std::asin(std::sqrt(h)) * radius;
  }
};

/// Length of the longest run of consecutive one bits: each x &= x << 1 shortens every run by one, so
/// the number of steps until x is 0 is the longest run.
struct LongestOneRunFunc {
  template <class T>
  int operator()(T x) const {
    auto bits = static_cast<std::make_unsigned_t<T>>(x);
    int steps = 0;
    while (bits != 0) {
      bits &= static_cast<decltype(bits)>(bits << 1);
      ++steps;
    }
    return steps;
  }
};

} // namespace vela::cuda
