// WKT and WKB under the nesting caps: refusals, the depth boundary, Z kept, and writers and frees that
// take geometries of any depth.
#include <bit>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <geos/geom/GeometryCollection.h>
#include <geos/io/WKBReader.h>
#include <geos/io/WKTReader.h>
#include <gtest/gtest.h>

#include "base/GeometryCodec.h"
#include "tests/support/Nesting.h"

using geos::geom::Geometry;
using vela::GeometryCodec;

namespace {

using quarry::test::nestedText;

std::string nestedWkt(std::size_t collections, const std::string& inner) {
  return nestedText(collections, "GEOMETRYCOLLECTION (", inner, ")");
}

// Reads WKT, or WKB when `wkb` is set.
vela::Status read(const std::string& in, std::unique_ptr<Geometry>& out, bool wkb = false) {
  return wkb ? GeometryCodec::readWkb(reinterpret_cast<const unsigned char*>(in.data()), in.size(), out)
             : GeometryCodec::readWkt(in.data(), in.size(), out);
}

std::string fromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// Little-endian WKB header, followed by a 32-bit count unless it is negative.
std::string wkbHeader(std::uint32_t type, std::int64_t count = -1) {
  std::string out(1, '\x01');
  for (int i = 0; i < (count < 0 ? 4 : 8); ++i)
    out += static_cast<char>(((i < 4 ? type : static_cast<std::uint32_t>(count)) >> (8 * (i % 4))) & 0xFF);
  return out;
}

const std::string kPoint12 = fromHex("0101000000000000000000F03F0000000000000040"); // POINT (1 2)
const std::string kBigEndian = fromHex("00000000013FF00000000000004000000000000000");
const std::string kPointZ = fromHex("0101000080000000000000F03F00000000000000400000000000000840");

std::string nestedWkb(std::size_t collections, const std::string& inner) {
  return nestedText(collections, wkbHeader(7, 1), inner, "");
}

const char kTooDeep[] = "nests deeper than the limit of 1000 levels";

} // namespace

// The cap leaves room for the geometry library's recursive reader, clone and destructor on a stack
// half the size of a worker thread's, sanitizer builds included.
TEST(GeometryCodec, GeometriesAtTheLimitFitInASmallStack) {
  const std::string wkt =
      nestedWkt(GeometryCodec::kMaxWktDepth - 2, "POLYGON Z ((0 0 0, 1 0 0, 1 1 0, 0 0 0))");
  const std::string wkb = nestedWkb(GeometryCodec::kMaxWkbDepth - 1, kPoint12);
  bool done = false;
  std::function<void()> work = [&] {
    std::unique_ptr<Geometry> a, b;
    if (!read(wkt, a).ok() || !read(wkb, b, true).ok())
      return;
    std::unique_ptr<Geometry> copy = a->clone();
    done = copy->equalsExact(a.get()) && GeometryCodec::writeWkt(*b) == GeometryCodec::writeWkt(*b->clone());
    copy.reset(); // the library's own recursive destructor
  };
  ASSERT_TRUE(quarry::test::runOnSmallStack(work));
  EXPECT_TRUE(done);
}

TEST(GeometryCodec, Refusals) {
  const std::string incomplete = "ends before the geometry is complete",
                    shortWkb = "end before the geometry is complete";
  // clang-format off
  const std::tuple<bool, std::string, std::string> cases[] = {
      {false, "POINT(1 2) trailing", "trailing text after the geometry"}, {false, "POINT(1 2", incomplete},
      {false, "POINT EMPTY POINT EMPTY", "trailing text after the geometry"}, {false, "", incomplete},
      {false, "POINT M (1 2 3)", "M coordinates"},
      {false, "LINESTRING ZM (1 2 3 4, 5 6 7 8)", "M coordinates"},
      {false, "POINT (1 2 3 4)", "more than three numbers"}, {false, "POINT (1)", "fewer than two numbers"},
      {false, "LINESTRING (0 0 1, 1 1)", "mixes coordinates"}, {false, ") POINT", "outside the geometry"},
      {false, "POINT Z (1 2)", "tagged Z but has a coordinate of 2 numbers"},
      {false, "POLYGON Z ((0 0 0, 1 0 0, 1 1 0, 0 0 0), (0 0, 1 0, 1 1, 0 0))", "tagged Z"},
      {false, std::string("POINT (1\0 2)", 12), "unexpected character"},
      {false, "CIRCLE (1 2)", "is not valid"},
      {false, "POLYGON ((0 0, 1 0, 1 1))", "is not valid"},
      {true, "", shortWkb}, {true, wkbHeader(2, 0xFFFFFFFF), shortWkb},
      {true, wkbHeader(7, 2) + kPoint12, shortWkb},
      {true, kPoint12 + '\0', "1 trailing bytes"}, {true, '\x02' + kPoint12.substr(1), "unknown byte order"},
      {true, wkbHeader(1 | 0x40000000u) + std::string(24, '\0'), "M coordinates"},
      {true, wkbHeader(2001) + std::string(24, '\0'), "M coordinates"},
      {true, wkbHeader(8), "unsupported geometry type"}, {true, wkbHeader(0), "unsupported geometry type"},
      {true, wkbHeader(4, 1) + wkbHeader(2, 0), "is not valid"}, // a multi-point holding a line
  };
  // clang-format on
  for (const auto& [wkb, in, reason] : cases) {
    std::unique_ptr<Geometry> g;
    const vela::Status status = read(in, g, wkb);
    EXPECT_EQ(status.kind(), vela::StatusEnum::InvalidArgument) << reason;
    EXPECT_NE(status.message().find(reason), std::string::npos) << status.message();
    EXPECT_EQ(g, nullptr);
  }
  // Every proper prefix of a valid encoding is refused as short.
  const std::string collection = wkbHeader(7, 2) + kPointZ + kBigEndian;
  for (std::size_t length = 0; length < collection.size(); ++length) {
    std::unique_ptr<Geometry> out;
    EXPECT_FALSE(read(collection.substr(0, length), out, true).ok()) << length;
  }
}

TEST(GeometryCodec, DepthLimit) {
  const std::size_t n = GeometryCodec::kMaxGeometryDepth;
  // clang-format off
  const std::tuple<bool, std::string, std::size_t> cases[] = { // depth 0: refused for its depth
      {false, nestedWkt(n - 1, "POINT (1 2)"), n}, {false, nestedWkt(n, "POINT (1 2)"), 0},
      {false, nestedWkt(n - 1, "POINT EMPTY"), n}, {false, nestedWkt(n, "POINT EMPTY"), 0}, // EMPTY: a level
      // a polygon is one level in two parentheses; a multi-point's members nest without any
      {false, nestedWkt(n - 2, "POLYGON ((0 0, 1 0, 1 1, 0 0))"), n - 1},
      {false, nestedWkt(n - 1, "POLYGON ((0 0, 1 0, 1 1, 0 0))"), 0},
      {false, nestedWkt(n - 2, "MULTIPOINT (1 2)"), n}, {false, nestedWkt(n - 1, "MULTIPOINT (1 2)"), 0},
      {false, std::string(50000, '('), 0}, {true, nestedWkb(n - 1, kPoint12), n},
      {true, nestedWkb(n, kPoint12), 0}, {true, nestedWkb(50000, kPoint12), 0},
  };
  // clang-format on
  for (const auto& [wkb, in, depth] : cases) {
    std::unique_ptr<Geometry> g;
    const vela::Status status = read(in, g, wkb);
    if (depth == 0) {
      EXPECT_EQ(status.kind(), vela::StatusEnum::InvalidArgument) << in.substr(0, 60);
      EXPECT_NE(status.message().find(kTooDeep), std::string::npos) << status.message();
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(GeometryCodec::depth(*g), depth);
    // Clone, write and read back through both forms, free: all at the limit.
    const std::string wkt = GeometryCodec::writeWkt(*g->clone());
    std::unique_ptr<Geometry> again, fromWkb;
    ASSERT_TRUE(read(wkt, again).ok());
    EXPECT_EQ(GeometryCodec::writeWkt(*again), wkt);
    ASSERT_TRUE(read(GeometryCodec::writeWkb(*g), fromWkb, true).ok());
    EXPECT_EQ(GeometryCodec::writeWkt(*fromWkb), wkt);
    EXPECT_TRUE(!wkb || GeometryCodec::writeWkb(*g) == in);
    vela::destroyGeometry(g.release());
  }
}

// Expected texts are written by hand: names upper case, Z kept, shortest exact numbers.
TEST(GeometryCodec, TextKeepsZAndExactNumbers) {
  // clang-format off
  const std::tuple<bool, std::string, std::string> cases[] = {
      {false, "POINT Z (1 2 3)", "POINT Z (1 2 3)"}, {false, "point(1 2 3)", "POINT Z (1 2 3)"},
      {false, " POINT (0.1 -2.5e-20) ", "POINT (0.1 -2.5e-20)"},
      {false, "POINT (-0 5e-324)", "POINT (-0 5e-324)"},
      {false, "POINT (1e300 123456789012345678)", "POINT (1e+300 123456789012345680)"},
      {false, "POINT (NaN -inf)", "POINT (NaN -Inf)"}, {false, "POINT EMPTY", "POINT EMPTY"},
      {false, "POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1))",
       "POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1))"},
      {false, "MULTIPOINT (1 2, 3 4)", "MULTIPOINT ((1 2), (3 4))"},
      {false, "MULTILINESTRING ((0 0, 1 1), EMPTY)", "MULTILINESTRING ((0 0, 1 1), EMPTY)"},
      {false, "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)))", "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)))"},
      // Members of one multi-geometry that differ in Z: no tag (a Z tag would cover the 2D member).
      {false, "MULTIPOINT ((1 2), (3 3 44))", "MULTIPOINT ((1 2), (3 3 44))"},
      {false, "POLYGON ((0 0, 1 0, 1 1, 0 0), EMPTY)", "POLYGON ((0 0, 1 0, 1 1, 0 0), EMPTY)"},
      {false, "MULTILINESTRING Z ((0 0 1, 1 1 1), EMPTY)", "MULTILINESTRING Z ((0 0 1, 1 1 1), EMPTY)"},
      {false, "GEOMETRYCOLLECTION (POINT (1 2), LINESTRING Z (0 0 1, 1 1 2))",
       "GEOMETRYCOLLECTION Z (POINT (1 2), LINESTRING Z (0 0 1, 1 1 2))"},
      {false, "GEOMETRYCOLLECTION (POINT EMPTY, GEOMETRYCOLLECTION EMPTY)",
       "GEOMETRYCOLLECTION (POINT EMPTY, GEOMETRYCOLLECTION EMPTY)"},
      {true, kPoint12, "POINT (1 2)"}, {true, kBigEndian, "POINT (1 2)"}, {true, kPointZ, "POINT Z (1 2 3)"},
      {true, fromHex("01E9030000000000000000F03F00000000000000400000000000000840"), "POINT Z (1 2 3)"}, // ISO
      {true, fromHex("0101000020E6100000000000000000F03F0000000000000040"), "POINT (1 2)"}, // with an SRID
      {true, wkbHeader(7, 0), "GEOMETRYCOLLECTION EMPTY"},
      {true, wkbHeader(4, 2) + kPoint12 + kBigEndian, "MULTIPOINT ((1 2), (1 2))"},
  };
  // clang-format on
  for (const auto& [wkb, in, expected] : cases) {
    std::unique_ptr<Geometry> g, viaWkb;
    const vela::Status status = read(in, g, wkb);
    ASSERT_TRUE(status.ok()) << expected << ": " << status.message();
    EXPECT_EQ(GeometryCodec::writeWkt(*g), expected);
    ASSERT_TRUE(read(GeometryCodec::writeWkb(*g), viaWkb, true).ok()) << expected;
    EXPECT_EQ(GeometryCodec::writeWkt(*viaWkb), expected); // the same geometry, Z included
  }
  // The writer's bytes are the reference encodings: little-endian, Z by the extended flag.
  const std::pair<std::string, std::string> written[] = {{kPointZ, kPointZ}, {kBigEndian, kPoint12}};
  for (const auto& [in, out] : written) {
    std::unique_ptr<Geometry> g;
    ASSERT_TRUE(read(in, g, true).ok());
    EXPECT_EQ(GeometryCodec::writeWkb(*g), out);
  }
}

// Built by hand far deeper than any reader accepts: written and freed without recursion.
TEST(GeometryCodec, WritersAndFreeTakeAnyDepth) {
  const std::size_t n = 30000;
  std::unique_ptr<Geometry> g;
  ASSERT_TRUE(read("POINT (1 2)", g).ok());
  for (std::size_t i = 1; i < n; ++i) {
    std::vector<std::unique_ptr<Geometry>> members;
    members.push_back(std::move(g));
    g = vela::sharedGeometryFactory().createGeometryCollection(std::move(members));
  }
  EXPECT_EQ(GeometryCodec::depth(*g), n);
  EXPECT_EQ(GeometryCodec::depth(*g, 10), 11u);
  EXPECT_EQ(GeometryCodec::writeWkt(*g), nestedWkt(n - 1, "POINT (1 2)"));
  EXPECT_EQ(GeometryCodec::writeWkb(*g), nestedWkb(n - 1, kPoint12));
  vela::destroyGeometry(g.release());
  vela::destroyGeometry(nullptr);
}

TEST(GeometryCodec, ManagedReadChargesTheFootprint) {
  vela::ManagedGeometryPtr managed;
  const std::string text = "LINESTRING Z (0 0 1, 1 1 2)", bad = "POINT (1 2) x";
  const std::size_t charged = vela::ManagedGeometryPtr::kComponentBytes + 2 * 24; // two XYZ doubles
  ASSERT_TRUE(GeometryCodec::readWkt(text.data(), text.size(), managed).ok());
  EXPECT_EQ(managed.reservedBytes(), charged);
  // A refusal leaves the wrapper as it was.
  EXPECT_FALSE(GeometryCodec::readWkt(bad.data(), bad.size(), managed).ok());
  EXPECT_FALSE(GeometryCodec::readWkb(nullptr, 0, managed).ok());
  EXPECT_EQ(GeometryCodec::writeWkt(*managed.get()), text);
  EXPECT_EQ(managed.reservedBytes(), charged);
}

// The direct decoders of single-part rows against the library's own readers: same acceptance, refusal
// text, type, dimension and coordinate bits (through the WKB writer, which keeps NaN payloads and -0).
class DirectDecoding : public ::testing::Test {
protected:
  std::mt19937_64 rng{20261207};
  std::size_t pick(std::size_t n) { return static_cast<std::size_t>(rng() % n); }

  double coordinate() {
    static const double special[] = {0.0,
                                     -0.0,
                                     1.0,
                                     -1.5,
                                     1e308,
                                     -4.9e-324,
                                     0.1,
                                     123456.789,
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::infinity()};
    if (pick(3) == 0)
      return special[pick(std::size(special))];
    return std::ldexp(static_cast<double>(static_cast<std::int64_t>(rng())),
                      static_cast<int>(pick(80)) - 100);
  }

  template <class Reference>
  void expectSame(const std::string& in, bool wkb, Reference&& reference) {
    SCOPED_TRACE(wkb ? "wkb " + std::to_string(in.size()) + " bytes" : "wkt " + in);
    std::unique_ptr<Geometry> ours, theirs;
    const vela::Status status = read(in, ours, wkb);
    std::string refusal;
    try {
      theirs = reference(in);
    } catch (const std::exception& e) {
      refusal = std::string(wkb ? "WKB bytes" : "WKT text") + " is not valid: " + e.what();
    }
    if (!status.ok() && status.toString().find("is not valid") == std::string::npos)
      return; // refused by the scan before either reader runs
    ASSERT_EQ(status.ok(), theirs != nullptr) << status.toString() << " / " << refusal;
    if (!status.ok()) {
      EXPECT_NE(status.toString().find(refusal), std::string::npos) << status.toString();
      return;
    }
    EXPECT_EQ(ours->getGeometryTypeId(), theirs->getGeometryTypeId());
    EXPECT_EQ(ours->getCoordinateDimension(), theirs->getCoordinateDimension());
    EXPECT_EQ(GeometryCodec::writeWkb(*ours), GeometryCodec::writeWkb(*theirs));
    EXPECT_EQ(GeometryCodec::writeWkt(*ours), GeometryCodec::writeWkt(*theirs));
  }
};

TEST_F(DirectDecoding, WktPointsMatchTheLibraryReader) {
  const geos::io::WKTReader reader(vela::sharedGeometryFactory());
  const char* forms[] = {"%.17g", "%.3f", "%e", "%+.9E", "%g"};
  const char* heads[] = {"POINT (", "point(", "Point Z (", "POINT\tz(", " POINT  (  "};
  for (int i = 0; i < 3000; ++i) {
    std::string text = heads[pick(std::size(heads))];
    const std::size_t n = text.find_first_of("zZ") != std::string::npos || pick(3) == 0 ? 3 : 2;
    for (std::size_t k = 0; k < n; ++k) {
      char number[64];
      std::snprintf(number, sizeof number, forms[pick(std::size(forms))], coordinate());
      static const char* oddities[] = {".5", "5.", "-0", "+7", "1e400", "0x1p3", "1e-400", "00012.50"};
      text += (pick(10) == 0 ? std::string(oddities[pick(std::size(oddities))]) : std::string(number));
      text += k + 1 < n ? (pick(2) ? " " : "   ") : "";
    }
    text += pick(2) ? ")" : " ) ";
    expectSame(text, false, [&](const std::string& t) { return reader.read(t); });
  }
}

TEST_F(DirectDecoding, WkbLinesAndPolygonsMatchTheLibraryReader) {
  for (int i = 0; i < 3000; ++i) {
    const bool big = pick(2) == 0, polygon = pick(2) == 0, z = pick(2) == 0, iso = z && pick(2) == 0,
               srid = pick(8) == 0;
    std::string bytes(1, big ? '\0' : '\1');
    const auto u32 = [&](std::uint32_t v) {
      for (int b = 0; b < 4; ++b)
        bytes += static_cast<char>(big ? v >> (24 - 8 * b) : v >> (8 * b));
    };
    const auto f64 = [&](double d) {
      const auto v = std::bit_cast<std::uint64_t>(d);
      for (int b = 0; b < 8; ++b)
        bytes += static_cast<char>(big ? v >> (56 - 8 * b) : v >> (8 * b));
    };
    const std::uint32_t kind = polygon ? 3 : 2;
    u32((iso ? 1000 + kind : kind) | (z && !iso ? 0x80000000u : 0u) | (srid ? 0x20000000u : 0u));
    if (srid)
      u32(4326);
    const auto sequence = [&](bool ring) {
      const std::uint32_t n = static_cast<std::uint32_t>(pick(7));
      u32(n);
      std::vector<double> first;
      for (std::uint32_t k = 0; k < n; ++k)
        for (int d = 0; d < (z ? 3 : 2); ++d) {
          // Rings close unless the dice say otherwise, so both outcomes of the ring checks occur.
          const double v =
              ring && k + 1 == n && n > 1 && pick(4) != 0 ? first[static_cast<std::size_t>(d)] : coordinate();
          if (k == 0)
            first.push_back(v);
          f64(v);
        }
    };
    if (polygon) {
      const std::uint32_t rings = static_cast<std::uint32_t>(pick(4));
      u32(rings);
      for (std::uint32_t r = 0; r < rings; ++r)
        sequence(true);
    } else {
      sequence(false);
    }
    expectSame(bytes, true, [](const std::string& b) {
      geos::io::WKBReader reader(vela::sharedGeometryFactory());
      return reader.read(reinterpret_cast<const unsigned char*>(b.data()), b.size());
    });
  }
}
