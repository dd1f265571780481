// Floating-point library functions, PI, non-finite tests and replacements and the longest one-bit run,
// through both evaluators. Every float result is compared bit for bit with the C library function of
// the operand's precision (expf for f32, exp for f64), over ordinary values, signed zeros, subnormals,
// infinities, NaN and domain errors.
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

} // namespace
