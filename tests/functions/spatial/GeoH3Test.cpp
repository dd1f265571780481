// H3 cell ops through both evaluators. Expected values come from the published reference results in
// tests/data/h3/vectors.jsonl (cells, sets, counts); failures expect the documented invalid values
// (cell 0, count -1) or status 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/H3Core.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;
using nlohmann::json;

namespace {

using Cell = unsigned long;
constexpr TypedRpnOp kLoadGeometry = 236;
constexpr TypedRpnOp kLoadChar16 = kLoadChar + 4;

const std::vector<json>& vectors() {
  static const std::vector<json> v = [] {
    std::vector<json> out;
    std::ifstream in(QUARRY_SOURCE_DIR "/tests/data/h3/vectors.jsonl");
    std::string line;
    while (std::getline(in, line))
      if (!line.empty())
        out.push_back(json::parse(line));
    return out;
  }();
  return v;
}
// Up to `limit` vectors of one function, spread over the file (every step-th).
std::vector<json> sample(const std::string& fn, std::size_t limit) {
  std::vector<json> all;
  for (const json& v : vectors())
    if (v["fn"] == fn)
      all.push_back(v);
  std::vector<json> out;
  const std::size_t step = std::max<std::size_t>(1, all.size() / limit);
  for (std::size_t i = 0; i < all.size() && out.size() < limit; i += step)
    out.push_back(all[i]);
  return out;
}
Cell cell(const json& hex) {
  return std::stoull(hex.get<std::string>(), nullptr, 16);
}
bool failed(const json& v) {
  return v.contains("error_code");
}
std::vector<Cell> cells(const json& list) {
  std::vector<Cell> out;
  for (const json& h : list)
    out.push_back(cell(h));
  return out;
}
std::vector<Cell> sorted(std::vector<Cell> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// ---- scalar ops ---------------------------------------------------------------------------------------

TEST(GeoH3, PointToCellInBothArgumentOrders) {
  std::vector<Row<Cell, double, double, int>> latLng, xy;
  for (const json& v : sample("latLngToCell", 14)) {
    const json& a = v["args"];
    if (!a[0].is_number() || failed(v))
      continue;
    const double lat = a[0], lng = a[1];
    latLng.push_back({{lat, lng, a[2].get<int>()}, cell(v["out"])});
    xy.push_back({{lng, lat, a[2].get<int>()}, cell(v["out"])});
  }
  // resolution out of range and non-finite coordinates give the invalid cell 0
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const auto& bad : {std::tuple{0.0, 0.0, 16}, std::tuple{0.0, 0.0, -1}, std::tuple{nan, 0.0, 5}}) {
    latLng.push_back({bad, 0});
    xy.push_back({bad, 0});
  }
  expectTable(2475, latLng);
  expectTable(2482, xy);
}

TEST(GeoH3, CellFieldsAndValidity) {
  std::vector<Row<int, Cell>> resolution;
  for (const json& v : sample("getResolution", 8))
    resolution.push_back({{cell(v["args"][0])}, v["out"].get<int>()});
  std::vector<Row<std::uint8_t, Cell>> valid;
  for (const json& v : sample("isValidCell", 12))
    if (v.contains("args_dec"))
      valid.push_back({{std::stoull(v["args_dec"][0].get<std::string>())},
                       v["out"].get<bool>() ? std::uint8_t{1} : std::uint8_t{0}});
  // not cells: 0, a cell with a digit past its resolution set, a pentagon's deleted K digit
  const Cell base = cell(json("8009fffffffffff"));
  for (const Cell bad : {Cell{0}, base & ~(Cell{7} << 42), Cell{0x81083ffffffffffULL} | (Cell{1} << 42)}) {
    resolution.push_back({{bad}, -1});
    valid.push_back({{bad}, 0});
  }
  expectTable(2469, resolution);
  expectTable(2474, valid);
}

// A vector's (cell, resolution) arguments, and its cell result (0 where the reference fails).
std::tuple<Cell, int> cellRes(const json& v) {
  return {cell(v["args"][0]), v["args"][1].get<int>()};
}
Cell cellOut(const json& v) {
  return failed(v) ? 0 : cell(v["out"]);
}

TEST(GeoH3, Hierarchy) {
  std::vector<Row<Cell, Cell, int>> parent, center, first, last;
  std::vector<Row<long, Cell, int>> pos, size;
  std::vector<Row<Cell, long, Cell, int>> posToCell;
  std::vector<Row<Cell, Cell, int, long>> childN;
  for (const json& v : sample("cellToParent", 12))
    parent.push_back({cellRes(v), cellOut(v)});
  for (const json& v : sample("cellToCenterChild", 12))
    center.push_back({cellRes(v), cellOut(v)});
  for (const json& v : sample("cellToChildPos", 12))
    pos.push_back({cellRes(v), failed(v) ? -1 : v["out"].get<long>()});
  for (const json& v : sample("cellToChildrenSize", 12))
    size.push_back({cellRes(v), failed(v) ? -1 : v["out"].get<long>()});
  for (const json& v : sample("childPosToCell", 12)) {
    const long n = v["args"][0].get<long>();
    posToCell.push_back({{n, cell(v["args"][1]), v["args"][2].get<int>()}, cellOut(v)});
    childN.push_back({{cell(v["args"][1]), v["args"][2].get<int>(), n}, cellOut(v)});
  }
  // first and last children: the ends of the reference's ascending child list
  for (const json& v : sample("cellToChildren", 8)) {
    first.push_back({cellRes(v), cells(v["out"]).front()});
    last.push_back({cellRes(v), cells(v["out"]).back()});
  }
  first.push_back({{cell(json("8009fffffffffff")), 16}, 0});
  last.push_back({{cell(json("81083ffffffffff")), 0}, 0});
  expectTable(2465, parent);
  expectTable(2458, center);
  expectTable(2460, pos);
  expectTable(2462, size);
  expectTable(2467, posToCell);
  expectTable(2459, childN);
  expectTable(2463, first);
  expectTable(2464, last);
}

TEST(GeoH3, DiskSizeCountsTheCellsActuallyInTheDisk) {
  std::vector<Row<long, Cell, int>> rows;
  for (const json& v : sample("gridDiskSize", 16))
    rows.push_back({cellRes(v), v["out"].get<long>()});
  rows.push_back({{cell(json("8009fffffffffff")), -1}, -1});
  rows.push_back({{0, 1}, -1});
  expectTable(2476, rows);
}

// charN cells hold character 0 in their highest byte.
fixed_array_t<16> char16(const std::string& s) {
  fixed_array_t<16> c{};
  for (std::size_t i = 0; i < s.size() && i < 16; ++i)
    c.bytes[15 - i] = static_cast<unsigned char>(s[i]);
  return c;
}

TEST(GeoH3, TextFormBothWays) {
  std::vector<Cell> in;
  std::vector<fixed_array_t<16>> text;
  for (const json& v : sample("h3ToString", 20)) {
    in.push_back(std::stoull(v["args_dec"][0].get<std::string>()));
    text.push_back(char16(v["out"]));
  }
  HarnessCase(Program().column(kLoadU64, 0).op(2473)).addColumn(in).expectRows(text);

  std::vector<fixed_array_t<16>> upper;
  std::vector<Cell> parsed;
  for (const json& v : sample("stringToH3", 20)) {
    upper.push_back(char16(v["args"][0]));
    parsed.push_back(std::stoull(v["out_dec"].get<std::string>()));
  }
  // text that is not 1 to 16 hex digits gives 0
  for (const char* bad : {"0x8009fffffffff", "zzz", "", "8009ffff fffffff"}) {
    upper.push_back(char16(bad));
    parsed.push_back(0);
  }
  HarnessCase(Program().column(kLoadChar16, 0).op(2481)).addColumn(upper).expectRows(parsed);
}

// ---- lists ---------------------------------------------------------------------------------------------

std::vector<Cell> jsonCells(const std::optional<std::string>& text) {
  std::vector<Cell> out;
  for (const json& c : json::parse(*text))
    out.push_back(c.is_string() ? cell(c) : c.get<Cell>());
  return out;
}

TEST(GeoH3, CellListsAsJsonArrays) {
  struct Case {
    const char* fn;
    TypedRpnOp code;
    bool ordered; // the order is part of the result (children ascend); disks and rings are sets
  };
  for (const Case& k :
       {Case{"gridDisk", 2470, false}, Case{"gridRing", 2472, false}, Case{"cellToChildren", 2461, true}}) {
    SCOPED_TRACE(k.fn);
    std::vector<Cell> in;
    std::vector<int> arg;
    std::vector<std::vector<Cell>> want;
    for (const json& v : sample(k.fn, 12)) {
      if (failed(v))
        continue;
      in.push_back(cell(v["args"][0]));
      arg.push_back(v["args"][1].get<int>());
      want.push_back(cells(v["out"]));
    }
    // an invalid cell and a negative distance or coarser resolution are NULL rows
    in.insert(in.end(), {0, cell(json("8009fffffffffff"))});
    arg.insert(arg.end(), {1, -1});
    Program p;
    p.column(kLoadU64, 0).column(kLoadI32, 1).op(k.code);
    const HarnessResult r = HarnessCase(p).addColumn(in).addColumn(arg).run();
    for (std::size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(r.states[i], 0) << i;
      const std::vector<Cell> got = jsonCells(r.objects[i]);
      EXPECT_EQ(k.ordered ? got : sorted(got), k.ordered ? want[i] : sorted(want[i])) << i;
    }
    for (std::size_t i = want.size(); i < in.size(); ++i) {
      EXPECT_EQ(r.states[i], 1) << i;
      EXPECT_FALSE(r.objects[i].has_value()) << i;
    }
  }
}

// POLYGON WKT (x = longitude, y = latitude) of a reference polygon given as [lat, lng] loops.
std::string polygonWkt(const json& loops) {
  std::ostringstream o;
  o.precision(17);
  o << "POLYGON(";
  for (std::size_t l = 0; l < loops.size(); ++l) {
    o << (l ? ",(" : "(");
    for (std::size_t i = 0; i <= loops[l].size(); ++i) {
      const json& p = loops[l][i % loops[l].size()];
      o << (i ? "," : "") << p[1].get<double>() << ' ' << p[0].get<double>();
    }
    o << ')';
  }
  return o.str() + ")";
}

TEST(GeoH3, PolygonFills) {
  std::vector<std::optional<std::string>> wkts;
  std::vector<int> res;
  std::vector<std::vector<Cell>> want;
  for (const json& v : sample("polygonToCells", 30)) {
    if (failed(v) || v["args"][0][0].empty())
      continue;
    wkts.push_back(polygonWkt(v["args"][0]));
    res.push_back(v["args"][1].get<int>());
    want.push_back(sorted(cells(v["out"])));
  }
  const std::size_t good = wkts.size();
  // NULL rows: null geometry, a line, a resolution out of range, a ring around the pole
  wkts.insert(wkts.end(), {std::nullopt, "LINESTRING(0 0,1 1)", "POLYGON((0 0,1 0,1 1,0 0))",
                           "POLYGON((0 88,120 88,-120 88,0 88))"});
  res.insert(res.end(), {3, 3, 16, 2});
  for (const auto& [code, asText] : {std::pair{TypedRpnOp{2478}, false}, std::pair{TypedRpnOp{2480}, true}}) {
    Program p;
    p.column(kLoadGeometry, 0).column(kLoadI32, 1).op(code);
    // fills are costly: the standard row counts, but not the large one
    const HarnessResult r =
        HarnessCase(p).addGeometryColumn(wkts).addColumn(res).rowCounts({1, 63, 64, 65}).run();
    for (std::size_t i = 0; i < good; ++i) {
      ASSERT_EQ(r.states[i], 0) << i;
      const std::vector<Cell> got = jsonCells(r.objects[i]);
      EXPECT_TRUE(std::is_sorted(got.begin(), got.end())) << i;
      EXPECT_EQ(got, want[i]) << i << (asText ? " (text)" : "");
    }
    for (std::size_t i = good; i < wkts.size(); ++i)
      EXPECT_EQ(r.states[i], 1) << i;
  }
  // the count and the n-th cell agree with the list: every n below the count, then NULL
  Program count;
  count.column(kLoadGeometry, 0).column(kLoadI32, 1).op(2477);
  const HarnessResult counts =
      HarnessCase(count).addGeometryColumn(wkts).addColumn(res).rowCounts({1, 65}).run();
  for (std::size_t i = 0; i < wkts.size(); ++i)
    EXPECT_EQ(counts.value<long>(i), i < good ? long(want[i].size()) : -1) << i;
  for (std::size_t i = 0; i < good; ++i) {
    std::vector<int> ns(want[i].size() + 1);
    for (std::size_t n = 0; n < ns.size(); ++n)
      ns[n] = int(n);
    Program nth;
    nth.column(kLoadGeometry, 0).constant(kConstI32, res[i]).column(kLoadI32, 1).op(2479);
    std::vector<std::optional<std::string>> same(ns.size(), wkts[i]);
    std::vector<Cell> values(want[i]);
    values.push_back(0);
    std::vector<std::uint8_t> states(want[i].size(), 0);
    states.push_back(1);
    HarnessCase(nth).addGeometryColumn(same).addColumn(ns).rowCounts({65}).expectRows(values, states);
  }
}

TEST(GeoH3, DiskNthCellWalksTheDiskList) {
  for (const json& v : sample("gridDisk", 6)) {
    const Cell origin = cell(v["args"][0]);
    const int k = v["args"][1];
    const std::vector<Cell> want = sorted(cells(v["out"]));
    std::vector<int> ns(want.size() + 2);
    for (std::size_t n = 0; n < ns.size(); ++n)
      ns[n] = int(n) - 1; // -1 and size: out of range
    Program nth;
    nth.constant(kConstU64, origin).constant(kConstI32, k).column(kLoadI32, 0).op(2471);
    const HarnessResult r = HarnessCase(nth).addColumn(ns).run();
    std::vector<Cell> got;
    for (std::size_t i = 1; i + 1 < ns.size(); ++i) {
      EXPECT_EQ(r.states[i], 0);
      got.push_back(r.value<Cell>(i));
    }
    EXPECT_EQ(sorted(got), want);
    EXPECT_EQ(r.states.front(), 1);
    EXPECT_EQ(r.states.back(), 1);
  }
}

// ---- geometries ------------------------------------------------------------------------------------------

std::vector<double> numbersIn(const std::string& wkt) {
  std::vector<double> out;
  std::string token;
  for (char ch : wkt + " ") {
    if ((ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == 'e' || ch == '+') {
      token += ch;
    } else if (!token.empty()) {
      out.push_back(std::stod(token));
      token.clear();
    }
  }
  return out;
}

TEST(GeoH3, CellGeometries) {
  std::vector<Cell> in;
  std::vector<json> boundaries;
  for (const json& v : sample("cellToBoundary", 12)) {
    in.push_back(cell(v["args"][0]));
    boundaries.push_back(v["out"]);
  }
  in.push_back(0);
  const HarnessResult r = HarnessCase(Program().column(kLoadU64, 0).op(2457)).addColumn(in).run();
  for (std::size_t i = 0; i < boundaries.size(); ++i) {
    ASSERT_EQ(r.states[i], 0);
    const std::vector<double> xy = numbersIn(*r.objects[i]);
    ASSERT_EQ(xy.size(), 2 * (boundaries[i].size() + 1)) << *r.objects[i];
    for (std::size_t j = 0; j < boundaries[i].size(); ++j) {
      EXPECT_NEAR(xy[2 * j], boundaries[i][j][1].get<double>(), 1e-9);
      EXPECT_NEAR(xy[2 * j + 1], boundaries[i][j][0].get<double>(), 1e-9);
    }
  }
  EXPECT_EQ(r.states.back(), 1);

  // centres as points, and points back to their cells
  std::vector<Cell> centreCells;
  std::vector<json> centres;
  for (const json& v : sample("cellToLatLng", 12)) {
    centreCells.push_back(cell(v["args"][0]));
    centres.push_back(v["out"]);
  }
  Program point;
  point.column(kLoadU64, 0).op(2466);
  const HarnessResult pts = HarnessCase(point).addColumn(centreCells).run();
  std::vector<std::optional<std::string>> wkts;
  std::vector<int> res;
  for (std::size_t i = 0; i < centres.size(); ++i) {
    const std::vector<double> xy = numbersIn(*pts.objects[i]);
    ASSERT_EQ(xy.size(), 2u);
    EXPECT_NEAR(xy[0], centres[i][1].get<double>(), 1e-9);
    EXPECT_NEAR(xy[1], centres[i][0].get<double>(), 1e-9);
    std::ostringstream o;
    o.precision(17);
    o << "POINT(" << centres[i][1].get<double>() << ' ' << centres[i][0].get<double>() << ')';
    wkts.push_back(o.str());
    res.push_back(vela::h3::getResolution(centreCells[i]));
  }
  std::vector<Cell> back(centreCells);
  std::vector<std::uint8_t> states(back.size(), 0);
  // not a point, no geometry, a resolution out of range
  wkts.insert(wkts.end(), {"LINESTRING(0 0,1 1)", std::nullopt, "POINT(0 0)"});
  res.insert(res.end(), {5, 5, 16});
  back.insert(back.end(), 3, 0);
  states.insert(states.end(), 3, 1);
  HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadI32, 1).op(2468))
      .addGeometryColumn(wkts)
      .addColumn(res)
      .expectRows(back, states);
}

// ---- sizes refused before memory is touched -----------------------------------------------------------

TEST(GeoH3, OversizedListsAreRefusedUpFront) {
  for (TypedRpnOp code : {2470, 2476}) // the disk and its size
    HarnessCase(
        Program().constant(kConstU64, cell(json("8928308280fffff"))).constant(kConstI32, 100000).op(code))
        .expectFault("GeometryUtils::h3GridDisk: the result would hold");
  HarnessCase(Program().column(kLoadGeometry, 0).constant(kConstI32, 15).op(2478))
      .addGeometryColumn({"POLYGON((-10 35,40 35,40 70,-10 70,-10 35))"})
      .expectFault("GeometryUtils::h3PolygonToCells: the result would hold");
}

} // namespace
