#pragma once
// The H3 hexagonal grid: an icosahedron whose 20 faces carry gnomonic projections of aperture-7
// hexagon grids (Class II at even resolutions, Class III, rotated by asin(sqrt(3/28)), at odd ones),
// addressed by 64-bit indexes: 1 reserved bit, 4 mode bits (1 = cell), 3 reserved bits, 4 resolution
// bits, 7 base-cell bits (0..121, 12 of them pentagons) and fifteen 3-bit digits, digit r at bits
// 3 * (15 - r); digits past the resolution are 7.
//
// Angles are radians unless a name says degrees. Functions report failures by an H3Error and never
// write a partial result into their out parameter on failure (lists excepted: see each function).
// Nothing here keeps state: every function is safe to call from several threads at once.
#include <cstdint>

#include "base/ManagedBuffer.h"

namespace vela::h3 {

using H3Index = std::uint64_t;

/// Error codes; the numbers are the grid's conventional ones and appear in messages and tests.
enum class H3Error : int {
  Success = 0,
  Failed = 1,       // the operation could not be completed (for example a pentagon distortion)
  Domain = 2,       // an argument was outside its domain
  LatLngDomain = 3, // a coordinate was not finite
  ResDomain = 4,    // a resolution was outside 0..15 or not compatible with the cell
  CellInvalid = 5,  // the index is not a valid cell
  Pentagon = 9,     // a pentagon distortion was met by an algorithm that does not handle it
  ResMismatch = 12, // two cells (or a cell and a resolution) do not share a resolution as required
  MemoryBounds = 14 // a result would exceed the documented size limit
};

inline constexpr int kMaxRes = 15;
inline constexpr int kNumBaseCells = 122;
inline constexpr int kNumIcosaFaces = 20;
/// The largest k a grid disk accepts: a disk of this radius around any cell covers the whole sphere at
/// resolution 15, so larger k change nothing but the arithmetic. The size of such a disk is capped at
/// the number of resolution-15 cells.
inline constexpr int kMaxGridDiskK = 13'780'510;
/// Largest list a polygon fill may produce (cells). A bigger estimated result is refused with
/// MemoryBounds before anything is allocated; the pool's limit may refuse smaller ones.
inline constexpr std::int64_t kMaxPolygonCells = 100'000'000;

struct LatLng {
  double lat; // radians
  double lng; // radians
};

/// A cell's boundary: 6 vertices for a hexagon, 5 for a pentagon, plus one extra vertex wherever a
/// Class III cell's edge crosses an icosahedron edge (up to 10 in all), counter-clockwise.
struct CellBoundary {
  int numVerts = 0;
  LatLng verts[10];
};

// ---- Index fields --------------------------------------------------------------------------------
inline constexpr int getResolution(H3Index h) {
  return static_cast<int>((h >> 52) & 0xF);
}
inline constexpr int getBaseCellNumber(H3Index h) {
  return static_cast<int>((h >> 45) & 0x7F);
}
inline constexpr int getMode(H3Index h) {
  return static_cast<int>((h >> 59) & 0xF);
}
inline constexpr int getIndexDigit(H3Index h, int r) {
  return static_cast<int>((h >> ((kMaxRes - r) * 3)) & 7);
}
inline constexpr bool isResClassIII(int res) {
  return (res & 1) != 0;
}

namespace detail {
/// Bit b set when base cell b is a pentagon (bits 0..121 over two words).
extern const std::uint64_t kPentagonBaseCells[2];
inline constexpr H3Index kDigitLowBits = 0x1249249249249249ULL; // bit 0 of every 3-bit field
} // namespace detail

inline bool isBaseCellPentagon(int baseCell) {
  return baseCell >= 0 && baseCell < kNumBaseCells &&
         ((detail::kPentagonBaseCells[baseCell >> 6] >> (baseCell & 63)) & 1) != 0;
}

/// Checked bit-parallel (this sits in every per-row path): digits are 3-bit fields, resolution 1
/// highest; a digit is 7 when its three bits are all set; the leading non-zero digit is the one holding
/// the highest set bit.
inline bool isValidCell(H3Index h) {
  if ((h >> 56) != 0x08) {
    return false; // high bit 0, mode 1 (cell), reserved bits 0
  }
  const int baseCell = getBaseCellNumber(h);
  if (baseCell >= kNumBaseCells) {
    return false;
  }
  const int res = getResolution(h);
  const int unusedBits = 3 * (kMaxRes - res);
  const H3Index unusedMask = (H3Index{1} << unusedBits) - 1;
  if ((h & unusedMask) != unusedMask) {
    return false; // digits past the resolution must be 7
  }
  const H3Index used = (h & ((H3Index{1} << 45) - 1)) >> unusedBits;
  if ((used & (used >> 1) & (used >> 2) & detail::kDigitLowBits & ((H3Index{1} << (3 * res)) - 1)) != 0) {
    return false; // a digit 7 within the resolution
  }
  if (used != 0 && isBaseCellPentagon(baseCell)) {
    const int top = 63 - __builtin_clzll(used);
    if (((used >> (top - top % 3)) & 7) == 1) {
      return false; // the deleted K sub-sequence of a pentagon
    }
  }
  return true;
}
/// True for the 12 pentagon cells at every resolution (base cell a pentagon, all digits 0).
bool isPentagon(H3Index h);

// ---- Points and cells ------------------------------------------------------------------------------
/// The cell at `res` containing the point. LatLngDomain for non-finite input, ResDomain for res out of
/// 0..15.
H3Error latLngToCell(const LatLng& g, int res, H3Index& out);
/// The centre of a cell. CellInvalid when the cell is not valid.
H3Error cellToLatLng(H3Index h, LatLng& out);
H3Error cellToBoundary(H3Index h, CellBoundary& out);
/// The icosahedron faces a cell touches, ascending, into out[0..count). At most 5 (pentagons).
H3Error getIcosahedronFaces(H3Index h, int out[5], int& count);

// ---- Hierarchy ---------------------------------------------------------------------------------------
/// ResDomain when parentRes is outside 0..15, ResMismatch when it is finer than the cell.
inline H3Error cellToParent(H3Index h, int parentRes, H3Index& out) {
  const int res = getResolution(h);
  if (parentRes < 0 || parentRes > kMaxRes) {
    return H3Error::ResDomain;
  }
  if (parentRes > res) {
    return H3Error::ResMismatch;
  }
  // resolution field replaced, digits parentRes+1..res set to 7
  const H3Index digits = ((H3Index{1} << (3 * (kMaxRes - parentRes))) - 1);
  out = (h & ~(H3Index{0xF} << 52)) | (H3Index(parentRes) << 52) | digits;
  return H3Error::Success;
}
/// Children at childRes (res(h)..15, else ResDomain). Center child: all new digits 0; first child: the
/// smallest child index; last child: all new digits 6.
H3Error cellToCenterChild(H3Index h, int childRes, H3Index& out);
H3Error cellToFirstChild(H3Index h, int childRes, H3Index& out);
H3Error cellToLastChild(H3Index h, int childRes, H3Index& out);
/// 7^n children for a hexagon, 1 + 5 (7^n - 1) / 6 for a pentagon, n = childRes - res(h).
H3Error cellToChildrenSize(H3Index h, int childRes, std::int64_t& out);
/// All children in ascending index order, into a pool-charged list (resized to the count first).
H3Error cellToChildren(H3Index h, int childRes, ManagedBuffer<H3Index, 8>& out);
/// Position of a cell among the children of its ancestor at parentRes, in ascending index order.
H3Error cellToChildPos(H3Index child, int parentRes, std::int64_t& out);
/// The inverse of cellToChildPos. Domain when pos is outside 0..count-1; ResMismatch when childRes is
/// coarser than the parent.
H3Error childPosToCell(std::int64_t pos, H3Index parent, int childRes, H3Index& out);

// ---- Traversal ---------------------------------------------------------------------------------------
/// 3k(k+1)+1 cells, capped at the number of resolution-15 cells. Domain for k < 0.
H3Error maxGridDiskSize(int k, std::int64_t& out);
/// The neighbour of `origin` in IJK direction `dir` (1..6), tracking the rotations needed to keep moving
/// in the same direction across base cells. Pentagon when the direction is the deleted K axis of a
/// pentagon.
H3Error h3NeighborRotations(H3Index origin, int dir, int& rotations, H3Index& out);
/// Cells within k steps (the set; order: by ring when no pentagon is met, else breadth first), with
/// their distances when `distances` is not null. Both lists are pool-charged; the pool is charged for
/// the worst-case size before the walk starts.
H3Error gridDiskDistances(H3Index origin, int k, ManagedBuffer<H3Index, 8>& out,
                          ManagedBuffer<int, 8>* distances);
H3Error gridDisk(H3Index origin, int k, ManagedBuffer<H3Index, 8>& out);
/// Cells exactly k steps away.
H3Error gridRing(H3Index origin, int k, ManagedBuffer<H3Index, 8>& out);
/// Whether two distinct cells of one resolution share an edge. ResMismatch for different resolutions.
H3Error areNeighborCells(H3Index a, H3Index b, bool& out);
/// Steps between two cells of one resolution, measured in the IJK frame of `a`'s base cell unfolded
/// onto the neighbouring base cell. Failed where the cells are too far apart to unfold (base cells
/// not neighbours) or where a pentagon's missing sub-sequence makes the unfolding ambiguous: the
/// distance is then reported as unknown rather than guessed. ResMismatch for different resolutions.
H3Error gridDistance(H3Index a, H3Index b, std::int64_t& out);

// ---- Text ----------------------------------------------------------------------------------------------
/// Lower-case hexadecimal without leading zeros; `out` gets at least 17 bytes, NUL-terminated.
/// Returns the number of characters written.
int h3ToString(H3Index h, char* out);
/// Parses 1 to 16 hexadecimal digits (either case) and nothing else: no "0x" prefix, sign or spaces.
/// Failed otherwise. The index is not validated.
H3Error stringToH3(const char* text, std::size_t len, H3Index& out);

// ---- Polygons ------------------------------------------------------------------------------------------
/// A ring of vertices (radians); closed implicitly (a repeated first vertex is harmless).
struct GeoLoop {
  const LatLng* verts = nullptr;
  int numVerts = 0;
};
struct GeoPolygon {
  GeoLoop outer;
  const GeoLoop* holes = nullptr;
  int numHoles = 0;
};
/// Upper bound of polygonToCells' result size, computed from the polygon's bounding box without
/// touching any cell. MemoryBounds above kMaxPolygonCells.
H3Error maxPolygonToCellsSize(const GeoPolygon& polygon, int res, std::int64_t& out);
/// The cells whose centres lie inside the polygon (outside its holes), ascending. The list is
/// pool-charged and sized from maxPolygonToCellsSize before the fill starts.
H3Error polygonToCells(const GeoPolygon& polygon, int res, ManagedBuffer<H3Index, 8>& out);
/// Ray-casting containment used by polygonToCells (points on a westward edge count as inside).
bool pointInsidePolygon(const GeoPolygon& polygon, const LatLng& p);

} // namespace vela::h3
