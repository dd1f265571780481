// The point-in-ring op over list constants, in single and double precision, through both evaluators:
// inside and outside points of convex and concave rings, points on vertices and on horizontal, vertical
// and slanted edges (answered by the last operand), rays through vertices, NaN coordinates, closed
// rings that repeat their first vertex, and degenerate lists.
#include <limits>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

struct Probe {
  double x, y;
  int expected; // 0 outside, 1 inside, 2 on the ring (the answer is the last operand)
};

template <class T>
void expectRing(const std::vector<double>& ringX, const std::vector<double>& ringY,
                const std::vector<Probe>& probes) {
  const int op = std::is_same_v<T, float> ? 1271 : 1272,
            list = std::is_same_v<T, float> ? kListF32 : kListF64;
  const std::vector<T> xs(ringX.begin(), ringX.end()), ys(ringY.begin(), ringY.end());
  for (std::uint8_t onRing : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "on-ring answer " << int(onRing));
    std::vector<T> px, py;
    std::vector<std::uint8_t> want;
    for (const Probe& q : probes) {
      px.push_back(T(q.x));
      py.push_back(T(q.y));
      want.push_back(q.expected == 2 ? onRing : std::uint8_t(q.expected));
    }
    // Points as columns, the answer on the ring a constant; then each probe with constant points and a
    // column answer.
    Program columns;
    columns.column(Storage<T>::load, 0).column(Storage<T>::load, 1).list(list, xs).list(list, ys);
    HarnessCase(columns.constant(kConstI8, onRing).op(op)).addColumn(px).addColumn(py).expectRows(want);
    for (std::size_t i = 0; i < probes.size(); ++i) {
      Program constants;
      constants.constant(Storage<T>::constant, px[i]).constant(Storage<T>::constant, py[i]).list(list, xs);
      HarnessCase(constants.list(list, ys).column(kLoadBool, 0).op(op))
          .addColumn<std::uint8_t>({onRing})
          .rowCounts({63, 65})
          .expectRows<std::uint8_t>({want[i]});
    }
  }
}

template <class T>
void squareAndConcaveRings() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // The square (0,0) (10,0) (10,10) (0,10), its first vertex not repeated; points on the lines of the
  // horizontal edges but outside them are outside.
  const std::vector<Probe> square = {{5, 5, 1},   {-1, 5, 0},  {5, -0.001, 0}, {0, 0, 2},
                                     {10, 10, 2}, {5, 0, 2},   {0, 5, 2},      {10, 3, 2},
                                     {-5, 0, 0},  {15, 10, 0}, {nan, 5, 0},    {5, nan, 0}};
  expectRing<T>({0, 10, 10, 0}, {0, 0, 10, 10}, square);
  // A "U": the notch between x = 3 and x = 7 above y = 2 is outside; rays from points in the arms cross
  // the notch's vertices.
  const std::vector<Probe> u = {{5, 5, 0},  {5, 1, 1}, {1.5, 8, 1}, {8.5, 8, 1}, {5, 2, 2},  {7, 6, 2},
                                {3, 10, 2}, {8, 2, 1}, {2, 2, 1},   {11, 2, 0},  {-1, 2, 0}, {5, 10, 0}};
  expectRing<T>({0, 10, 10, 7, 7, 3, 3, 0}, {0, 0, 10, 10, 2, 2, 10, 10}, u);
  // A slanted edge from (0,0) to (8,4): points on it are on the ring.
  expectRing<T>({0, 8, 0}, {0, 4, 4}, {{4, 2, 2}, {4, 2.5, 1}, {4, 1.5, 0}});
  // The square closed by repeating its first vertex: the zero-length closing edge changes nothing.
  expectRing<T>({0, 10, 10, 0, 0}, {0, 0, 10, 10, 0}, {{5, 5, 1}, {0, 0, 2}, {-1, 0, 0}, {5, 0, 2}});
}

TEST(PointInRing, SingleAndDoublePrecision) {
  squareAndConcaveRings<float>();
  squareAndConcaveRings<double>();
}

TEST(PointInRing, DegenerateLists) {
  // No vertex: never inside, even with the on-ring answer 1. One vertex: only the vertex itself.
  expectRing<double>({}, {}, {{0, 0, 0}});
  expectRing<double>({2}, {3}, {{2, 3, 2}, {2, 3.5, 0}});
  // A y list shorter than the x list reads only the vertices both hold (here a triangle).
  Program p;
  p.column(kLoadF64, 0).column(kLoadF64, 1).list(kListF64, std::vector<double>{0, 8, 0, 100});
  HarnessCase(p.list(kListF64, std::vector<double>{0, 4, 4}).constant(kConstI8, std::uint8_t(1)).op(1272))
      .addColumn<double>({1, 50})
      .addColumn<double>({3, 3})
      .expectRows<std::uint8_t>({1, 0});
}

TEST(PointInRing, SinglePrecisionComputesTheCrossingInFloat) {
  // The ring (0,0) (3,1) (0,1): its slanted edge crosses y = 1/3 near x = 1. A point placed exactly on
  // the crossing as float arithmetic computes it is on the ring in the f32 op; the same crossing computed
  // in double from the same float coordinates lies elsewhere, so an op working in double would count
  // the point inside instead.
  const float yf = 1.0f / 3.0f;
  const float xintF = (0.0f - 3.0f) * (yf - 1.0f) / (0.0f - 1.0f) + 3.0f;
  ASSERT_NE(double(xintF), (0.0 - 3.0) * (double(yf) - 1.0) / (0.0 - 1.0) + 3.0);
  const double yd = 1.0 / 3.0, xintD = (0.0 - 3.0) * (yd - 1.0) / (0.0 - 1.0) + 3.0;
  expectRing<float>({0, 3, 0}, {0, 1, 1}, {{double(xintF), double(yf), 2}});
  expectRing<double>({0, 3, 0}, {0, 1, 1}, {{xintD, yd, 2}});
}

} // namespace
