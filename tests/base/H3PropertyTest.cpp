// Properties of the grid core on random inputs (fixed seeds), checked against independent models:
// containment by spherical geometry, adjacency by the neighbour predicate, and the pool's accounting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/GeometryUtils.h"
#include "base/H3Core.h"
#include "base/RamPool.h"
#include "base/VelaException.h"

namespace {

using namespace vela::h3;
using CellList = vela::ManagedBuffer<H3Index, 8>;

constexpr double kPi = 3.14159265358979323846;

struct Vec3 {
  double x, y, z;
};
Vec3 unitVector(const LatLng& g) {
  return {std::cos(g.lat) * std::cos(g.lng), std::cos(g.lat) * std::sin(g.lng), std::sin(g.lat)};
}
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Model: project the boundary gnomonically about the point itself (great-circle edges become straight
// lines, the point the origin) and take the winding number of the origin. Returns the winding number
// and, through `margin`, the distance from the origin to the nearest projected edge (for reporting).
int windingAround(const CellBoundary& b, const LatLng& g, double& margin) {
  const Vec3 p = unitVector(g);
  // tangent-plane axes at p
  const Vec3 up = std::fabs(p.z) < 0.9 ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
  Vec3 e1 = cross(up, p);
  const double l1 = std::sqrt(dot(e1, e1));
  e1 = {e1.x / l1, e1.y / l1, e1.z / l1};
  const Vec3 e2 = cross(p, e1);
  std::vector<std::pair<double, double>> q;
  for (int i = 0; i < b.numVerts; ++i) {
    const Vec3 v = unitVector(b.verts[i]);
    const double d = dot(v, p);
    q.emplace_back(dot(v, e1) / d, dot(v, e2) / d);
  }
  int winding = 0;
  margin = 1e300;
  for (std::size_t i = 0; i < q.size(); ++i) {
    const auto [x0, y0] = q[i];
    const auto [x1, y1] = q[(i + 1) % q.size()];
    const double cr = x0 * y1 - x1 * y0; // > 0: origin left of the edge
    margin = std::min(margin, std::fabs(cr) / std::hypot(x1 - x0, y1 - y0));
    if (y0 <= 0 && y1 > 0 && cr > 0)
      ++winding;
    else if (y0 > 0 && y1 <= 0 && cr < 0)
      --winding;
  }
  return winding;
}

LatLng randomPoint(std::mt19937_64& rng) {
  // uniform on the sphere
  std::uniform_real_distribution<double> u(-1.0, 1.0), lng(-kPi, kPi);
  return {std::asin(u(rng)), lng(rng)};
}

std::vector<H3Index> allPentagons(int res) {
  std::vector<H3Index> out;
  for (int bc = 0; bc < kNumBaseCells; ++bc) {
    if (isBaseCellPentagon(bc)) {
      H3Index h = (H3Index{1} << 59) | (H3Index(bc) << 45) | 0x1fffffffffffULL;
      cellToCenterChild(h, res, h);
      out.push_back(h);
    }
  }
  return out;
}

TEST(H3Properties, EveryPointLiesInItsCellsBoundary) {
  std::mt19937_64 rng(12345);
  for (int res = 0; res <= kMaxRes; ++res) {
    for (int i = 0; i < 400; ++i) {
      const LatLng g = randomPoint(rng);
      H3Index h = 0;
      ASSERT_EQ(latLngToCell(g, res, h), H3Error::Success);
      ASSERT_TRUE(isValidCell(h));
      ASSERT_EQ(getResolution(h), res);
      CellBoundary b;
      ASSERT_EQ(cellToBoundary(h, b), H3Error::Success);
      double margin = 0;
      EXPECT_EQ(windingAround(b, g, margin), 1) << "margin " << margin << " " << std::hex << h << std::dec
                                                << " res " << res << " at " << g.lat << "," << g.lng;
      // the centre maps back to the cell
      LatLng c;
      ASSERT_EQ(cellToLatLng(h, c), H3Error::Success);
      H3Index back = 0;
      ASSERT_EQ(latLngToCell(c, res, back), H3Error::Success);
      EXPECT_EQ(back, h);
    }
  }
}

TEST(H3Properties, ChildrenParentsAndPositionsAgree) {
  std::mt19937_64 rng(777);
  std::vector<H3Index> cells;
  for (int res = 0; res <= 13; ++res) {
    for (int i = 0; i < 6; ++i) {
      H3Index h = 0;
      latLngToCell(randomPoint(rng), res, h);
      cells.push_back(h);
    }
    for (H3Index p : allPentagons(res))
      cells.push_back(p);
  }
  for (const H3Index cell : cells) {
    const int res = getResolution(cell);
    for (int childRes = res; childRes <= std::min(res + 2, kMaxRes); ++childRes) {
      CellList kids;
      ASSERT_EQ(cellToChildren(cell, childRes, kids), H3Error::Success);
      std::int64_t size = 0;
      ASSERT_EQ(cellToChildrenSize(cell, childRes, size), H3Error::Success);
      ASSERT_EQ(static_cast<std::int64_t>(kids.size()), size);
      // pentagons lose one sixth of their non-centre descendants at every level
      const std::int64_t n7 = static_cast<std::int64_t>(std::pow(7, childRes - res));
      EXPECT_EQ(size, isPentagon(cell) ? 1 + 5 * (n7 - 1) / 6 : n7);
      H3Index first = 0, last = 0;
      cellToFirstChild(cell, childRes, first);
      cellToLastChild(cell, childRes, last);
      EXPECT_EQ(first, kids[0]);
      EXPECT_EQ(last, kids[kids.size() - 1]);
      for (std::size_t pos = 0; pos < kids.size(); ++pos) {
        const H3Index kid = kids[pos];
        ASSERT_TRUE(isValidCell(kid));
        H3Index parent = 0;
        ASSERT_EQ(cellToParent(kid, res, parent), H3Error::Success);
        EXPECT_EQ(parent, cell);
        std::int64_t gotPos = -1;
        ASSERT_EQ(cellToChildPos(kid, res, gotPos), H3Error::Success);
        EXPECT_EQ(gotPos, static_cast<std::int64_t>(pos));
        H3Index again = 0;
        ASSERT_EQ(childPosToCell(static_cast<std::int64_t>(pos), cell, childRes, again), H3Error::Success);
        EXPECT_EQ(again, kid);
      }
      EXPECT_TRUE(std::is_sorted(kids.begin(), kids.end()));
      H3Index beyond = 0;
      EXPECT_EQ(childPosToCell(size, cell, childRes, beyond), H3Error::Domain);
    }
  }
}

// Model of the ring distance: a cell is at distance k from the origin when it neighbours some cell at
// distance k - 1 and no cell nearer; rings are built one at a time from the neighbour predicate alone.
TEST(H3Properties, RingCellsAreExactlyKStepsAway) {
  std::mt19937_64 rng(99);
  std::vector<H3Index> origins;
  for (int res : {0, 1, 2, 5, 9, 15}) {
    H3Index h = 0;
    latLngToCell(randomPoint(rng), res, h);
    origins.push_back(h);
    origins.push_back(allPentagons(res)[static_cast<std::size_t>(res) % 12]);
  }
  for (const H3Index origin : origins) {
    SCOPED_TRACE(origin);
    std::vector<std::vector<H3Index>> rings = {{origin}};
    std::set<H3Index> seen = {origin};
    for (int k = 1; k <= 3; ++k) {
      CellList ring;
      ASSERT_EQ(gridRing(origin, k, ring), H3Error::Success);
      std::set<H3Index> got(ring.begin(), ring.end());
      EXPECT_EQ(got.size(), ring.size()) << "duplicates in ring " << k;
      for (H3Index c : got) {
        EXPECT_FALSE(seen.count(c)) << "ring " << k << " repeats a nearer cell";
        bool touchesPrevious = false;
        for (H3Index p : rings.back()) {
          bool adjacent = false;
          ASSERT_EQ(areNeighborCells(c, p, adjacent), H3Error::Success);
          touchesPrevious = touchesPrevious || adjacent;
        }
        EXPECT_TRUE(touchesPrevious) << "ring " << k;
        // the unfolded distance agrees wherever the unfolding is not refused near a pentagon
        std::int64_t d = -1;
        const H3Error e = gridDistance(origin, c, d);
        if (e == H3Error::Success) {
          EXPECT_EQ(d, k);
        } else {
          EXPECT_EQ(e, H3Error::Failed);
          EXPECT_TRUE(isBaseCellPentagon(getBaseCellNumber(origin)) ||
                      isBaseCellPentagon(getBaseCellNumber(c)) ||
                      getBaseCellNumber(origin) != getBaseCellNumber(c));
        }
      }
      // every neighbour of ring k-1 not yet seen belongs to ring k
      for (H3Index p : rings.back()) {
        CellList disk;
        ASSERT_EQ(gridDisk(p, 1, disk), H3Error::Success);
        for (H3Index n : disk) {
          if (!seen.count(n)) {
            EXPECT_TRUE(got.count(n)) << "ring " << k << " misses a neighbour";
          }
        }
      }
      seen.insert(got.begin(), got.end());
      rings.emplace_back(got.begin(), got.end());
      CellList disk;
      ASSERT_EQ(gridDisk(origin, k, disk), H3Error::Success);
      EXPECT_EQ(std::set<H3Index>(disk.begin(), disk.end()), seen) << "disk " << k;
    }
  }
}

TEST(H3Properties, TwelvePentagonsWithFiveNeighboursAtEveryResolution) {
  for (int res = 0; res <= kMaxRes; ++res) {
    const std::vector<H3Index> pents = allPentagons(res);
    ASSERT_EQ(pents.size(), 12u);
    for (const H3Index p : pents) {
      EXPECT_TRUE(isPentagon(p));
      CellBoundary b;
      cellToBoundary(p, b);
      EXPECT_EQ(b.numVerts, isResClassIII(res) ? 10 : 5);
      CellList disk;
      ASSERT_EQ(gridDisk(p, 1, disk), H3Error::Success);
      ASSERT_EQ(disk.size(), 6u);
      for (std::size_t i = 1; i < disk.size(); ++i) {
        bool adjacent = false;
        areNeighborCells(p, disk[i], adjacent);
        EXPECT_TRUE(adjacent);
        EXPECT_FALSE(isPentagon(disk[i]));
      }
    }
  }
}

TEST(H3Properties, TextFormRoundTrips) {
  std::mt19937_64 rng(4242);
  for (int i = 0; i < 2000; ++i) {
    H3Index h = 0;
    latLngToCell(randomPoint(rng), static_cast<int>(rng() % 16), h);
    char text[17];
    const int n = h3ToString(h, text);
    EXPECT_EQ(n, 15);
    H3Index back = 0;
    ASSERT_EQ(stringToH3(text, static_cast<std::size_t>(n), back), H3Error::Success);
    EXPECT_EQ(back, h);
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return char(std::toupper(c)); });
    ASSERT_EQ(stringToH3(upper.data(), upper.size(), back), H3Error::Success);
    EXPECT_EQ(back, h);
  }
  H3Index out = 0;
  for (const std::string bad : {"", "0x8009fffffffffff", "8009fffffffffffff", "8009g", " 8009"}) {
    EXPECT_EQ(stringToH3(bad.data(), bad.size(), out), H3Error::Failed) << bad;
  }
}

TEST(H3Properties, InvalidIndexesAreRejected) {
  const H3Index good = 0x8928308280fffffULL;
  ASSERT_TRUE(isValidCell(good));
  struct Case {
    const char* what;
    H3Index h;
  };
  const Case cases[] = {
      {"high bit", good | (H3Index{1} << 63)},
      {"mode 2", (good & ~(H3Index{0xF} << 59)) | (H3Index{2} << 59)},
      {"reserved bits", good | (H3Index{1} << 56)},
      {"base cell 122", (good & ~(H3Index{0x7F} << 45)) | (H3Index{122} << 45)},
      {"digit 7 inside the resolution", good | (H3Index{7} << (3 * (15 - 4)))},
      {"digit past the resolution not 7", good & ~(H3Index{7} << (3 * (15 - 12)))},
      {"pentagon's deleted K sub-sequence", (allPentagons(2)[3] & ~(H3Index{7} << 42)) | (H3Index{1} << 42)},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(isValidCell(c.h)) << c.what;
    LatLng g;
    EXPECT_EQ(cellToLatLng(c.h, g), H3Error::CellInvalid) << c.what;
  }
}

// Over the pool's limit fails at the charge; over the documented cap, before the pool is asked.
TEST(H3Properties, OversizedRequestsFailBeforeMemoryIsTouched) {
  vela::RamPool pool("h3-limit", 8u << 20);
  const vela::RamPoolThreadBinding bind(&pool);
  bool isNull = false;
  // k = 1000: 3,003,001 cells, 24 MB of cells, over the 8 MB limit
  EXPECT_THROW(vela::GeometryUtils::h3GridDisk(0x8928308280fffffULL, 1000, isNull), vela::VelaException);
  EXPECT_EQ(pool.reservedBytes(), 0u);
  const std::size_t peakBefore = pool.peakBytes();
  EXPECT_THROW(vela::GeometryUtils::h3GridDisk(0x8928308280fffffULL, 100000, isNull), vela::VelaException);
  EXPECT_EQ(pool.peakBytes(), peakBefore) << "the cap must refuse before the pool is charged";
  std::int64_t size = 0;
  EXPECT_EQ(maxGridDiskSize(100000, size), H3Error::Success);
  EXPECT_EQ(size, 30000300001);
  EXPECT_EQ(maxGridDiskSize(-1, size), H3Error::Domain);
  // a continent at resolution 15: refused by the cap on the estimate
  const LatLng box[] = {{35 * kPi / 180, -10 * kPi / 180},
                        {35 * kPi / 180, 40 * kPi / 180},
                        {70 * kPi / 180, 40 * kPi / 180},
                        {70 * kPi / 180, -10 * kPi / 180}};
  GeoPolygon poly{{box, 4}, nullptr, 0};
  CellList cells(&pool);
  EXPECT_EQ(polygonToCells(poly, 15, cells), H3Error::MemoryBounds);
  EXPECT_EQ(pool.peakBytes(), peakBefore);
  // a small fill stays within the limit and gives everything back
  {
    CellList small(&pool);
    EXPECT_EQ(polygonToCells(poly, 3, small), H3Error::Success);
    EXPECT_GT(small.size(), 100u);
  }
  EXPECT_EQ(pool.reservedBytes(), 0u);
}

} // namespace
