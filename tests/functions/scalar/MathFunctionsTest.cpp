// Floating-point library functions, PI, non-finite tests and replacements, the longest one-bit run and
// the planar and great-circle distances, through both evaluators. Every library result is compared bit
// for bit with the C library function of the operand's precision (expf for f32, exp for f64), over
// ordinary values, signed zeros, subnormals, infinities, NaN and domain errors.
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

template <class T>
std::vector<T> specialInputs() {
  using L = std::numeric_limits<T>;
  std::vector<T> v = {L::min(),      L::denorm_min(), L::max(),       -L::max(),
                      L::infinity(), -L::infinity(),  L::quiet_NaN(), T(1) + L::epsilon()};
  for (double d :
       {0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 2.0, 10.0, 0.75, -7.25, 100.5, 1e-30, 1e30, 88.7, -745.2, 710.5})
    v.push_back(T(d));
  return v;
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
  // Every input against a few partners on both sides, so that both operand positions see the specials.
  std::vector<Row<T, T, T>> rows;
  for (T x : specialInputs<T>())
    for (T y :
         {T(2), T(-0.5), T(0), std::numeric_limits<T>::infinity(), std::numeric_limits<T>::quiet_NaN()}) {
      rows.push_back({{x, y}, libm(x, y)});
      rows.push_back({{y, x}, libm(y, x)});
    }
  expectTable(code, rows);
}

TEST(MathFunctions, LibraryFunctionsMatchTheCLibraryInTheirPrecision) {
  // The f32 op at the code, the f64 op at the next one.
  const struct {
    int code;
    float (*f)(float);
    double (*d)(double);
  } unary[] = {{1287, ::expf, ::exp},     {1289, ::logf, ::log},     {1291, ::log10f, ::log10},
               {1293, ::log1pf, ::log1p}, {1295, ::log2f, ::log2},   {1301, ::sqrtf, ::sqrt},
               {1303, ::cbrtf, ::cbrt},   {1307, ::sinf, ::sin},     {1309, ::cosf, ::cos},
               {1311, ::tanf, ::tan},     {1315, ::asinf, ::asin},   {1317, ::acosf, ::acos},
               {1319, ::atanf, ::atan},   {1329, ::sinhf, ::sinh},   {1331, ::coshf, ::cosh},
               {1333, ::tanhf, ::tanh},   {1335, ::asinhf, ::asinh}, {1337, ::acoshf, ::acosh},
               {1339, ::atanhf, ::atanh}};
  for (const auto& u : unary) {
    expectUnary<float>(u.code, u.f);
    expectUnary<double>(u.code + 1, u.d);
  }
  // atan2 takes y first.
  const struct {
    int code;
    float (*f)(float, float);
    double (*d)(double, double);
  } binary[] = {{1305, ::powf, ::pow}, {1321, ::atan2f, ::atan2}, {1327, ::hypotf, ::hypot}};
  for (const auto& b : binary) {
    expectBinary<float>(b.code, b.f);
    expectBinary<double>(b.code + 1, b.d);
  }
}

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

TEST(MathFunctions, LdexpNextAfterAndNextDown) {
  std::vector<Row<float, float, int>> f32;
  std::vector<Row<double, double, int>> f64;
  for (int e :
       {1, -149, -150, 128, 1024, -1075, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()})
    for (float x : {-1.5f, -0.0f, 3e-39f, std::numeric_limits<float>::infinity(), NAN}) {
      f32.push_back({{x, e}, ::ldexpf(x, e)});
      f64.push_back({{double(x), e}, ::ldexp(double(x), e)});
    }
  expectTable(1297, f32);
  expectTable(1298, f64);
  // The f32 op narrows its f64 target first: 1 + 1e-12 rounds to 1.0f, so x == y and x comes back;
  // 1e300 narrows to +inf.
  const std::vector<Row<float, float, double>> next32 = {
      {{1.0f, 1.0 + 1e-12}, 1.0f},
      {{-0.0f, -1.0}, -std::numeric_limits<float>::denorm_min()},
      {{FLT_MAX, 1e300}, std::numeric_limits<float>::infinity()},
      {{1.0f, NAN}, NAN}};
  expectTable(1283, next32);
  std::vector<Row<double, double, double>> next64;
  for (double x : specialInputs<double>())
    for (double y : {-1.0, 1e300, std::numeric_limits<double>::quiet_NaN()})
      next64.push_back({{x, y}, ::nextafter(x, y)});
  expectTable(1284, next64);
  // Next down stops at the most negative finite value: -max stays, -inf moves up to -max.
  expectUnary<float>(1285, [](float x) { return ::nextafterf(x, -FLT_MAX); });
  expectUnary<double>(1286, [](double x) { return ::nextafter(x, -DBL_MAX); });
}

template <class T>
void expectNonFiniteOps(int isNan, int isInf, int ifNan, int ifInf, int ifNonFinite) {
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
  expectTable(isNan, nanRows);
  expectTable(isInf, infRows);
  expectTable(ifNan, ifNanRows);
  expectTable(ifInf, ifInfRows);
  expectTable(ifNonFinite, ifNonFiniteRows);
  // A NaN passed through keeps its payload, checked on the raw bits (the harness takes any NaN for any).
  const T payload = std::is_same_v<T, float> ? T(std::nanf("0x55")) : T(std::nan("0x55")),
          quiet = std::numeric_limits<T>::quiet_NaN();
  ASSERT_NE(std::memcmp(&payload, &quiet, sizeof(T)), 0);
  const HarnessResult r =
      HarnessCase(Program().column(Storage<T>::load, 0).constant(Storage<T>::constant, y).op(ifInf))
          .addColumn<T>({payload})
          .run();
  EXPECT_EQ(std::memcmp(r.values.data(), &payload, sizeof(T)), 0);
}

TEST(MathFunctions, NonFiniteTestsAndReplacements) {
  expectNonFiniteOps<float>(1273, 1275, 1277, 1279, 1281);
  expectNonFiniteOps<double>(1274, 1276, 1278, 1280, 1282);
}

TEST(MathFunctions, PiIsAConstantInBothPrecisions) {
  HarnessCase(Program().op(1299)).rows(7).expectRows<float>(std::vector<float>(7, std::numbers::pi_v<float>));
  // As an operand of a later op: hypot(PI, x).
  HarnessCase(Program().op(1300).column(kLoadF64, 0).op(1328))
      .addColumn<double>({0.0, -1e300})
      .expectRows<double>({std::numbers::pi, ::hypot(std::numbers::pi, -1e300)});
}

TEST(MathFunctions, LongestOneRun) {
  std::vector<Row<int, int>> i32;
  std::vector<Row<int, long>> i64;
  for (long v : {0L, -1L, 0b1011101110L, 0x0F0F00FFL, long(0xF000000000000001UL),
                 std::numeric_limits<long>::min(), 0x00FFFFFFFF000000L, 0x5555555555555555L}) {
    // The model scans the bits one at a time.
    auto longest = [](std::uint64_t bits, int width) {
      int best = 0, run = 0;
      for (int i = 0; i < width; ++i)
        best = std::max(best, run = (bits >> i) & 1 ? run + 1 : 0);
      return best;
    };
    i32.push_back({{int(v)}, longest(std::uint32_t(v), 32)});
    i64.push_back({{v}, longest(std::uint64_t(v), 64)});
  }
  expectTable(2182, i32);
  expectTable(2183, i64);
}

// Planar distances round each square separately (no hypot); the great circle is checked against a
// long-double haversine model, and out-of-range latitudes and longitudes fold.
constexpr long double kRadius = 6371008.771415L;

template <class T>
void expectPlanar(int code) {
  const T inf = std::numeric_limits<T>::infinity(), nan = std::numeric_limits<T>::quiet_NaN();
  const T big = std::is_same_v<T, float> ? T(1e20) : T(1e200);
  // The square of `big` overflows: not hypot, which would give `big`.
  std::vector<Row<T, T, T, T, T>> rows = {
      {{-1, -1, 2, 3}, 5}, {{0, 0, big, 0}, inf}, {{inf, 0, 0, 0}, inf}, {{nan, 0, 0, 0}, nan}};
  for (T a : {T(0.1), T(-7.3), T(123456.789)}) {
    const T dx = a * 3 - a, dy = a / 7 + a, dx2 = dx * dx, dy2 = dy * dy;
    rows.push_back({{a, -a, a * 3, a / 7}, std::sqrt(dx2 + dy2)});
  }
  expectTable(code, rows);
}

TEST(MathDistances, PlanarRoundsEachSquareAndTheSum) {
  expectPlanar<float>(1266);
  expectPlanar<double>(1267);
}

struct Points {
  double lon1, lat1, lon2, lat2;
};

// Runs the great-circle op over `points` (all columns) and returns the per-row results.
template <class T>
std::vector<T> sphere(const std::vector<Points>& points) {
  Program p;
  HarnessCase c(p);
  std::vector<T> cols[4];
  for (const Points& q : points) {
    const double coordinates[4] = {q.lon1, q.lat1, q.lon2, q.lat2};
    for (int k = 0; k < 4; ++k)
      cols[k].push_back(T(coordinates[k]));
  }
  for (int k = 0; k < 4; ++k) {
    p.column(Storage<T>::load, k);
    c.addColumn<T>(cols[k]);
  }
  p.op(std::is_same_v<T, float> ? 1269 : 1270);
  const HarnessResult r = c.run();
  std::vector<T> out;
  for (unsigned long i = 0; i < r.rows; ++i)
    out.push_back(r.value<T>(i));
  return out;
}

TEST(MathDistances, GreatCircleAgreesWithAHaversineModel) {
  const std::vector<Points> points = {
      {0, 0, 180, 0},
      {0, 90, 0, -90},
      {2.35, 48.86, -0.13, 51.51},
      {-74.006, 40.7128, 139.6917, 35.6895},
      {12.5, -33.9, 12.5, -33.9},
      {-179.5, 10, 179.5, 10}}; // antipodes, poles, cities, the same point, the antimeridian
  const std::vector<double> f64 = sphere<double>(points);
  const std::vector<float> f32 = sphere<float>(points);
  ASSERT_EQ(f64.size(), points.size());
  const long double k = std::numbers::pi_v<long double> / 180;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Points& q = points[i];
    const long double a = std::sin((q.lat1 - q.lat2) * k / 2), b = std::sin((q.lon1 - q.lon2) * k / 2);
    const long double h = a * a + std::cos(q.lat1 * k) * std::cos(q.lat2 * k) * b * b;
    const double model = double(2 * std::asin(std::sqrt(h)) * kRadius);
    SCOPED_TRACE(i);
    EXPECT_NEAR(f64[i], model, 1e-6);
    // Single precision: the coordinates and every step are rounded to float.
    EXPECT_NEAR(f32[i], model, 2.0 + 1e-6 * model);
  }
  EXPECT_EQ(f64[4], 0.0);
}

TEST(MathDistances, GreatCircleFoldsOutOfRangeCoordinates) {
  // Rows 2i and 2i + 1 must agree exactly: an out-of-range coordinate and its folded form. Latitudes
  // past a pole come back down (above 180: 180 - x; above 360: remainder(x, 360) first); longitudes wrap
  // to (-180, 180].
  const std::vector<Points> pairs = {{10, 91, 20, 5},   {10, 89, 20, 5},  {10, 200, 20, 5}, {10, -20, 20, 5},
                                     {10, -200, 20, 5}, {10, 20, 20, 5},  {10, 450, 20, 5}, {10, 90, 20, 5},
                                     {190, 30, 5, 5},   {-170, 30, 5, 5}, {-180, 30, 5, 5}, {180, 30, 5, 5},
                                     {-1000, 30, 5, 5}, {80, 30, 5, 5}};
  const std::vector<double> f64 = sphere<double>(pairs);
  const std::vector<float> f32 = sphere<float>(pairs);
  for (std::size_t i = 0; i + 1 < f64.size(); i += 2) {
    SCOPED_TRACE(i / 2);
    EXPECT_EQ(f64[i], f64[i + 1]);
    EXPECT_EQ(f32[i], f32[i + 1]);
    EXPECT_GT(f64[i], 0.0);
  }
}

} // namespace
