// Geometry hashes through both evaluators. A geometry hashes as its WKB bytes; the reference is the
// heap-string hash and digest ops (checked elsewhere against a MurmurHash3 model and published SHA-256
// values) run on the WKB written here by hand: byte order 1, the type as a little-endian 32-bit word,
// then the coordinates as little-endian doubles.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;
using U128 = fixed_array_t<16>;
using Wkt = std::optional<std::string>;

namespace {

constexpr TypedRpnOp kLoadGeometry = 236;

std::string wkb(std::uint32_t type, const std::vector<double>& words) {
  std::string out(1, '\x01');
  out.append(reinterpret_cast<const char*>(&type), 4);
  for (double d : words)
    out.append(reinterpret_cast<const char*>(&d), 8);
  return out;
}

// POINT(1 2), LINESTRING(0 0,3 4) (type 2 with its point count as a 32-bit word before the points).
const std::vector<Wkt> kShapes = {"POINT(1 2)", "LINESTRING(0 0,3 4)"};
std::vector<std::optional<std::string>> wkbOfShapes() {
  std::string line(1, '\x01');
  const std::uint32_t type = 2, count = 2;
  line.append(reinterpret_cast<const char*>(&type), 4).append(reinterpret_cast<const char*>(&count), 4);
  for (double d : {0.0, 0.0, 3.0, 4.0})
    line.append(reinterpret_cast<const char*>(&d), 8);
  return {wkb(1, {1.0, 2.0}), line};
}

// The cells `code` gives for the shapes, as geometries or (`code` a string op) as their WKB strings;
// `extraLoad` >= 0 adds `extra` as column 1.
template <class Extra>
HarnessResult hashes(TypedRpnOp code, bool asWkb, int extraLoad, const std::vector<Extra>& extra) {
  Program p;
  p.column(asWkb ? kLoadString : kLoadGeometry, 0);
  if (extraLoad >= 0)
    p.column(extraLoad, 1);
  HarnessCase c(p.op(code));
  asWkb ? c.addStringColumn(wkbOfShapes()) : c.addGeometryColumn(kShapes);
  if (extraLoad >= 0)
    c.addColumn(extra);
  return c.run();
}
TEST(GeoHash, HashesOfTheWkbBytes) {
  // 64-bit: the first half with both states seeded, as the string hash with the same seed.
  const std::vector<int> seeds32 = {42, 7};
  const std::vector<long> seeds64 = {42, 7};
  EXPECT_EQ(hashes(2222, false, kLoadI32, seeds32).values, hashes(2217, true, kLoadI64, seeds64).values);
  // 128-bit seeded by a 16-byte cell: the cell's two words start the two states.
  U128 a{}, b{};
  for (int i = 0; i < 16; ++i)
    a.bytes[i] = static_cast<unsigned char>(i * 17 + 1), b.bytes[i] = static_cast<unsigned char>(255 - i);
  const std::vector<U128> seeds128 = {a, b};
  EXPECT_EQ(hashes(2248, false, kLoadChar + 4, seeds128).values,
            hashes(2243, true, kLoadU128, seeds128).values);
  // Unseeded 128-bit: both states 0, the seeded string hash with the all-zero seed.
  const std::vector<U128> zero = {U128{}, U128{}};
  EXPECT_EQ(hashes(2276, false, -1, zero).values, hashes(2243, true, kLoadU128, zero).values);
  // The digest text, character 0 at the cell's highest byte as every char64 text.
  EXPECT_EQ(hashes(2284, false, -1, zero).values, hashes(2283, true, -1, zero).values);
}

TEST(GeoHash, DistinctGeometriesAndNull) {
  // A null geometry hashes to 0 and digests to the empty text; different vertex orders hash apart.
  Program p;
  p.column(kLoadGeometry, 0).constant(kConstI32, 0).op(2222);
  const HarnessResult r =
      HarnessCase(p).addGeometryColumn({std::nullopt, "LINESTRING(0 0,1 1)", "LINESTRING(1 1,0 0)"}).run();
  EXPECT_EQ(r.value<long>(0), 0);
  EXPECT_NE(r.value<long>(1), r.value<long>(2));
  const HarnessResult digest =
      HarnessCase(Program().column(kLoadGeometry, 0).op(2284)).addGeometryColumn({std::nullopt}).run();
  EXPECT_EQ(digest.values, std::vector<unsigned char>(64, 0));
}

} // namespace
