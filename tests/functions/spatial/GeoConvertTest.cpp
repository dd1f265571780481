// Conversions between geometries and WKT / WKB, and the null forms and IF of geometries, through both
// evaluators (the harness also checks that every run leaves its pool balanced). Expected texts and
// bytes are written out by hand: WKB as hex of the header (byte order, type) and the IEEE doubles.
#include <memory>
#include <string>
#include <vector>

#include "base/GeometryCodec.h"
#include "tests/functions/text/TextTestSupport.h"
#include "tests/support/EvalHarness.h"
#include "tests/support/PoolBalancedTest.h"
#include "tests/support/StateLoads.h"

using namespace quarry::test;
using namespace std::string_literals;
using StringCell = const InlineBuffer<char>*;

namespace {

constexpr int kLoadGeometry = 236, kConstGeometry = 50;
constexpr int kIsNull = 285, kRemoveNullable = 319, kEmptyFromAny = 638, kFromWktCast = 780,
              kFromWkbCast = 781, kToWkt = 782, kToWkb = 783, kIf = 1223, kAsWkb = 2365, kAsWkt = 2366,
              kStateMax2 = 2597, kFromWkt = 2393, kFromWktSrid = 2394;
constexpr rpn_eval_result_t kBadWkt = vela::cuda::RPN_EVAL_BAD_WKT, kBadWkb = vela::cuda::RPN_EVAL_BAD_WKB;

std::string unhex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

// IEEE doubles, little-endian and big-endian.
const std::string kLe0 = "0000000000000000", kLe1 = "000000000000F03F", kLe2 = "0000000000000040",
                  kLe3 = "0000000000000840", kLeHalf = "000000000000E03F";
const std::string kBe1 = "3FF0000000000000", kBe2 = "4000000000000000", kBe3 = "4008000000000000";

struct TextCase {
  Str in;
  Str out;
  std::uint8_t state;
};

// Text in, text out through the given program on string column 0.
void expectTextTable(const Program& p, const std::vector<TextCase>& cases, rpn_eval_result_t code) {
  std::vector<Str> in, out;
  std::vector<std::uint8_t> states;
  for (const TextCase& c : cases) {
    in.push_back(c.in);
    out.push_back(c.out);
    states.push_back(c.state);
  }
  HarnessCase(p).addStringColumn(in).expectStrings(out, states, code);
}

TEST(GeoConvert, WktCastReadsAndWritesBack) {
  std::vector<TextCase> rows = {{"  point(1   2.5)\n", "POINT (1 2.5)", 0},
                                {"POINT (-0.1 1e3)", "POINT (-0.1 1000)", 0},
                                {"POINT (1 2 3)", "POINT Z (1 2 3)", 0},
                                {"MULTIPOINT (1 2, 3 4)", "MULTIPOINT ((1 2), (3 4))", 0}};
  for (const char* same :
       {"POINT (1 2)", "POINT Z (1 2 3)", "LINESTRING (0 0, 1 1, 2 0)",
        "POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1))", "MULTIPOINT ((1 2), (3 4))",
        "GEOMETRYCOLLECTION (POINT (1 2), LINESTRING EMPTY)", "POLYGON EMPTY", "GEOMETRYCOLLECTION EMPTY"})
    rows.push_back({same, same, 0});
  // Refused texts fail their own row only.
  for (const std::string& bad : {"POINT (1)"s, "POINT (1 2) x"s, "POINT Z (1 2)"s, "POINT M (1 2 3)"s,
                                 "LINESTRING (0 0, 1 1 1)"s, "POLYGON ((0 0, 1 1)"s, "GARBAGE"s, ""s,
                                 "POINT (1 2)\0"s, std::string(1001, '(') + std::string(1001, ')')})
    rows.push_back({bad, std::nullopt, kBadWkt});
  rows.push_back({"POINT (5 6)", "POINT (5 6)", 0});
  expectTextTable(Program().column(kLoadString, 0).op(kFromWktCast).op(kToWkt), rows, kBadWkt);
}

TEST(GeoConvert, WkbCastReadsEitherByteOrderAndZ) {
  std::vector<TextCase> rows = {
      {unhex("0101000000" + kLe1 + kLe2), "POINT (1 2)", 0},
      {unhex("0000000001" + kBe1 + kBe2), "POINT (1 2)", 0},
      // Z by the extended flag and by the ISO code 1001 (0x3E9).
      {unhex("0101000080" + kLe1 + kLe2 + kLe3), "POINT Z (1 2 3)", 0},
      {unhex("00000003E9" + kBe1 + kBe2 + kBe3), "POINT Z (1 2 3)", 0},
      // SRID flag with its four bytes (4326), skipped.
      {unhex("0101000020E6100000" + kLe1 + kLe2), "POINT (1 2)", 0},
      {unhex("010200000002000000" + kLe0 + kLe0 + kLe1 + kLeHalf), "LINESTRING (0 0, 1 0.5)", 0},
      // A multi-point whose member is big-endian inside a little-endian header.
      {unhex("0104000000010000000000000001" + kBe1 + kBe3), "MULTIPOINT ((1 3))", 0},
      {unhex("010700000000000000"), "GEOMETRYCOLLECTION EMPTY", 0}};
  // Truncated, trailing bytes, unknown type, M, empty input, text, a bad byte order, and a line string
  // claiming four billion points in a few bytes.
  for (const std::string& bad :
       {unhex("0101000000" + kLe1 + kLe2.substr(0, 14)), unhex("0101000000" + kLe1 + kLe2 + "00"),
        unhex("0109000000" + kLe1 + kLe2), unhex("0101000040" + kLe1 + kLe2 + kLe3),
        unhex("01D1070000" + kLe1 + kLe2 + kLe3), ""s, "POINT (1 2)"s, unhex("02010000000000"),
        unhex("0102000000FFFFFFFF" + kLe1)})
    rows.push_back({bad, std::nullopt, kBadWkb});
  rows.push_back({unhex("0101000000" + kLe3 + kLe0), "POINT (3 0)", 0});
  expectTextTable(Program().column(kLoadString, 0).op(kFromWkbCast).op(kToWkt), rows, kBadWkb);
}

TEST(GeoConvert, WkbWritersGiveLittleEndianWithExtendedZ) {
  for (int code : {kToWkb, kAsWkb}) {
    SCOPED_TRACE(code);
    const Program p = Program().column(kLoadString, 0).op(kFromWktCast).op(code);
    expectTextTable(
        p,
        {{"POINT (1 2)", unhex("0101000000" + kLe1 + kLe2), 0},
         {"POINT Z (1 2 3)", unhex("0101000080" + kLe1 + kLe2 + kLe3), 0},
         {"LINESTRING (0 0, 1 0.5)", unhex("010200000002000000" + kLe0 + kLe0 + kLe1 + kLeHalf), 0},
         {"POLYGON ((0 0, 1 0, 0 1, 0 0))",
          unhex("01030000000100000004000000" + kLe0 + kLe0 + kLe1 + kLe0 + kLe0 + kLe1 + kLe0 + kLe0), 0},
         {"MULTIPOINT ((1 2))", unhex("0104000000010000000101000000" + kLe1 + kLe2), 0},
         {"GEOMETRYCOLLECTION EMPTY", unhex("010700000000000000"), 0},
         // An empty point is written with NaN coordinates.
         {"POINT EMPTY", unhex("0101000000000000000000F87F000000000000F87F"), 0},
         {"POINT (", std::nullopt, kBadWkt}},
        kBadWkt);
  }
}

// Every text the WKT cast reads comes back from WKB bytes as the same geometry.
TEST(GeoConvert, WkbRoundTripKeepsTheGeometry) {
  const std::vector<Str> texts = {
      "POINT (1 2)",
      "POINT Z (-1.5 2.25 1e-300)",
      "LINESTRING Z (0 0 0, 1 1 1)",
      "POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1))",
      "MULTILINESTRING ((0 0, 1 1), EMPTY)",
      "MULTIPOLYGON (((0 0, 1 0, 0 1, 0 0)))",
      "GEOMETRYCOLLECTION (POINT (1 2), GEOMETRYCOLLECTION (LINESTRING (0 0, 3 3)))",
      "POINT (0.1 0.30000000000000004)",
      std::nullopt};
  const Program direct = Program().column(kLoadString, 0).op(kFromWktCast).op(kToWkt);
  const Program viaWkb =
      Program().column(kLoadString, 0).op(kFromWktCast).op(kToWkb).op(kFromWkbCast).op(kStateMax2).op(kToWkt);
  const HarnessResult a = HarnessCase(direct).addStringColumn(texts).run();
  const HarnessResult b = HarnessCase(viaWkb).addStringColumn(texts).run();
  EXPECT_EQ(a.objects, b.objects);
  EXPECT_EQ(a.objects.back(), std::nullopt);
}

TEST(GeoConvert, GeometryColumnsAndConstantsToText) {
  // A null geometry gives a null string; the int of GEO_AS_WKT is popped and ignored.
  HarnessCase(Program().column(kLoadGeometry, 0).op(kToWkt))
      .addGeometryColumn({"POINT (1 2)", std::nullopt, "LINESTRING (0 0, 1 1)"})
      .expectStrings({"POINT (1 2)", std::nullopt, "LINESTRING (0 0, 1 1)"});
  HarnessCase(Program().column(kLoadGeometry, 0).constant(kConstI32, 4326).op(kAsWkt))
      .addGeometryColumn({"POINT (1 2)", std::nullopt})
      .expectStrings({"POINT (1 2)", std::nullopt});
  std::unique_ptr<geos::geom::Geometry> g;
  ASSERT_TRUE(vela::GeometryCodec::readWkt("POINT Z (1 2 3)", 15, g).ok());
  HarnessCase(Program().pointerConstant(kConstGeometry, g.get()).column(kLoadI32, 0).op(kAsWkt))
      .addColumn(std::vector<std::int32_t>{0, 7})
      .expectStrings({"POINT Z (1 2 3)", "POINT Z (1 2 3)"});
  HarnessCase(Program().pointerConstant(kConstGeometry, g.get()).op(kAsWkb))
      .expectStrings({unhex("0101000080" + kLe1 + kLe2 + kLe3)});
}

TEST(GeoConvert, WktConstructorsEndTheCallOnTheFirstBadText) {
  for (int code : {kFromWkt, kFromWktSrid}) {
    SCOPED_TRACE(code);
    Program p = Program().column(kLoadString, 0);
    if (code == kFromWktSrid)
      p.constant(kConstI32, 4326);
    p.op(code);
    // Results are geometries (shown as WKT by the harness); a null text gives a null geometry.
    HarnessCase(p)
        .addStringColumn({"POINT (1 2)", std::nullopt, "LINESTRING (0 0, 1 1)"})
        .expectStrings({"POINT (1 2)", std::nullopt, "LINESTRING (0 0, 1 1)"}, {0, 0, 0});
    HarnessCase(p)
        .addStringColumn({"POINT (1 2) x", "POINT (3 4)"})
        .expectFault("WKT text has trailing text after the geometry");
  }
}

using GeoConvertFault = PoolBalancedTest;

// The geometries written before the bad text (earlier rows of the batch, intermediate results of
// other batches) are freed when the call ends.
TEST_F(GeoConvertFault, RowsWrittenBeforeTheBadTextAreFreed) {
  StringObjects s;
  std::vector<StringCell> texts;
  for (int i = 0; i < 5000; ++i)
    texts.push_back(s.make(Str(i == 4321 ? "POLYGON ((0 0, 1 0))" : "LINESTRING (0 0, 1 1, 2 2)")));
  for (bool last : {true, false}) {
    SCOPED_TRACE(last);
    Program p = Program().column(kLoadString, 0).op(kFromWkt);
    if (!last)
      p.op(kToWkt);
    const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(texts.data())};
    std::vector<void*> out(texts.size());
    std::vector<unsigned long> sizes(texts.size());
    std::vector<unsigned char> nulls(texts.size());
    EXPECT_THROW(vela::cuda::evaluateTypedRpnHost(p.elements(), columns, 1,
                                                  reinterpret_cast<unsigned char*>(out.data()), nulls.data(),
                                                  sizes.data(), texts.size(), 0, nullptr, nullptr),
                 vela::VelaException);
    // Final results that other tasks finished belong to the caller, who frees them.
    for (std::size_t r = 0; r < out.size(); ++r)
      if (vela::cuda::isOwningReservation(sizes[r])) {
        (last ? vela::cuda::deleteGeometry : vela::cuda::deleteString)(out[r]);
        pool.unreserveRaw(sizes[r]);
      }
  }
}

TEST(GeoConvert, NullFormsAndEmptyCollections) {
  ScopedStateLoads loads;
  const std::vector<Str> wkts = {"POINT (1 2)", std::nullopt, "POINT (3 4)", std::nullopt,
                                 "LINESTRING EMPTY"};
  const std::vector<State> states = {0, 1, 17, 1, 0};
  const std::vector<Str> emptied = {"POINT (1 2)", "GEOMETRYCOLLECTION EMPTY", std::nullopt,
                                    "GEOMETRYCOLLECTION EMPTY", "LINESTRING EMPTY"};
  HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadStates, 1).op(kIsNull))
      .addGeometryColumn(wkts)
      .addColumn(states)
      .expectRows<Bool>({0, 1, 0, 1, 0}, {0, 0, 17, 0, 0});
  // From a column (borrowed) and from an intermediate (handed over): null rows become new empty
  // collections, the others keep their geometry and state.
  HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadStates, 1).op(kRemoveNullable))
      .addGeometryColumn(wkts)
      .addColumn(states)
      .expectStrings(emptied, {0, 0, 17, 0, 0});
  Program owned;
  owned.column(kLoadString, 0).op(kFromWktCast).column(kLoadStates, 1).op(kStateMax2).op(kRemoveNullable);
  HarnessCase(owned).addStringColumn(wkts).addColumn(states).expectStrings(emptied, {0, 0, 17, 0, 0},
                                                                           rpn_eval_result_t(17));
  // Any operand popped (an intermediate geometry freed on the way); every row an empty collection,
  // also when consumed by a later op.
  HarnessCase(Program().column(kLoadString, 0).op(kFromWktCast).op(kEmptyFromAny))
      .addStringColumn(wkts)
      .expectStrings(std::vector<Str>(5, "GEOMETRYCOLLECTION EMPTY"));
  HarnessCase(Program().constant(kConstF64, 2.5).op(kEmptyFromAny).op(kAsWkb))
      .expectStrings({unhex("010700000000000000")});
}

TEST(GeoConvert, IfSelectsTheFirstOnTrue) {
  const std::vector<Str> a = {"POINT (1 1)", "POINT (2 2)", std::nullopt, "POINT (4 4)"};
  const std::vector<Str> b = {"LINESTRING (0 0, 1 1)", "POINT (9 9)", "POINT (8 8)", std::nullopt};
  const std::vector<Bool> c = {1, 0, 2, 0};
  const std::vector<Str> want = {"POINT (1 1)", "POINT (9 9)", std::nullopt, std::nullopt};
  // Columns (borrowed, copied at the end) and intermediates (their reservations handed over).
  HarnessCase(Program().column(kLoadGeometry, 0).column(kLoadGeometry, 1).column(kLoadBool, 2).op(kIf))
      .addGeometryColumn(a)
      .addGeometryColumn(b)
      .addColumn(c)
      .expectStrings(want, {0, 0, 0, 0});
  Program owned;
  owned.column(kLoadString, 0).op(kFromWktCast).column(kLoadString, 1).op(kFromWktCast).op(kStateMax2);
  HarnessCase(owned.column(kLoadBool, 2).op(kIf).op(kToWkt))
      .addStringColumn(a)
      .addStringColumn(b)
      .addColumn(c)
      .expectStrings(want, {0, 0, 0, 0});
}

} // namespace
