// Planar and great-circle distances through both evaluators: separate rounding of the planar squares
// (no hypot), the great-circle distance against a long-double model and the folding of out-of-range
// latitudes and longitudes.
#include <cmath>
#include <limits>
#include <numbers>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

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
