#pragma once
// A geometry together with the bytes reserved for it in a memory pool.

#include <cstddef>
#include <memory>

#include <geos/geom/Geometry.h>
#include <geos/geom/GeometryCollection.h>
#include <geos/geom/GeometryFactory.h>

#include "base/RamPool.h"

namespace vela {

/// The process-wide geometry factory (floating precision, SRID 0) that builds every geometry the
/// libraries create: new points, empty geometries, and the geometries read from WKT and WKB. Created
/// on first use under the language's one-time guard; it lives until process exit, and geometries
/// still alive then keep it alive (the factory is reference counted by its geometries).
const geos::geom::GeometryFactory& sharedGeometryFactory();

/// The collection behind `g` (multi-point, multi-curve, multi-polygon or geometry collection), or null.
/// One virtual call: the per-row paths (reading, charging, freeing) ask this of every geometry, and a
/// dynamic_cast walks the class hierarchy each time.
inline const geos::geom::GeometryCollection* asCollection(const geos::geom::Geometry& g) noexcept {
  switch (g.getGeometryTypeId()) {
  case geos::geom::GEOS_MULTIPOINT:
  case geos::geom::GEOS_MULTILINESTRING:
  case geos::geom::GEOS_MULTIPOLYGON:
  case geos::geom::GEOS_GEOMETRYCOLLECTION:
    return static_cast<const geos::geom::GeometryCollection*>(&g);
  default:
    return nullptr;
  }
}

/// Deletes a geometry without recursing into nested collections: members are detached and deleted
/// from an explicit stack, so a collection of any depth is freed safely. Null is ignored.
void destroyGeometry(geos::geom::Geometry* geometry) noexcept;

/// Owns one GEOS geometry and the reservation charged for it.
///
/// The reservation is a deterministic footprint computed from the geometry's structure (see
/// footprint()), so the same geometry always costs the same. Reservation and release are symmetric:
/// whatever this object still owns when it is destroyed is deleted (by destroyGeometry, so any depth is
/// safe) and its bytes are given back to the pool that was charged. Movable, not copyable.
class ManagedGeometryPtr {
public:
  /// Fixed cost of every geometry object of the tree (points, curves, rings, polygons, collections),
  /// covering the object itself and its coordinate-sequence header.
  static constexpr std::size_t kComponentBytes = 64;
  /// Cost of one child link of a polygon (per hole) or of a collection (per member).
  static constexpr std::size_t kChildLinkBytes = 8;

  /// An empty wrapper charging `pool` (nullptr: the calling thread's default pool).
  explicit ManagedGeometryPtr(RamPool* pool = nullptr) noexcept;
  /// Takes `geometry` over and reserves footprint(*geometry) in `pool` (nullptr: the default pool). A
  /// null geometry gives an empty wrapper. If the pool refuses, the geometry is deleted with the
  /// argument and the exception passes on; nothing stays reserved.
  explicit ManagedGeometryPtr(std::unique_ptr<geos::geom::Geometry> geometry, RamPool* pool = nullptr);

  ManagedGeometryPtr(ManagedGeometryPtr&& other) noexcept;
  ManagedGeometryPtr& operator=(ManagedGeometryPtr&& other) noexcept;
  ManagedGeometryPtr(const ManagedGeometryPtr&) = delete;
  ManagedGeometryPtr& operator=(const ManagedGeometryPtr&) = delete;
  ~ManagedGeometryPtr();

  geos::geom::Geometry* get() const noexcept { return m_geometry; }
  geos::geom::Geometry* operator->() const noexcept { return m_geometry; }
  explicit operator bool() const noexcept { return m_geometry != nullptr; }

  /// Hands the geometry out and stops owning it.
  /// With `unreserve` false the reservation goes with the pointer: the new owner must give
  /// reservedBytes() back when it frees the geometry, and reservedBytes() stays readable here.
  /// With `unreserve` true the reservation is given back now and reservedBytes() becomes 0.
  /// An empty wrapper returns nullptr.
  geos::geom::Geometry* release(bool unreserve) noexcept;

  /// Bytes reserved for the geometry held (or, after release(false), last held).
  std::size_t reservedBytes() const noexcept { return m_reserved; }
  RamPool* pool() const noexcept { return m_pool; }

  /// The bytes charged for a geometry, walking its tree:
  ///   point, line string, ring:  kComponentBytes + (number of points) x 8 x (coordinate dimension)
  ///   polygon:                   kComponentBytes + shell + sum over holes of (kChildLinkBytes + hole)
  ///   collection (multi-*, GC):  kComponentBytes + sum over members of (kChildLinkBytes + member)
  /// The coordinate dimension is the geometry's own (2 for XY, 3 for XYZ, 4 with a measure), so a 2-D
  /// coordinate costs 16 bytes and a 3-D one 24.
  static std::size_t footprint(const geos::geom::Geometry& geometry);

private:
  void freeOwned() noexcept;

  RamPool* m_pool;
  geos::geom::Geometry* m_geometry = nullptr;
  std::size_t m_reserved = 0;
};

} // namespace vela
