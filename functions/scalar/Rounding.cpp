// Math family: rounding of floats and integers, and the width bucket. Rounding is half away from zero
// throughout. The exact-decimal rounding ops are in DecimalRounding.cpp.

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace {

// 10^0 .. 10^19, the powers that fit an unsigned 64-bit value.
constexpr std::uint64_t kPow10[20] = {1ULL,
                                      10ULL,
                                      100ULL,
                                      1000ULL,
                                      10000ULL,
                                      100000ULL,
                                      1000000ULL,
                                      10000000ULL,
                                      100000000ULL,
                                      1000000000ULL,
                                      10000000000ULL,
                                      100000000000ULL,
                                      1000000000000ULL,
                                      10000000000000ULL,
                                      100000000000000ULL,
                                      1000000000000000ULL,
                                      10000000000000000ULL,
                                      100000000000000000ULL,
                                      1000000000000000000ULL,
                                      10000000000000000000ULL};

// A whole-valued double as a signed 64-bit integer. NaN and values outside the range give the minimum,
// the answer of the processor's own conversion, without the undefined behaviour of the plain cast.
inline long wholeToInt64(double f) {
  return f >= -0x1p63 && f < 0x1p63 ? static_cast<long>(f) : std::numeric_limits<long>::min();
}

// ceil / floor in the operand's precision (ceilf, floorf for f32), then to i64.
struct CeilToInt64Func {
  template <class T>
  long operator()(T x) const {
    return wholeToInt64(static_cast<double>(std::ceil(x)));
  }
};
struct FloorToInt64Func {
  template <class T>
  long operator()(T x) const {
    return wholeToInt64(static_cast<double>(std::floor(x)));
  }
};

// round(p * x) / p with p = 10^digits in double. The f32 form narrows p * x to f32 before roundf and
// divides the f32 result by the double p, each step rounded on its own.
template <bool Truncate>
struct FloatDigitsFunc {
  float operator()(float x, int digits) const {
    const double p = std::pow(10.0, digits);
    const float scaled = static_cast<float>(p * x);
    return static_cast<float>((Truncate ? std::trunc(scaled) : std::round(scaled)) / p);
  }
  double operator()(double x, int digits) const {
    const double p = std::pow(10.0, digits);
    const double scaled = p * x;
    return (Truncate ? std::trunc(scaled) : std::round(scaled)) / p;
  }
};

// An integer rounded (or truncated) to `digits` places: only a negative count changes it, clearing
// -digits low decimal places. Counts beyond the width's largest power of ten (9 digits for i32, 18 for
// i64, 19 for u64) give 0. Rounding up past the top of the width wraps.
template <bool Truncate>
struct IntDigitsFunc {
  template <class T>
  T operator()(T x, int digits) const {
    constexpr int kMaxDigits = sizeof(T) == 4 ? 9 : std::is_signed_v<T> ? 18 : 19;
    if (digits >= 0)
      return x;
    if (digits < -kMaxDigits)
      return T(0);
    const T f = static_cast<T>(kPow10[-digits]);
    T q = x / f;
    if constexpr (!Truncate) {
      const T r = static_cast<T>(x % f);
      const T half = static_cast<T>(f / 2);
      if (r >= half)
        ++q;
      else if constexpr (std::is_signed_v<T>) {
        if (r <= -half)
          --q;
      }
    }
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(q) * static_cast<U>(f));
  }
};

// The bucket of x among `count` equal buckets over [low, high): 0 below, count + 1 above.
// b = floor((x - low) * count / (high - low) + 1.0), each step rounded on its own. b is compared in
// double, so no conversion overflows: NaN counts as below (0), and b beyond count + 1 (infinities
// included) as above. A count below 0 makes count + 1 the answer for every b >= 0.
struct WidthBucketFunc {
  int operator()(double x, double low, double high, int count) const {
    const double b = std::floor((x - low) * count / (high - low) + 1.0);
    const long top = static_cast<long>(count) + 1;
    if (!(b >= 0.0))
      return 0;
    if (b >= static_cast<double>(top))
      return static_cast<int>(top);
    return static_cast<int>(b);
  }
};

template <class F, class T>
using Digits = ElementwiseOp<F, T, T, int>;
using U64 = unsigned long;

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<CeilToInt64Func, long, float>>(1344),                      // CEIL_F32
    opEntry<ElementwiseOp<CeilToInt64Func, long, double>>(1345),                     // CEIL_F64
    opEntry<ElementwiseOp<FloorToInt64Func, long, float>>(1353),                     // FLOOR_F32
    opEntry<ElementwiseOp<FloorToInt64Func, long, double>>(1354),                    // FLOOR_F64
    opEntry<Digits<IntDigitsFunc<false>, int>>(1359),                                // ROUND_I32
    opEntry<Digits<FloatDigitsFunc<false>, float>>(1360),                            // ROUND_F32
    opEntry<Digits<FloatDigitsFunc<false>, double>>(1361),                           // ROUND_F64
    opEntry<Digits<IntDigitsFunc<false>, long>>(1364),                               // ROUND_I64
    opEntry<Digits<IntDigitsFunc<false>, U64>>(1365),                                // ROUND_U64
    opEntry<Digits<IntDigitsFunc<true>, int>>(1368),                                 // TRUNC_I32
    opEntry<Digits<FloatDigitsFunc<true>, float>>(1369),                             // TRUNC_F32
    opEntry<Digits<FloatDigitsFunc<true>, double>>(1370),                            // TRUNC_F64
    opEntry<Digits<IntDigitsFunc<true>, long>>(1373),                                // TRUNC_I64
    opEntry<Digits<IntDigitsFunc<true>, U64>>(1374),                                 // TRUNC_U64
    opEntry<ElementwiseOp<WidthBucketFunc, int, double, double, double, int>>(1375), // WIDTH_BUCKET_F64
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
