// Geometry family: hashes of a geometry's WKB bytes.
//   2222  GEO_HASH            geometry, i32 seed     -> i64     first half of the seeded 128-bit hash
//   2248  GEO_HASH128_SEEDED  geometry, char16 seed  -> char16  the seed cell's 16 bytes as they are
//                                                               stored start the two states (bytes 0-7
//                                                               and 8-15, little-endian)
//   2276  GEO_HASH128         geometry               -> char16  both states 0
//   2284  GEO_SHA256          geometry               -> char64  64 lower-case hexadecimal characters
// 128-bit results are stored first half in the low word, as the other 128-bit hashes. The digest text
// is stored as every charN text (character 0 at the cell's highest byte). A null geometry hashes to 0
// (both halves) and digests to the empty text; the program's state ops make such a row null.

#include <cstdint>
#include <cstring>

#include "functions/scalar/Hashes.h"
#include "functions/spatial/GeometryShapes.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

namespace {

using namespace geo;
using Char16 = cell_of_width_t<16>;
using Char64 = cell_of_width_t<64>;

struct HashFunc {
  long operator()(GeometryCell g, std::int32_t seed) const { return GeometryUtils::hash(g, seed); }
};

struct Hash128SeededFunc {
  Char16 operator()(GeometryCell g, const Char16& seed) const {
    return hash_detail::toCell(GeometryUtils::hash128(g, charn::bytesOf(seed)));
  }
};

struct Hash128Func {
  Char16 operator()(GeometryCell g) const { return hash_detail::toCell(GeometryUtils::hash128(g, nullptr)); }
};

struct Sha256Func {
  Char64 operator()(GeometryCell g) const {
    char text[sizeof(Char64)];
    GeometryUtils::geo_sha256(g, text);
    return charn::fromText<Char64>(text, sizeof text);
  }
};

const OpRegistration kOps[] = {
    opEntry<GeoScalarOp<HashFunc, long, GeometryCell, std::int32_t>>(2222),
    opEntry<GeoScalarOp<Hash128SeededFunc, Char16, GeometryCell, Char16>>(2248),
    opEntry<GeoScalarOp<Hash128Func, Char16, GeometryCell>>(2276),
    opEntry<GeoScalarOp<Sha256Func, Char64, GeometryCell>>(2284),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
