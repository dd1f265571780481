// Constructors and transformations of geometries through both evaluators, the results read back as
// WKT by GEO_CAST_TO_WKT. Expected geometries are worked out by hand from the inputs; where vertex
// order or the starting vertex is not the point (hulls, boxes), both sides are normalized and
// compared exactly. The harness checks every run's pool balance.
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <geos/io/WKTReader.h>

#include "base/GeometryCodec.h"
#include "tests/functions/text/TextTestSupport.h"
#include "tests/support/EvalHarness.h"

using namespace quarry::test;

namespace {

constexpr int kLoadGeometry = 236, kConstGeometry = 50, kToWkt = 782;

struct Geo {
  Str wkt;
};
using Arg = std::variant<Geo, double, float, std::int32_t, Bool>;

struct Row {
  int code;
  std::vector<Arg> args; // push order
  Str want;              // nullopt: a null result
  State state = 0;
  bool normalized = false;
};

// The geometry parsed and normalized, as WKT with Z where the geometry has it.
std::string normalizedText(const std::string& wkt) {
  geos::io::WKTReader reader;
  std::unique_ptr<geos::geom::Geometry> g = reader.read(wkt);
  g->normalize();
  return vela::GeometryCodec::writeWkt(*g);
}

// Each row as its own program: geometry operands as columns, numbers as constants, the result
// written as WKT.
void expectRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    Program p;
    std::vector<Str> columns;
    for (const Arg& a : row.args) {
      if (const Geo* g = std::get_if<Geo>(&a)) {
        p.column(kLoadGeometry, static_cast<std::int32_t>(columns.size()));
        columns.push_back(g->wkt);
      } else if (const double* d = std::get_if<double>(&a)) {
        p.constant(kConstF64, *d);
      } else if (const float* f = std::get_if<float>(&a)) {
        p.constant(kConstF32, *f);
      } else if (const std::int32_t* i = std::get_if<std::int32_t>(&a)) {
        p.constant(kConstI32, *i);
      } else {
        p.constant(kConstI8, static_cast<std::int8_t>(std::get<Bool>(a)));
      }
    }
    p.op(row.code).op(kToWkt);
    HarnessCase c(p);
    for (const Str& w : columns)
      c.addGeometryColumn({w});
    SCOPED_TRACE(std::to_string(row.code) + " -> " + row.want.value_or("null"));
    const HarnessResult r = c.run();
    HarnessCase::checkStates(r, {row.state}, vela::cuda::RPN_EVAL_OK);
    ASSERT_EQ(r.objects.size(), 1u);
    if (!row.want || !r.objects[0]) {
      EXPECT_EQ(r.objects[0], row.want);
    } else if (row.normalized) {
      EXPECT_EQ(normalizedText(*r.objects[0]), normalizedText(*row.want)) << *r.objects[0];
    } else {
      EXPECT_EQ(r.objects[0], row.want);
    }
  }
}

const Geo kLine{"LINESTRING (0 0, 1 1, 2 0)"};
const Geo kNull{std::nullopt};
const Geo kHoled{"POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1))"};

TEST(GeoConstruct, FromCoordinatesAndGeometries) {
  expectRows({
      {2364, {kLine, Geo{"POINT (5 5)"}, 0}, "LINESTRING (5 5, 0 0, 1 1, 2 0)"},
      {2364, {kLine, Geo{"POINT (5 5)"}, 2}, "LINESTRING (0 0, 1 1, 5 5, 2 0)"},
      {2364, {kLine, Geo{"POINT (5 5)"}, -1}, "LINESTRING (0 0, 1 1, 2 0, 5 5)"},
      {2364, {kLine, Geo{"POINT (5 5)"}, 9}, std::nullopt, 1},
      {2364, {kLine, kNull, 0}, std::nullopt, 1},
      {2376, {Geo{"POINT (1 2)"}, Geo{"POINT (3 4)"}}, "MULTIPOINT ((1 2), (3 4))"},
      {2376,
       {Geo{"POINT (1 2)"}, Geo{"LINESTRING (0 0, 1 1)"}},
       "GEOMETRYCOLLECTION (POINT (1 2), LINESTRING (0 0, 1 1))"},
      {2376, {kNull, Geo{"POINT (3 4)"}}, "POINT (3 4)"},
      {2404, {Geo{"MULTIPOINT ((0 0), (1 1))"}}, "LINESTRING (0 0, 1 1)"},
      {2404, {Geo{"MULTIPOINT ((0 0))"}}, std::nullopt, 1},
      {2404, {Geo{"POINT (0 0)"}}, std::nullopt, 1},
      {2405, {Geo{"MULTIPOINT ((0 0), (1 1), (2 0))"}, 4326}, "LINESTRING (0 0, 1 1, 2 0)"},
      {2405, {kNull, 0}, std::nullopt, 1},
      {2406, {Geo{"POINT Z (0 0 5)"}, Geo{"POINT Z (1 1 1)"}}, "LINESTRING Z (0 0 5, 1 1 1)"},
      {2406, {Geo{"POINT (0 0)"}, Geo{"LINESTRING (1 1, 2 2)"}}, "LINESTRING (0 0, 1 1, 2 2)"},
      {2406, {Geo{"POINT (0 0)"}, kNull}, std::nullopt, 1},
      {2407, {0.0, 0.0, 2.0, 1.0}, "POLYGON ((0 0, 2 0, 2 1, 0 1, 0 0))", 0, true},
      {2408, {1.5, -2.0}, "POINT (1.5 -2)"},
      {2417, {-0.25, 1e10}, "POINT (-0.25 1e+10)"},
      {2409, {Geo{"LINESTRING (0 0, 1 0, 1 1, 0 0)"}}, "POLYGON ((0 0, 1 0, 1 1, 0 0))"},
      {2409, {Geo{"LINESTRING (0 0, 1 0, 1 1)"}}, std::nullopt, 1},
      {2410, {0.0, 0.0, 1.0, 0.0, 0.0, 1.0}, "POLYGON ((0 0, 1 0, 0 1, 0 0))"},
      {2411, {0.0, 0.0, 1.0, 1.0, 0.0, 2.0, 0.0, 1.0, 3.0}, "POLYGON Z ((0 0 1, 1 0 2, 0 1 3, 0 0 1))"},
      {2413, {Geo{"POINT (1 2)"}}, "MULTIPOINT ((1 2))"},
      {2413, {kLine}, "MULTILINESTRING ((0 0, 1 1, 2 0))"},
      {2413, {Geo{"MULTIPOINT ((1 2))"}}, "MULTIPOINT ((1 2))"},
      {2413, {kNull}, std::nullopt},
  });
}

TEST(GeoTransform, PartsOfGeometries) {
  expectRows({
      {2369, {kLine}, "MULTIPOINT ((0 0), (2 0))"},
      {2369, {kNull}, std::nullopt, 1},
      {2370, {Geo{"LINESTRING (0 0, 2 3, 4 1)"}, Bool(0)}, "LINESTRING (0 0, 4 3)"},
      {2370, {Geo{"LINESTRING (0 0, 2 3, 4 1)"}, Bool(1)}, "LINESTRING (0 3, 4 0)"},
      {2384, {kLine}, "POINT (2 0)"},
      {2384, {kNull}, std::nullopt, 1},
      {2441, {kLine}, "POINT (0 0)"},
      {2388, {kHoled}, "LINESTRING (0 0, 4 0, 4 4, 0 0)"},
      {2388, {kLine}, std::nullopt, 1},
      {2397, {kHoled, 1}, "LINESTRING (1 1, 2 1, 2 2, 1 1)"},
      {2397, {kHoled, 2}, std::nullopt, 1},
      {2397, {kHoled, 0}, std::nullopt, 1},
      {2392, {Geo{"MULTIPOINT ((1 2), (3 4))"}, 2}, "POINT (3 4)"},
      {2392, {Geo{"MULTIPOINT ((1 2), (3 4))"}, 3}, std::nullopt, 1},
      {2421, {kLine, 2}, "POINT (1 1)"},
      {2421, {kLine, 4}, std::nullopt, 1},
      {2422, {Geo{"POLYGON ((0 0, 1 0, 0 1, 0 0))"}}, "MULTIPOINT ((0 0), (1 0), (0 1), (0 0))"},
      {2424, {kLine, 1}, "LINESTRING (0 0, 2 0)"},
      {2424, {kLine, -1}, "LINESTRING (0 0, 1 1)"},
      {2424, {Geo{"LINESTRING (0 0, 1 1)"}, 0}, std::nullopt, 1},
      {2432, {kLine, 1, Geo{"POINT (5 5)"}}, "LINESTRING (0 0, 5 5, 2 0)"},
      {2432, {kLine, -1, Geo{"POINT (5 5)"}}, "LINESTRING (0 0, 1 1, 5 5)"},
      {2432, {kLine, 3, Geo{"POINT (5 5)"}}, std::nullopt, 1},
  });
}

TEST(GeoTransform, CoordinatesChanged) {
  expectRows({
      {2373, {Geo{"POLYGON ((0 0, 4 0, 4 2, 0 2, 0 0))"}}, "POINT (2 1)"},
      {2373, {Geo{"LINESTRING (0 0, 2 0)"}}, "POINT (1 0)"},
      {2373, {Geo{"MULTIPOINT ((0 0), (2 2))"}}, "POINT (1 1)"},
      {2380, {Geo{"MULTIPOINT ((0 0), (2 0), (1 1), (1 3))"}}, "POLYGON ((0 0, 2 0, 1 3, 0 0))", 0, true},
      {2389, {Geo{"POINT Z (1 2 3)"}}, "POINT (1 2)"},
      {2389, {Geo{"LINESTRING Z (0 0 1, 1 1 2)"}}, "LINESTRING (0 0, 1 1)"},
      {2390, {Geo{"POINT (1 2)"}, 7.0}, "POINT Z (1 2 7)"},
      {2390, {kNull, 7.0}, std::nullopt, 1},
      {2426, {kLine}, "LINESTRING (2 0, 1 1, 0 0)"},
      {2426, {kNull}, std::nullopt},
      {2429, {Geo{"LINESTRING (1 1, 2 3)"}, 2.0f, 3.0f}, "LINESTRING (2 3, 4 9)"},
      {2429, {Geo{"POINT (1 1)"}, -1.0f, 0.5f}, "POINT (-1 0.5)"},
      {2443, {Geo{"POINT (1 2)"}, 0.5f, -1.0f}, "POINT (1.5 1)"},
      {2443, {Geo{"POINT Z (1 2 3)"}, 1.0f, 1.0f}, "POINT Z (2 3 3)"},
  });
}

const Geo kLeftSquare{"POLYGON ((0 0, 2 0, 2 2, 0 2, 0 0))"},
    kRightSquare{"POLYGON ((1 0, 3 0, 3 2, 1 2, 1 0))"};

TEST(GeoTransform, EnvelopesAndSimplification) {
  const Geo unit{"POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))"};
  expectRows({
      {2385, {Geo{"LINESTRING (0 0, 2 3, 4 1)"}, 0}, "POLYGON ((0 0, 4 0, 4 3, 0 3, 0 0))", 0, true},
      {2385, {Geo{"POINT (1 2)"}, 0}, "POINT (1 2)"},
      {2385, {Geo{"POINT EMPTY"}, 0}, std::nullopt, 1},
      {2385, {kNull, 0}, std::nullopt, 1},
      // Douglas-Peucker drops a ring narrower than the tolerance; the topology-preserving form keeps it.
      {2436, {Geo{"LINESTRING (0 0, 1 0.1, 2 0)"}, 0.5, 0}, "LINESTRING (0 0, 2 0)"},
      {2436, {unit, 10.0, 0}, "POLYGON EMPTY"},
      {2436, {unit, 10.0, 7}, "POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))", 0, true},
      {2437, {unit, 10.0}, "POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))", 0, true},
      {2437, {Geo{"LINESTRING (0 0, 1 0.1, 2 0)"}, 0.5}, "LINESTRING (0 0, 2 0)"},
  });
  // A metric the library does not know, and a negative tolerance, end the call.
  HarnessCase(Program().column(kLoadGeometry, 0).constant(kConstI32, 3).op(2385))
      .addGeometryColumn({"POINT (1 2)"})
      .expectFault("GeometryUtils::envelope: unknown metric 3");
  HarnessCase(Program().column(kLoadGeometry, 0).constant(kConstF64, -1.0).op(2437))
      .addGeometryColumn({"POINT (1 2)"})
      .expectFault("GeometryUtils::simplifyPreserveTopology");
}

TEST(GeoTransform, LinesAndSetOperations) {
  const Geo mixed{"GEOMETRYCOLLECTION (POINT (1 2), LINESTRING (0 0, 1 1))"};
  expectRows({
      {2377, {mixed, 1}, "MULTIPOINT ((1 2))"},
      {2377, {mixed, 2}, "MULTILINESTRING ((0 0, 1 1))"},
      {2377, {kNull, 1}, std::nullopt, 1},
      {2378, {Geo{"GEOMETRYCOLLECTION (POINT (1 2), POINT (3 4))"}}, "MULTIPOINT ((1 2), (3 4))"},
      {2378, {Geo{"GEOMETRYCOLLECTION (POINT (1 2))"}}, "POINT (1 2)"},
      {2381, {kLeftSquare, kRightSquare}, "POLYGON ((0 0, 1 0, 1 2, 0 2, 0 0))", 0, true},
      {2381, {kNull, kRightSquare}, std::nullopt, 1},
      {2386, {Geo{"LINESTRING (0 0, 2 1)"}, 1.0f}, "POLYGON ((-1 -1, 3 -1, 3 2, -1 2, -1 -1))", 0, true},
      {2399, {Geo{"LINESTRING (0 0, 4 0)"}, 0.25}, "POINT (1 0)"},
      {2399, {Geo{"LINESTRING (0 0, 2 0, 2 2)"}, 0.75}, "POINT (2 1)"},
      {2401, {Geo{"MULTILINESTRING ((0 0, 1 1), (1 1, 2 0))"}}, "LINESTRING (0 0, 1 1, 2 0)", 0, true},
      {2402, {Geo{"LINESTRING (0 0, 4 0)"}, 0.25, 0.75}, "LINESTRING (1 0, 3 0)"},
      {2416, {Geo{"LINESTRING (2 0, 0 0)"}}, "LINESTRING (0 0, 2 0)"},
      {2425, {Geo{"LINESTRING (0 0, 0 0, 1 1)"}, 0.0f}, "LINESTRING (0 0, 1 1)"},
      {2434, {Geo{"POINT (-170 10)"}}, "POINT (190 10)"},
      {2434, {Geo{"POINT (170 10)"}}, "POINT (170 10)"},
      {2435, {Geo{"POINT (0 0)"}, Geo{"LINESTRING (1 -1, 1 1)"}}, "LINESTRING (0 0, 1 0)"},
      {2435, {Geo{"POINT (0 0)"}, kNull}, std::nullopt, 1},
      {2442,
       {kLeftSquare, kRightSquare},
       "MULTIPOLYGON (((0 0, 1 0, 1 2, 0 2, 0 0)), ((2 0, 3 0, 3 2, 2 2, 2 0)))",
       0,
       true},
      {2446, {Geo{"POINT (1 1)"}, Geo{"POINT (2 2)"}}, "MULTIPOINT ((1 1), (2 2))", 0, true},
      {2446, {Geo{"POINT (1 1)"}, Geo{"POINT (1 1)"}}, "POINT (1 1)"},
      {2447, {Geo{"MULTIPOINT ((1 1), (1 1), (2 2))"}}, "MULTIPOINT ((1 1), (2 2))", 0, true},
  });
}

// A constant geometry operand is read by every task of every batch; its result is the same in each
// row, and an intermediate operand's result replaces it (the input freed by its entry).
TEST(GeoTransform, ConstantAndIntermediateOperands) {
  std::unique_ptr<geos::geom::Geometry> holed;
  ASSERT_TRUE(vela::GeometryCodec::readWkt(kHoled.wkt->data(), kHoled.wkt->size(), holed).ok());
  HarnessCase(Program().pointerConstant(kConstGeometry, holed.get()).column(kLoadI32, 0).op(2397).op(kToWkt))
      .addColumn(std::vector<std::int32_t>{1, 2, 1})
      .expectStrings({"LINESTRING (1 1, 2 1, 2 2, 1 1)", std::nullopt, "LINESTRING (1 1, 2 1, 2 2, 1 1)"},
                     {0, 1, 0});
  HarnessCase(Program()
                  .column(kLoadGeometry, 0)
                  .constant(kConstF32, 1.0f)
                  .constant(kConstF32, 2.0f)
                  .op(2443)
                  .op(2426)
                  .op(kToWkt))
      .addGeometryColumn({"LINESTRING (0 0, 1 1)", std::nullopt, "POINT (0 0)"})
      .expectStrings({"LINESTRING (2 3, 1 2)", std::nullopt, "POINT (1 2)"}, {0, 0, 0});
}

} // namespace
