// The grid core against published reference results (tests/data/h3/vectors.jsonl): cells exactly,
// coordinates within 1e-12 degrees, sets compared sorted, failures by their error code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/H3Core.h"

namespace {

using namespace vela::h3;
using nlohmann::json;

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr double kCoordTol = 1e-12; // degrees

const std::vector<json>& vectors() {
  static const std::vector<json> v = [] {
    std::vector<json> out;
    std::ifstream in(QUARRY_SOURCE_DIR "/tests/data/h3/vectors.jsonl");
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty())
        out.push_back(json::parse(line));
    }
    return out;
  }();
  return v;
}

H3Index cellArg(const json& j) {
  H3Index h = 0;
  const std::string s = j.get<std::string>();
  EXPECT_EQ(stringToH3(s.data(), s.size(), h), H3Error::Success) << s;
  return h;
}
std::string hex(H3Index h) {
  char buf[17];
  h3ToString(h, buf);
  return buf;
}
std::vector<std::string> hexSorted(const vela::ManagedBuffer<H3Index, 8>& cells) {
  std::vector<std::string> v;
  for (H3Index h : cells) {
    if (h != 0)
      v.push_back(hex(h));
  }
  std::sort(v.begin(), v.end());
  return v;
}
std::vector<std::string> sortedStrings(const json& j) {
  std::vector<std::string> v = j.get<std::vector<std::string>>();
  std::sort(v.begin(), v.end());
  return v;
}
int expectedError(const json& v) {
  return v.contains("error_code") ? v["error_code"].get<int>() : 0;
}

// Runs one vector; returns false (with a gtest failure) on a mismatch.
void check(const json& v) {
  const std::string fn = v["fn"];
  const json& a = v.contains("args") ? v["args"] : json::array();
  const int wantErr = expectedError(v);
  SCOPED_TRACE(v.dump().substr(0, 300));
  auto checkErr = [&](H3Error e) {
    EXPECT_EQ(static_cast<int>(e), wantErr);
    return e == H3Error::Success && wantErr == 0;
  };
  if (fn == "latLngToCell") {
    H3Index h = 0;
    // non-finite coordinates are given as text ("NaN", "Infinity")
    auto num = [](const json& j) {
      return j.is_number() ? j.get<double>() : std::stod(j.get<std::string>());
    };
    const double lat = num(a[0]);
    const double lng = num(a[1]);
    if (checkErr(latLngToCell({lat * kDeg, lng * kDeg}, a[2].get<int>(), h))) {
      EXPECT_EQ(hex(h), v["out"].get<std::string>());
    }
  } else if (fn == "cellToLatLng") {
    LatLng g{};
    if (checkErr(cellToLatLng(cellArg(a[0]), g))) {
      EXPECT_NEAR(g.lat / kDeg, v["out"][0].get<double>(), kCoordTol);
      EXPECT_NEAR(g.lng / kDeg, v["out"][1].get<double>(), kCoordTol);
    }
  } else if (fn == "cellToBoundary") {
    CellBoundary b;
    if (checkErr(cellToBoundary(cellArg(a[0]), b))) {
      ASSERT_EQ(static_cast<std::size_t>(b.numVerts), v["out"].size());
      for (int i = 0; i < b.numVerts; ++i) {
        EXPECT_NEAR(b.verts[i].lat / kDeg, v["out"][i][0].get<double>(), kCoordTol) << i;
        EXPECT_NEAR(b.verts[i].lng / kDeg, v["out"][i][1].get<double>(), kCoordTol) << i;
      }
    }
  } else if (fn == "getResolution") {
    EXPECT_EQ(getResolution(cellArg(a[0])), v["out"].get<int>());
  } else if (fn == "getBaseCellNumber") {
    EXPECT_EQ(getBaseCellNumber(cellArg(a[0])), v["out"].get<int>());
  } else if (fn == "isPentagon") {
    EXPECT_EQ(isPentagon(cellArg(a[0])), v["out"].get<bool>());
  } else if (fn == "isResClassIII") {
    EXPECT_EQ(isResClassIII(getResolution(cellArg(a[0]))), v["out"].get<bool>());
  } else if (fn == "isValidCell") {
    // text that does not parse (a "0x" prefix, garbage) leaves 0, which is no cell either
    H3Index h = 0;
    if (v.contains("args_dec")) {
      h = std::stoull(v["args_dec"][0].get<std::string>());
    } else {
      const std::string s = a[0];
      stringToH3(s.data(), s.size(), h);
    }
    EXPECT_EQ(isValidCell(h), v["out"].get<bool>());
  } else if (fn == "getIcosahedronFaces") {
    int faces[5];
    int n = 0;
    if (checkErr(getIcosahedronFaces(cellArg(a[0]), faces, n))) {
      std::vector<int> want;
      for (int f : v["out"].get<std::vector<int>>()) {
        if (f >= 0)
          want.push_back(f);
      }
      std::sort(want.begin(), want.end());
      EXPECT_EQ(std::vector<int>(faces, faces + n), want);
    }
  } else if (fn == "h3IndexToSplitLong") {
    const H3Index h = cellArg(a[0]);
    EXPECT_EQ(h & 0xFFFFFFFFu, v["out"][0].get<std::uint64_t>());
    EXPECT_EQ(h >> 32, v["out"][1].get<std::uint64_t>());
  } else if (fn == "cellToParent" || fn == "cellToCenterChild") {
    H3Index h = 0;
    const H3Error e = fn == "cellToParent" ? cellToParent(cellArg(a[0]), a[1].get<int>(), h)
                                           : cellToCenterChild(cellArg(a[0]), a[1].get<int>(), h);
    if (checkErr(e)) {
      EXPECT_EQ(hex(h), v["out"].get<std::string>());
    }
  } else if (fn == "cellToChildrenSize") {
    std::int64_t n = 0;
    if (checkErr(cellToChildrenSize(cellArg(a[0]), a[1].get<int>(), n))) {
      EXPECT_EQ(n, v["out"].get<std::int64_t>());
    }
  } else if (fn == "cellToChildren") {
    vela::ManagedBuffer<H3Index, 8> out;
    if (checkErr(cellToChildren(cellArg(a[0]), a[1].get<int>(), out))) {
      // children come out in ascending order: compare unsorted
      std::vector<std::string> got;
      for (H3Index h : out)
        got.push_back(hex(h));
      EXPECT_EQ(got, v["out"].get<std::vector<std::string>>());
    }
  } else if (fn == "cellToChildPos") {
    std::int64_t n = 0;
    if (checkErr(cellToChildPos(cellArg(a[0]), a[1].get<int>(), n))) {
      EXPECT_EQ(n, v["out"].get<std::int64_t>());
    }
  } else if (fn == "childPosToCell") {
    H3Index h = 0;
    if (checkErr(childPosToCell(a[0].get<std::int64_t>(), cellArg(a[1]), a[2].get<int>(), h))) {
      EXPECT_EQ(hex(h), v["out"].get<std::string>());
    }
  } else if (fn == "gridDiskSize") {
    // the number of cells actually in the disk (fewer than 3k(k+1)+1 near pentagons)
    vela::ManagedBuffer<H3Index, 8> out;
    if (checkErr(gridDisk(cellArg(a[0]), a[1].get<int>(), out))) {
      EXPECT_EQ(static_cast<std::int64_t>(out.size()), v["out"].get<std::int64_t>());
    }
  } else if (fn == "gridDisk" || fn == "gridRing") {
    vela::ManagedBuffer<H3Index, 8> out;
    const H3Error e = fn == "gridDisk" ? gridDisk(cellArg(a[0]), a[1].get<int>(), out)
                                       : gridRing(cellArg(a[0]), a[1].get<int>(), out);
    if (checkErr(e)) {
      EXPECT_EQ(hexSorted(out), sortedStrings(v["out"]));
    }
  } else if (fn == "gridDiskDistances") {
    vela::ManagedBuffer<H3Index, 8> out;
    vela::ManagedBuffer<int, 8> dist;
    if (checkErr(gridDiskDistances(cellArg(a[0]), a[1].get<int>(), out, &dist))) {
      for (std::size_t ring = 0; ring < v["out"].size(); ++ring) {
        vela::ManagedBuffer<H3Index, 8> atRing;
        std::size_t n = 0;
        for (std::size_t i = 0; i < out.size(); ++i) {
          if (static_cast<std::size_t>(dist[i]) == ring) {
            atRing.resize(++n);
            atRing[n - 1] = out[i];
          }
        }
        EXPECT_EQ(hexSorted(atRing), sortedStrings(v["out"][ring])) << "ring " << ring;
      }
    }
  } else if (fn == "areNeighborCells") {
    bool out = false;
    if (checkErr(areNeighborCells(cellArg(a[0]), cellArg(a[1]), out))) {
      EXPECT_EQ(out, v["out"].get<bool>());
    }
  } else if (fn == "gridDistance") {
    std::int64_t d = -1;
    if (checkErr(gridDistance(cellArg(a[0]), cellArg(a[1]), d))) {
      EXPECT_EQ(d, v["out"].get<std::int64_t>());
    }
  } else if (fn == "h3ToString") {
    EXPECT_EQ(hex(std::stoull(v["args_dec"][0].get<std::string>())), v["out"].get<std::string>());
  } else if (fn == "stringToH3") {
    const std::string s = a[0];
    H3Index h = 0;
    if (checkErr(stringToH3(s.data(), s.size(), h))) {
      EXPECT_EQ(h, std::stoull(v["out_dec"].get<std::string>()));
    }
  } else if (fn == "polygonToCells") {
    std::vector<std::vector<LatLng>> loops;
    for (const json& loop : a[0]) {
      std::vector<LatLng> pts;
      for (const json& p : loop)
        pts.push_back({p[0].get<double>() * kDeg, p[1].get<double>() * kDeg});
      loops.push_back(pts);
    }
    std::vector<GeoLoop> holes;
    for (std::size_t i = 1; i < loops.size(); ++i)
      holes.push_back({loops[i].data(), static_cast<int>(loops[i].size())});
    GeoPolygon poly{
        {loops[0].data(), static_cast<int>(loops[0].size())}, holes.data(), static_cast<int>(holes.size())};
    vela::ManagedBuffer<H3Index, 8> out;
    if (checkErr(polygonToCells(poly, a[1].get<int>(), out))) {
      EXPECT_EQ(hexSorted(out), sortedStrings(v["out"]));
    }
  } else {
    GTEST_SKIP() << "no check for " << fn;
  }
}

class H3Vectors : public ::testing::TestWithParam<std::string> {};

TEST_P(H3Vectors, MatchReference) {
  int ran = 0;
  for (const json& v : vectors()) {
    if (v["fn"] == GetParam()) {
      check(v);
      ++ran;
    }
  }
  EXPECT_GT(ran, 0);
}

INSTANTIATE_TEST_SUITE_P(Functions, H3Vectors,
                         ::testing::Values("latLngToCell", "cellToLatLng", "cellToBoundary", "getResolution",
                                           "getBaseCellNumber", "isPentagon", "isResClassIII", "isValidCell",
                                           "getIcosahedronFaces", "h3IndexToSplitLong", "cellToParent",
                                           "cellToCenterChild", "cellToChildrenSize", "cellToChildren",
                                           "cellToChildPos", "childPosToCell", "gridDiskSize", "gridDisk",
                                           "gridRing", "gridDiskDistances", "areNeighborCells",
                                           "gridDistance", "h3ToString", "stringToH3", "polygonToCells"));

} // namespace
