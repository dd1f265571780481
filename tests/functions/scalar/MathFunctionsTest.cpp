// Floating-point library functions, PI, non-finite tests and replacements and the longest one-bit run,
// through both evaluators. Every float result is compared bit for bit with the C library function of
// the operand's precision (expf for f32, exp for f64), over ordinary values, signed zeros, subnormals,
// infinities, NaN and domain errors.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/functions/scalar/ArithmeticTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::math;

namespace {

template <class T>
std::vector<T> specialInputs() {
  using L = std::numeric_limits<T>;
  return {T(0),
          -T(0),
          T(1),
          T(-1),
          T(0.5),
          T(-0.5),
          T(2),
          T(10),
          T(0.75),
          T(-0.75),
          T(3.14159265),
          T(-7.25),
          T(100.5),
          T(1e-30),
          T(1e30),
          L::min(),
          L::denorm_min(),
          L::max(),
          -L::max(),
          L::infinity(),
          -L::infinity(),
          L::quiet_NaN(),
          T(1) + L::epsilon(),
          T(88.7),
          T(-745.2),
          T(710.5)};
}

template <class T, class Fn>
void expectUnary(int code, Fn libm) {
  std::vector<Row<T, T>> rows;
  for (T x : specialInputs<T>())
    rows.push_back({{x}, libm(x)});
  expectTable(code, rows);
}

template <class T, class Fn>
void expectBinary(int code, Fn libm) {
  const std::vector<T> xs = specialInputs<T>();
  std::vector<Row<T, T, T>> rows;
  // Every input against a few partners on both sides, so that both operand positions see the specials.
  for (T x : xs)
    for (T y :
         {T(2), T(-0.5), T(0), std::numeric_limits<T>::infinity(), std::numeric_limits<T>::quiet_NaN()}) {
      rows.push_back({{x, y}, libm(x, y)});
      rows.push_back({{y, x}, libm(y, x)});
    }
  expectTable(code, rows);
}

#define UNARY(code, fn)                                                                                      \
  {                                                                                                          \
    SCOPED_TRACE(#fn);                                                                                       \
    expectUnary<float>(code, [](float x) { return ::fn##f(x); });                                            \
    expectUnary<double>(code + 1, [](double x) { return ::fn(x); });                                         \
  }

TEST(MathFunctions, UnaryLibraryFunctionsMatchTheCLibraryInTheirPrecision){
    UNARY(1287, exp) UNARY(1289, log) UNARY(1291, log10) UNARY(1293, log1p) UNARY(1295, log2)
        UNARY(1301, sqrt) UNARY(1303, cbrt) UNARY(1307, sin) UNARY(1309, cos) UNARY(1311, tan)
            UNARY(1315, asin) UNARY(1317, acos) UNARY(1319, atan) UNARY(1329, sinh) UNARY(1331, cosh)
                UNARY(1333, tanh) UNARY(1335, asinh) UNARY(1337, acosh) UNARY(1339, atanh)}

#define BINARY(code, fn)                                                                                     \
  {                                                                                                          \
    SCOPED_TRACE(#fn);                                                                                       \
    expectBinary<float>(code, [](float x, float y) { return ::fn##f(x, y); });                               \
    expectBinary<double>(code + 1, [](double x, double y) { return ::fn(x, y); });                           \
  }

TEST(MathFunctions, BinaryLibraryFunctionsMatchTheCLibraryInTheirPrecision){
    BINARY(1305, pow) BINARY(1321, atan2) // first operand y
    BINARY(1327, hypot)}

TEST(MathFunctions, CotangentDegreesAndRadiansRoundInTheOperandPrecision) {
  expectUnary<float>(1313, [](float x) { return 1.0f / ::tanf(x); });
  expectUnary<double>(1314, [](double x) { return 1.0 / ::tan(x); });
  expectUnary<float>(1323, [](float x) { return x * 57.29577951308232f; });
  expectUnary<double>(1324, [](double x) { return x * 57.29577951308232; });
  expectUnary<float>(1325, [](float x) { return x * 0.017453292519943295f; });
  expectUnary<double>(1326, [](double x) { return x * 0.017453292519943295; });
  // The single-precision op multiplies by the factor rounded to float: for some inputs that differs from
  // narrowing the double product, which a double computation would give.
  bool differs = false;
  for (float x : specialInputs<float>())
    differs |=
        std::isfinite(x) && x * 57.29577951308232f != static_cast<float>(double(x) * 57.29577951308232);
  EXPECT_TRUE(differs) << "the inputs should tell float from double arithmetic";
}

TEST(MathFunctions, LdexpTakesAnI32Exponent) {
  std::vector<Row<float, float, int>> f32;
  std::vector<Row<double, double, int>> f64;
  for (int e : {0, 1, -1, 10, -149, -150, 127, 128, 1023, 1024, -1074, -1075, std::numeric_limits<int>::max(),
                std::numeric_limits<int>::min()})
    for (float x : {1.0f, -1.5f, 0.0f, -0.0f, 3e-39f, std::numeric_limits<float>::infinity(), NAN}) {
      f32.push_back({{x, e}, ::ldexpf(x, e)});
      f64.push_back({{double(x), e}, ::ldexp(double(x), e)});
    }
  expectTable(1297, f32);
  expectTable(1298, f64);
}

TEST(MathFunctions, NextAfterNarrowsTheF32TargetFirst) {
  const double justAboveOne = 1.0 + 1e-12; // rounds to 1.0f: x == y, so x itself
  std::vector<Row<float, float, double>> f32 = {
      {{1.0f, justAboveOne}, 1.0f},
      {{1.0f, 2.0}, ::nextafterf(1.0f, 2.0f)},
      {{1.0f, -2.0}, ::nextafterf(1.0f, -2.0f)},
      {{0.0f, 1.0}, std::numeric_limits<float>::denorm_min()},
      {{-0.0f, -1.0}, -std::numeric_limits<float>::denorm_min()},
      {{FLT_MAX, 1e300}, std::numeric_limits<float>::infinity()}, // 1e300 narrows to +inf
      {{NAN, 1.0}, NAN},
      {{1.0f, NAN}, NAN},
  };
  ASSERT_NE(f32[0].out, ::nextafterf(1.0f, std::nextafter(1.0f, 2.0f))) << "the narrowing case must matter";
  expectTable(1283, f32);

  std::vector<Row<double, double, double>> f64;
  for (double x : specialInputs<double>())
    for (double y : {0.0, -1.0, 1e300, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
      f64.push_back({{x, y}, ::nextafter(x, y)});
  expectTable(1284, f64);
}

TEST(MathFunctions, NextDownStopsAtTheMostNegativeFiniteValue) {
  expectUnary<float>(1285, [](float x) { return ::nextafterf(x, -FLT_MAX); });
  expectUnary<double>(1286, [](double x) { return ::nextafter(x, -DBL_MAX); });
  // The edges, stated on their own: -max stays, -inf moves up to -max, +0 and -0 go to -denorm_min.
  expectTable(1286, std::vector<Row<double, double>>{
                        {{-DBL_MAX}, -DBL_MAX},
                        {{-std::numeric_limits<double>::infinity()}, -DBL_MAX},
                        {{0.0}, -std::numeric_limits<double>::denorm_min()},
                        {{-0.0}, -std::numeric_limits<double>::denorm_min()},
                    });
}

template <class T>
void expectNonFiniteOps(int isNan, int isInf, int ifNan, int ifInf, int ifNonFinite) {
  using L = std::numeric_limits<T>;
  T nanPayload;
  if constexpr (std::is_same_v<T, float>)
    nanPayload = std::nanf("0x55");
  else
    nanPayload = std::nan("0x55");
  std::vector<Row<std::uint8_t, T>> nanRows, infRows;
  std::vector<Row<T, T, T>> ifNanRows, ifInfRows, ifNonFiniteRows;
  const T y = T(-42.5);
  for (T x : specialInputs<T>()) {
    const bool nan = std::isnan(x), inf = std::isinf(x);
    nanRows.push_back({{x}, std::uint8_t(nan)});
    infRows.push_back({{x}, std::uint8_t(inf)});
    ifNanRows.push_back({{x, y}, nan ? y : x});
    ifInfRows.push_back({{x, y}, inf ? y : x});
    ifNonFiniteRows.push_back({{x, y}, nan || inf ? y : x});
  }
  // The largest finite values are finite; a NaN keeps its payload and -0.0 its sign when passed through.
  infRows.push_back({{L::max()}, 0});
  infRows.push_back({{-L::max()}, 0});
  ifNanRows.push_back({{-T(0), y}, -T(0)});
  ifNonFiniteRows.push_back({{-L::max(), y}, -L::max()});
  expectTable(isNan, nanRows);
  expectTable(isInf, infRows);
  expectTable(ifNan, ifNanRows);
  expectTable(ifInf, ifInfRows);
  expectTable(ifNonFinite, ifNonFiniteRows);

  // Payload survival, checked on the raw bits (the harness treats every NaN as equal).
  const T quiet = L::quiet_NaN();
  ASSERT_NE(std::memcmp(&nanPayload, &quiet, sizeof(T)), 0);
  Program p;
  p.column(Storage<T>::load, 0).constant(Storage<T>::constant, y).op(ifInf);
  HarnessCase c(p);
  c.addColumn<T>({nanPayload});
  const HarnessResult r = c.run();
  EXPECT_EQ(std::memcmp(r.values.data(), &nanPayload, sizeof(T)), 0);
}

TEST(MathFunctions, NonFiniteTestsAndReplacements) {
  expectNonFiniteOps<float>(1273, 1275, 1277, 1279, 1281);
  expectNonFiniteOps<double>(1274, 1276, 1278, 1280, 1282);
}

TEST(MathFunctions, PiIsAConstantInBothPrecisions) {
  for (int rows : {1, 7, 300}) {
    Program f32, f64;
    f32.op(1299);
    f64.op(1300);
    HarnessCase c32(f32), c64(f64);
    c32.rows(static_cast<unsigned long>(rows)).expectRows<float>(std::vector<float>(rows, 3.1415927f));
    c64.rows(static_cast<unsigned long>(rows))
        .expectRows<double>(std::vector<double>(rows, 3.141592653589793));
  }
  EXPECT_EQ(3.1415927f, static_cast<float>(std::numbers::pi));
  // As an operand of a later op: hypot(PI, x).
  Program p;
  p.op(1300).column(Storage<double>::load, 0).op(1328);
  HarnessCase c(p);
  c.addColumn<double>({0.0, 4.0, -1e300});
  c.expectRows<double>(
      {::hypot(std::numbers::pi, 0.0), ::hypot(std::numbers::pi, 4.0), ::hypot(std::numbers::pi, -1e300)});
}

// Longest run of ones, by scanning the bits one at a time.
int longestRunModel(std::uint64_t bits, int width) {
  int best = 0, run = 0;
  for (int i = 0; i < width; ++i) {
    run = (bits >> i) & 1 ? run + 1 : 0;
    best = run > best ? run : best;
  }
  return best;
}

TEST(MathFunctions, LongestOneRun) {
  std::vector<Row<int, int>> i32;
  std::vector<Row<int, long>> i64;
  const std::vector<long> values = {0,
                                    1,
                                    -1,
                                    0b1011101110,
                                    0x7FFFFFFF,
                                    std::numeric_limits<int>::min(),
                                    0x0F0F00FF,
                                    static_cast<long>(0xF000000000000001UL),
                                    std::numeric_limits<long>::min(),
                                    std::numeric_limits<long>::max(),
                                    0x00FFFFFFFF000000L,
                                    0x5555555555555555L};
  for (long v : values) {
    const int low = static_cast<int>(v);
    i32.push_back({{low}, longestRunModel(static_cast<std::uint32_t>(low), 32)});
    i64.push_back({{v}, longestRunModel(static_cast<std::uint64_t>(v), 64)});
  }
  ASSERT_EQ(i32[2].out, 32);
  ASSERT_EQ(i64[2].out, 64);
  expectTable(2182, i32);
  expectTable(2183, i64);
}

} // namespace
