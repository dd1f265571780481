// Planar and great-circle distances through both evaluators: separate rounding of the planar squares
// (no hypot), the great-circle distance against a long-double model and the folding of out-of-range
// latitudes and longitudes.
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "tests/functions/scalar/ArithmeticTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::math;

namespace {

constexpr int kPlanarF32 = 1266, kPlanarF64 = 1267, kSphereF32 = 1269, kSphereF64 = 1270;
constexpr long double kRadius = 6371008.771415L;

template <class T>
using R4 = Row<T, T, T, T, T>;

template <class T>
T planar(T x1, T y1, T x2, T y2) {
  const T dx = x2 - x1, dy = y2 - y1;
  const T dx2 = dx * dx, dy2 = dy * dy;
  return std::sqrt(dx2 + dy2);
}

template <class T>
void expectPlanar(int code) {
  const T inf = std::numeric_limits<T>::infinity(), nan = std::numeric_limits<T>::quiet_NaN();
  const T big = std::is_same_v<T, float> ? T(1e20) : T(1e200);
  std::vector<R4<T>> rows = {
      {{0, 0, 3, 4}, 5},      {{-1, -1, 2, 3}, 5},   {{1.5, -2.25, 1.5, -2.25}, 0},
      {{0, 0, big, 0}, inf}, // the square overflows: not hypot, which would give `big`
      {{0, 0, 0, -big}, inf}, {{inf, 0, 0, 0}, inf}, {{nan, 0, 0, 0}, nan},
  };
  for (T a : {T(0.1), T(-7.3), T(1e-3), T(123456.789)})
    rows.push_back({{a, -a, a * 3, a / 7}, planar<T>(a, -a, a * 3, a / 7)});
  ASSERT_NE(planar<T>(0, 0, big, 0), std::hypot(big, T(0)));
  expectTable(code, rows);
}

TEST(MathDistances, PlanarRoundsEachSquareAndTheSum) {
  expectPlanar<float>(kPlanarF32);
  expectPlanar<double>(kPlanarF64);
}

// Haversine in long double over already-normal coordinates: an independent model of the f64 op.
long double haversineModel(long double lon1, long double lat1, long double lon2, long double lat2) {
  const long double k = std::numbers::pi_v<long double> / 180;
  const long double a = std::sin((lat1 - lat2) * k / 2), b = std::sin((lon1 - lon2) * k / 2);
  const long double h = a * a + std::cos(lat1 * k) * std::cos(lat2 * k) * b * b;
  return 2 * std::asin(std::sqrt(h)) * kRadius;
}

struct Points {
  double lon1, lat1, lon2, lat2;
};

// Runs the great-circle op over `points` (all columns) and returns the per-row results.
template <class T>
std::vector<T> sphere(const std::vector<Points>& points) {
  Program p;
  for (int k = 0; k < 4; ++k)
    p.column(Storage<T>::load, k);
  p.op(std::is_same_v<T, float> ? kSphereF32 : kSphereF64);
  HarnessCase c(p);
  std::vector<T> cols[4];
  for (const Points& q : points) {
    cols[0].push_back(T(q.lon1));
    cols[1].push_back(T(q.lat1));
    cols[2].push_back(T(q.lon2));
    cols[3].push_back(T(q.lat2));
  }
  for (auto& col : cols)
    c.addColumn<T>(col);
  const HarnessResult r = c.run();
  std::vector<T> out;
  for (unsigned long i = 0; i < r.rows; ++i)
    out.push_back(r.value<T>(i));
  return out;
}

TEST(MathDistances, GreatCircleAgreesWithAHaversineModel) {
  const std::vector<Points> points = {
      {0, 0, 1, 0},    // one degree of the equator
      {0, 0, 0, 1},    // one degree of a meridian
      {0, 0, 180, 0},  // antipodes: half the circumference
      {0, 90, 0, -90}, // pole to pole
      {2.35, 48.86, -0.13, 51.51},
      {-74.006, 40.7128, 139.6917, 35.6895},
      {12.5, -33.9, 12.5, -33.9},
      {-179.5, 10, 179.5, 10}, // across the antimeridian: one degree
  };
  const std::vector<double> f64 = sphere<double>(points);
  const std::vector<float> f32 = sphere<float>(points);
  ASSERT_EQ(f64.size(), points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Points& q = points[i];
    const long double model = haversineModel(q.lon1, q.lat1, q.lon2, q.lat2);
    SCOPED_TRACE(i);
    EXPECT_NEAR(f64[i], double(model), 1e-6);
    // Single precision: the coordinates and every step are rounded to float.
    EXPECT_NEAR(f32[i], double(model), 2.0 + 1e-6 * double(model));
  }
  EXPECT_NEAR(f64[2], std::numbers::pi * double(kRadius), 1e-6);
  EXPECT_EQ(f64[6], 0.0);
}

// Rows [2i] and [2i+1] must agree exactly: an out-of-range coordinate and its folded form.
template <class T>
void expectFoldedPairs(const std::vector<Points>& pairs) {
  const std::vector<T> d = sphere<T>(pairs);
  for (std::size_t i = 0; i + 1 < d.size(); i += 2) {
    SCOPED_TRACE(i / 2);
    EXPECT_EQ(d[i], d[i + 1]);
    EXPECT_GT(d[i], T(0));
  }
}

TEST(MathDistances, GreatCircleFoldsOutOfRangeCoordinates) {
  const std::vector<Points> pairs = {
      // Latitudes past a pole come back down; the longitude is not turned around.
      {10, 91, 20, 5},
      {10, 89, 20, 5}, //
      {10, -95, 20, 5},
      {10, -85, 20, 5}, //
      {10, 200, 20, 5},
      {10, -20, 20, 5}, // above 180: 180 - x
      {10, -200, 20, 5},
      {10, 20, 20, 5}, // below -180: -180 - x
      {10, 450, 20, 5},
      {10, 90, 20, 5}, // above 360: remainder(x, 360) first
      {10, -400, 20, 5},
      {10, -40, 20, 5}, //
      // Longitudes wrap around to (-180, 180].
      {190, 30, 5, 5},
      {-170, 30, 5, 5}, //
      {-190, 30, 5, 5},
      {170, 30, 5, 5}, //
      {-180, 30, 5, 5},
      {180, 30, 5, 5}, //
      {725, 30, 5, 5},
      {5, 30, 5, 5}, // remainder(725, 360) = 5
      {-1000, 30, 5, 5},
      {80, 30, 5, 5}, // remainder(-1000, -360) = 80
  };
  expectFoldedPairs<double>(pairs);
  expectFoldedPairs<float>(pairs);
}

} // namespace
