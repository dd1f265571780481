// The point-in-ring op over list constants, in single and double precision, through both evaluators:
// inside and outside points of convex and concave rings, points on vertices and on horizontal, vertical
// and slanted edges (answered by the last operand), rays through vertices, NaN coordinates, closed
// rings that repeat their first vertex, and degenerate lists.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/functions/scalar/ArithmeticTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::math;

namespace {

constexpr int kRingF32 = 1271, kRingF64 = 1272, kListF32 = 77, kListF64 = 78;

struct Probe {
  double x, y;
  int expected; // 0 outside, 1 inside, 2 on the ring (the answer is the last operand)
};

template <class T>
void expectRing(const std::vector<double>& ringX, const std::vector<double>& ringY,
                const std::vector<Probe>& probes) {
  const int op = std::is_same_v<T, float> ? kRingF32 : kRingF64;
  const int list = std::is_same_v<T, float> ? kListF32 : kListF64;
  const std::vector<T> xs(ringX.begin(), ringX.end()), ys(ringY.begin(), ringY.end());
  for (std::uint8_t onRing : {0, 1}) {
    // Points as columns, the answer on the ring as a constant; then each probe with constant points and
    // a column answer.
    Program p;
    p.column(Storage<T>::load, 0).column(Storage<T>::load, 1).list(list, xs).list(list, ys);
    p.constant(Storage<std::uint8_t>::constant, onRing).op(op);
    HarnessCase c(p);
    std::vector<T> px, py;
    std::vector<std::uint8_t> want;
    for (const Probe& q : probes) {
      px.push_back(T(q.x));
      py.push_back(T(q.y));
      want.push_back(q.expected == 2 ? onRing : std::uint8_t(q.expected));
    }
    c.addColumn<T>(px).template addColumn<T>(py);
    SCOPED_TRACE(testing::Message() << "on-ring answer " << int(onRing));
    c.expectRows<std::uint8_t>(want);

    for (std::size_t i = 0; i < probes.size(); ++i) {
      Program q;
      q.constant(Storage<T>::constant, px[i])
          .constant(Storage<T>::constant, py[i])
          .list(list, xs)
          .list(list, ys);
      q.column(Storage<std::uint8_t>::load, 0).op(op);
      HarnessCase one(q);
      one.addColumn<std::uint8_t>({onRing}).rows(1).rowCounts({63, 65});
      SCOPED_TRACE(testing::Message() << "probe " << i);
      one.expectRows<std::uint8_t>({want[i]});
    }
  }
}

template <class T>
void squareAndConcaveRings() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // The square (0,0) (10,0) (10,10) (0,10), its first vertex not repeated.
  expectRing<T>({0, 10, 10, 0}, {0, 0, 10, 10},
                {
                    {5, 5, 1},
                    {0.5, 9.5, 1},
                    {-1, 5, 0},
                    {11, 5, 0},
                    {5, -0.001, 0},
                    {5, 10.5, 0},
                    {0, 0, 2},
                    {10, 10, 2},
                    {5, 0, 2},
                    {5, 10, 2},
                    {0, 5, 2},
                    {10, 3, 2},
                    {-5, 0, 0},
                    {15, 10, 0},
                    {-5, 10, 0}, // on the lines of horizontal edges, outside them
                    {nan, 5, 0},
                    {5, nan, 0},
                });
  // A "U": the notch between x = 3 and x = 7 above y = 2 is outside; rays from points in the arms cross
  // the notch's vertices.
  expectRing<T>({0, 10, 10, 7, 7, 3, 3, 0}, {0, 0, 10, 10, 2, 2, 10, 10},
                {
                    {5, 5, 0},
                    {5, 1, 1},
                    {1.5, 8, 1},
                    {8.5, 8, 1},
                    {5, 2, 2},
                    {7, 6, 2},
                    {3, 10, 2},
                    {8, 2, 1},
                    {2, 2, 1},
                    {11, 2, 0},
                    {-1, 2, 0},
                    {5, 10, 0},
                });
  // A triangle with a slanted edge from (0,0) to (8,4): points on it are on the ring.
  expectRing<T>({0, 8, 0}, {0, 4, 4}, {{4, 2, 2}, {2, 1, 2}, {4, 2.5, 1}, {4, 1.5, 0}, {1, 3, 1}, {9, 4, 0}});
  // The square closed by repeating its first vertex: the zero-length closing edge changes nothing.
  expectRing<T>({0, 10, 10, 0, 0}, {0, 0, 10, 10, 0},
                {{5, 5, 1}, {0, 0, 2}, {-1, 0, 0}, {5, 0, 2}, {11, 5, 0}});
}

TEST(PointInRing, SinglePrecision) {
  squareAndConcaveRings<float>();
}

TEST(PointInRing, DoublePrecision) {
  squareAndConcaveRings<double>();
}

TEST(PointInRing, DegenerateLists) {
  // No vertex: never inside, even with the on-ring answer 1. One vertex: only the vertex itself.
  expectRing<double>({}, {}, {{0, 0, 0}, {1, 1, 0}});
  expectRing<double>({2}, {3}, {{2, 3, 2}, {2, 3.5, 0}, {0, 0, 0}});
  // A y list shorter than the x list reads only the vertices both hold (here a triangle).
  Program p;
  const std::vector<double> xs = {0, 8, 0, 100}, ys = {0, 4, 4};
  p.column(Storage<double>::load, 0).column(Storage<double>::load, 1).list(kListF64, xs).list(kListF64, ys);
  p.constant(Storage<std::uint8_t>::constant, std::uint8_t(1)).op(kRingF64);
  HarnessCase c(p);
  c.addColumn<double>({1, 50}).addColumn<double>({3, 3});
  c.expectRows<std::uint8_t>({1, 0});
}

TEST(PointInRing, SinglePrecisionComputesTheCrossingInFloat) {
  // The ring (0,0) (3,1) (0,1): its slanted edge crosses y = 1/3 near x = 1. A point placed exactly on
  // the crossing as float arithmetic computes it is on the ring in the f32 op; the same crossing computed
  // in double from the same float coordinates lies elsewhere, so an op working in double would count
  // the point inside instead.
  const float yf = 1.0f / 3.0f;
  const float xintF = (0.0f - 3.0f) * (yf - 1.0f) / (0.0f - 1.0f) + 3.0f;
  const double xintFromFloatsInDouble = (0.0 - 3.0) * (double(yf) - 1.0) / (0.0 - 1.0) + 3.0;
  ASSERT_NE(double(xintF), xintFromFloatsInDouble);
  const double yd = 1.0 / 3.0;
  const double xintD = (0.0 - 3.0) * (yd - 1.0) / (0.0 - 1.0) + 3.0;
  const std::vector<double> rx = {0, 3, 0}, ry = {0, 1, 1};
  expectRing<float>(rx, ry, {{double(xintF), double(yf), 2}});
  expectRing<double>(rx, ry, {{xintD, yd, 2}});
}

} // namespace
