// WKT and WKB under the nesting caps: refusals, the depth boundary, Z kept, and writers and frees that
// take geometries of any depth.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <geos/geom/GeometryCollection.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include "base/GeometryCodec.h"

using geos::geom::Geometry;
using vela::GeometryCodec;

namespace {

std::string repeat(const std::string& s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i)
    out += s;
  return out;
}

// `collections` nested geometry collections around `inner`.
std::string nestedWkt(std::size_t collections, const std::string& inner) {
  return repeat("GEOMETRYCOLLECTION (", collections) + inner + repeat(")", collections);
}

vela::Status readWkt(const std::string& text, std::unique_ptr<Geometry>& out) {
  return GeometryCodec::readWkt(text.data(), text.size(), out);
}

vela::Status readWkb(const std::string& bytes, std::unique_ptr<Geometry>& out) {
  return GeometryCodec::readWkb(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
}

std::string fromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// Little-endian WKB written by hand: header, then the payload.
std::string wkbHeader(std::uint32_t type) {
  std::string out(1, '\x01');
  for (int i = 0; i < 4; ++i)
    out += static_cast<char>((type >> (8 * i)) & 0xFF);
  return out;
}

const std::string kPoint12 = fromHex("0101000000000000000000F03F0000000000000040"); // POINT (1 2)

std::string nestedWkb(std::size_t collections, const std::string& inner) {
  std::string out;
  for (std::size_t i = 0; i < collections; ++i)
    out += wkbHeader(7) + std::string("\x01\x00\x00\x00", 4);
  return out + inner;
}

// Runs `work` on a new thread with a stack of `bytes` (a worker thread's stack is 4 MiB or more).
void runOnStack(std::size_t bytes, std::function<void()> work) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
  pthread_t thread;
  const auto body = [](void* arg) -> void* {
    (*static_cast<std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, body, &work), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

} // namespace

// The cap leaves room for the geometry library's recursive reader, clone and destructor on a stack
// half the size of a worker thread's, sanitizer builds included.
TEST(GeometryCodec, GeometriesAtTheLimitFitInASmallStack) {
  const std::string wkt =
      nestedWkt(GeometryCodec::kMaxWktDepth - 2, "POLYGON Z ((0 0 0, 1 0 0, 1 1 0, 0 0 0))");
  const std::string wkb = nestedWkb(GeometryCodec::kMaxWkbDepth - 1, kPoint12);
  bool done = false;
  runOnStack(2u << 20, [&] {
    std::unique_ptr<Geometry> a, b;
    if (!readWkt(wkt, a).ok() || !readWkb(wkb, b).ok())
      return;
    std::unique_ptr<Geometry> copy = a->clone();
    done = copy->equalsExact(a.get()) && GeometryCodec::writeWkt(*b) == GeometryCodec::writeWkt(*b->clone());
    copy.reset(); // the library's own recursive destructor
  });
  EXPECT_TRUE(done);
}

TEST(GeometryCodec, WktRefusals) {
  const std::pair<std::string, std::string> cases[] = {
      {"POINT(1 2) trailing", "trailing text after the geometry"},
      {"POINT(1 2),", "trailing text after the geometry"},
      {"POINT EMPTY POINT EMPTY", "trailing text after the geometry"},
      {"POINT(1 2", "ends before the geometry is complete"},
      {"", "ends before the geometry is complete"},
      {"POINT", "ends before the geometry is complete"},
      {"POINT M (1 2 3)", "M coordinates"},
      {"LINESTRING ZM (1 2 3 4, 5 6 7 8)", "M coordinates"},
      {"POINT (1 2 3 4)", "more than three numbers"},
      {"POINT (1)", "fewer than two numbers"},
      {"LINESTRING (0 0 1, 1 1)", "mixes coordinates"},
      {"LINESTRING (0 0, 1 1 1)", "mixes coordinates"},
      {"POINT Z (1 2)", "tagged Z but has a coordinate of 2 numbers"},
      {"POLYGON Z ((0 0 0, 1 0 0, 1 1 0, 0 0 0), (0 0, 1 0, 1 1, 0 0))", "tagged Z"},
      {"POINT (1 2)) ", "trailing text"},
      {") POINT (1 2)", "outside the geometry"},
      {std::string("POINT (1\0 2)", 12), "unexpected character"},
      {"POINT (a b)", "is not valid"},
      {"CIRCLE (1 2)", "is not valid"},
      {"POLYGON ((0 0, 1 0, 1 1))", "is not valid"},
  };
  for (const auto& [text, reason] : cases) {
    std::unique_ptr<Geometry> g;
    const vela::Status status = readWkt(text, g);
    EXPECT_EQ(status.kind(), vela::StatusEnum::InvalidArgument) << text;
    EXPECT_NE(status.message().find(reason), std::string::npos) << text << ": " << status.message();
    EXPECT_EQ(g, nullptr);
  }
}

TEST(GeometryCodec, WktDepthLimit) {
  const std::size_t n = GeometryCodec::kMaxWktDepth;
  struct Case {
    std::string text;
    std::size_t depth; // 0: refused for its depth
  };
  const Case cases[] = {
      {nestedWkt(n - 1, "POINT (1 2)"), n},
      {nestedWkt(n, "POINT (1 2)"), 0},
      {nestedWkt(n - 1, "POINT EMPTY"), n}, // EMPTY counts as a level
      {nestedWkt(n, "POINT EMPTY"), 0},
      {nestedWkt(n - 1, "GEOMETRYCOLLECTION EMPTY"), n},
      {nestedWkt(n - 2, "POLYGON ((0 0, 1 0, 1 1, 0 0))"), n - 1}, // a polygon is one level, two parentheses
      {nestedWkt(n - 1, "POLYGON ((0 0, 1 0, 1 1, 0 0))"), 0},
      {nestedWkt(n - 2, "MULTIPOINT (1 2)"), n}, // members without parentheses still nest
      {nestedWkt(n - 1, "MULTIPOINT (1 2)"), 0}, // text depth n, geometry depth n + 1
      {nestedWkt(50000, "POINT (1 2)"), 0},
      {repeat("(", 50000), 0},
  };
  for (const Case& c : cases) {
    std::unique_ptr<Geometry> g;
    const vela::Status status = readWkt(c.text, g);
    if (c.depth == 0) {
      EXPECT_EQ(status.kind(), vela::StatusEnum::InvalidArgument) << c.text.substr(0, 60);
      EXPECT_NE(status.message().find("nests deeper than the limit of 1000 levels"), std::string::npos)
          << status.message();
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(GeometryCodec::depth(*g), c.depth);
    // Clone, write and read back, free: all at the limit.
    const std::unique_ptr<Geometry> copy = g->clone();
    const std::string wkt = GeometryCodec::writeWkt(*copy);
    std::unique_ptr<Geometry> again;
    ASSERT_TRUE(readWkt(wkt, again).ok());
    EXPECT_EQ(GeometryCodec::writeWkt(*again), wkt);
    std::unique_ptr<Geometry> fromWkb;
    ASSERT_TRUE(readWkb(GeometryCodec::writeWkb(*g), fromWkb).ok());
    EXPECT_EQ(GeometryCodec::writeWkt(*fromWkb), wkt);
    vela::destroyGeometry(g.release());
  }
}

// Expected texts are written by hand: names upper case, Z kept, shortest exact numbers.
TEST(GeometryCodec, WktTextKeepsZAndExactNumbers) {
  const std::pair<std::string, std::string> cases[] = {
      {"POINT Z (1 2 3)", "POINT Z (1 2 3)"},
      {"point(1 2 3)", "POINT Z (1 2 3)"},
      {" POINT (0.1 -2.5e-20) ", "POINT (0.1 -2.5e-20)"},
      {"POINT (1e300 123456789012345678)", "POINT (1e+300 123456789012345680)"},
      {"POINT (NaN -inf)", "POINT (NaN -Inf)"},
      {"POINT (-0 5e-324)", "POINT (-0 5e-324)"},
      {"POINT EMPTY", "POINT EMPTY"},
      {"LINESTRING Z (0 0 1, 1 1 2)", "LINESTRING Z (0 0 1, 1 1 2)"},
      {"POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1))",
       "POLYGON ((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1))"},
      {"MULTIPOINT (1 2, 3 4)", "MULTIPOINT ((1 2), (3 4))"},
      {"MULTIPOINT Z ((1 2 3))", "MULTIPOINT Z ((1 2 3))"},
      {"MULTILINESTRING ((0 0, 1 1), EMPTY)", "MULTILINESTRING ((0 0, 1 1), EMPTY)"},
      {"MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)))", "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)))"},
      {"GEOMETRYCOLLECTION (POINT (1 2), LINESTRING Z (0 0 1, 1 1 2))",
       "GEOMETRYCOLLECTION Z (POINT (1 2), LINESTRING Z (0 0 1, 1 1 2))"},
      {"GEOMETRYCOLLECTION (POINT EMPTY, GEOMETRYCOLLECTION EMPTY)",
       "GEOMETRYCOLLECTION (POINT EMPTY, GEOMETRYCOLLECTION EMPTY)"},
      {"GEOMETRYCOLLECTION EMPTY", "GEOMETRYCOLLECTION EMPTY"},
  };
  for (const auto& [text, expected] : cases) {
    std::unique_ptr<Geometry> g;
    ASSERT_TRUE(readWkt(text, g).ok()) << text;
    EXPECT_EQ(GeometryCodec::writeWkt(*g), expected) << text;
    // Through WKB and back: the same geometry, Z included.
    std::unique_ptr<Geometry> viaWkb;
    ASSERT_TRUE(readWkb(GeometryCodec::writeWkb(*g), viaWkb).ok()) << text;
    EXPECT_EQ(GeometryCodec::writeWkt(*viaWkb), expected) << text;
  }
}

TEST(GeometryCodec, WkbBytes) {
  const std::string bigEndian = fromHex("00000000013FF00000000000004000000000000000");
  const std::string extendedZ = fromHex("0101000080000000000000F03F00000000000000400000000000000840");
  const std::string isoZ = fromHex("01E9030000000000000000F03F00000000000000400000000000000840");
  const std::string withSrid = fromHex("0101000020E6100000000000000000F03F0000000000000040");
  const std::pair<std::string, std::string> good[] = {
      {kPoint12, "POINT (1 2)"},
      {bigEndian, "POINT (1 2)"},
      {extendedZ, "POINT Z (1 2 3)"},
      {isoZ, "POINT Z (1 2 3)"},
      {withSrid, "POINT (1 2)"},
      {wkbHeader(7) + std::string(4, '\0'), "GEOMETRYCOLLECTION EMPTY"},
      {wkbHeader(4) + std::string("\x02\x00\x00\x00", 4) + kPoint12 + bigEndian, "MULTIPOINT ((1 2), (1 2))"},
  };
  for (const auto& [bytes, wkt] : good) {
    std::unique_ptr<Geometry> g;
    const vela::Status status = readWkb(bytes, g);
    ASSERT_TRUE(status.ok()) << wkt << ": " << status.message();
    EXPECT_EQ(GeometryCodec::writeWkt(*g), wkt);
  }
  // The writer's bytes for a plain and a Z point are the reference encodings above.
  std::unique_ptr<Geometry> g;
  ASSERT_TRUE(readWkb(extendedZ, g).ok());
  EXPECT_EQ(GeometryCodec::writeWkb(*g), extendedZ);
  ASSERT_TRUE(readWkb(bigEndian, g).ok());
  EXPECT_EQ(GeometryCodec::writeWkb(*g), kPoint12);

  const std::string lineHeader = wkbHeader(2);
  const std::pair<std::string, std::string> bad[] = {
      {"", "end before the geometry is complete"},
      {kPoint12 + '\0', "1 trailing bytes"},
      {kPoint12 + kPoint12, "21 trailing bytes"},
      {lineHeader + std::string("\xFF\xFF\xFF\xFF", 4), "end before the geometry is complete"},
      {wkbHeader(7) + std::string("\x02\x00\x00\x00", 4) + kPoint12, "end before the geometry is complete"},
      {std::string(1, '\x02') + kPoint12.substr(1), "unknown byte order"},
      {wkbHeader(1 | 0x40000000u) + std::string(24, '\0'), "M coordinates"},
      {wkbHeader(2001) + std::string(24, '\0'), "M coordinates"},
      {wkbHeader(8), "unsupported geometry type"},
      {wkbHeader(0), "unsupported geometry type"},
      {wkbHeader(4) + std::string("\x01\x00\x00\x00", 4) + wkbHeader(2) + std::string(4, '\0'),
       "is not valid"},
      {nestedWkb(GeometryCodec::kMaxWkbDepth, kPoint12), "nests deeper than the limit of 1000 levels"},
      {nestedWkb(50000, kPoint12), "nests deeper than the limit of 1000 levels"},
  };
  for (const auto& [bytes, reason] : bad) {
    std::unique_ptr<Geometry> out;
    const vela::Status status = readWkb(bytes, out);
    EXPECT_EQ(status.kind(), vela::StatusEnum::InvalidArgument) << reason;
    EXPECT_NE(status.message().find(reason), std::string::npos) << status.message();
    EXPECT_EQ(out, nullptr);
  }
  // Every proper prefix of a valid encoding is refused as short.
  const std::string collection = wkbHeader(7) + std::string("\x02\x00\x00\x00", 4) + extendedZ + bigEndian;
  for (std::size_t length = 0; length < collection.size(); ++length) {
    std::unique_ptr<Geometry> out;
    EXPECT_FALSE(readWkb(collection.substr(0, length), out).ok()) << length;
  }
  // At the limit: accepted, written back identically.
  const std::string atLimit = nestedWkb(GeometryCodec::kMaxWkbDepth - 1, kPoint12);
  std::unique_ptr<Geometry> deep;
  ASSERT_TRUE(readWkb(atLimit, deep).ok());
  EXPECT_EQ(GeometryCodec::depth(*deep), GeometryCodec::kMaxWkbDepth);
  EXPECT_EQ(GeometryCodec::writeWkb(*deep), atLimit);
}

// A geometry far deeper than any reader accepts, built by hand, is written and freed without
// recursion; depth() stops early when asked.
TEST(GeometryCodec, WritersAndFreeTakeAnyDepth) {
  const std::size_t n = 30000;
  const geos::geom::GeometryFactory& factory = vela::sharedGeometryFactory();
  std::unique_ptr<Geometry> g;
  ASSERT_TRUE(readWkt("POINT (1 2)", g).ok());
  for (std::size_t i = 1; i < n; ++i) {
    std::vector<std::unique_ptr<Geometry>> members;
    members.push_back(std::move(g));
    g = factory.createGeometryCollection(std::move(members));
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
  const std::string text = "LINESTRING Z (0 0 1, 1 1 2)";
  ASSERT_TRUE(GeometryCodec::readWkt(text.data(), text.size(), managed).ok());
  EXPECT_EQ(managed.reservedBytes(), vela::ManagedGeometryPtr::kComponentBytes + 2 * 24);
  // A refusal leaves the wrapper as it was.
  const std::string bad = "POINT (1 2) x";
  EXPECT_FALSE(GeometryCodec::readWkt(bad.data(), bad.size(), managed).ok());
  EXPECT_EQ(GeometryCodec::writeWkt(*managed.get()), text);
  EXPECT_FALSE(GeometryCodec::readWkb(nullptr, 0, managed).ok());
  EXPECT_EQ(managed.reservedBytes(), vela::ManagedGeometryPtr::kComponentBytes + 2 * 24);
}
