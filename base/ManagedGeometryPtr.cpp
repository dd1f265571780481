#include "base/ManagedGeometryPtr.h"

#include <utility>
#include <vector>

#include <geos/geom/GeometryCollection.h>
#include <geos/geom/LinearRing.h>
#include <geos/geom/Polygon.h>

namespace vela {

const geos::geom::GeometryFactory& sharedGeometryFactory() {
  static const geos::geom::GeometryFactory::Ptr factory = geos::geom::GeometryFactory::create();
  return *factory;
}

void destroyGeometry(geos::geom::Geometry* geometry) noexcept {
  if (geometry == nullptr || asCollection(*geometry) == nullptr) {
    delete geometry; // points, curves and polygons hold no nested geometries
    return;
  }
  // A collection's destructor deletes its members recursively; detach them first so that every
  // collection is destroyed empty. Leaves are deleted at once, collections wait on the stack.
  std::vector<std::unique_ptr<geos::geom::Geometry>> pending;
  pending.emplace_back(geometry);
  while (!pending.empty()) {
    std::unique_ptr<geos::geom::Geometry> current = std::move(pending.back());
    pending.pop_back();
    if (asCollection(*current) != nullptr) {
      for (auto& member : static_cast<geos::geom::GeometryCollection&>(*current).releaseGeometries())
        pending.push_back(std::move(member));
    }
  }
}

ManagedGeometryPtr::ManagedGeometryPtr(RamPool* pool) noexcept
    : m_pool(pool != nullptr ? pool : RamPool::getDefault()) {}

ManagedGeometryPtr::ManagedGeometryPtr(std::unique_ptr<geos::geom::Geometry> geometry, RamPool* pool)
    : ManagedGeometryPtr(pool) {
  if (!geometry)
    return;
  const std::size_t bytes = footprint(*geometry);
  m_pool->reserveRaw(bytes); // on refusal the argument deletes the geometry
  m_reserved = bytes;
  m_geometry = geometry.release();
}

ManagedGeometryPtr::ManagedGeometryPtr(ManagedGeometryPtr&& other) noexcept
    : m_pool(other.m_pool), m_geometry(std::exchange(other.m_geometry, nullptr)),
      m_reserved(std::exchange(other.m_reserved, 0)) {}

ManagedGeometryPtr& ManagedGeometryPtr::operator=(ManagedGeometryPtr&& other) noexcept {
  if (this != &other) {
    freeOwned();
    m_pool = other.m_pool;
    m_geometry = std::exchange(other.m_geometry, nullptr);
    m_reserved = std::exchange(other.m_reserved, 0);
  }
  return *this;
}

ManagedGeometryPtr::~ManagedGeometryPtr() {
  freeOwned();
}

geos::geom::Geometry* ManagedGeometryPtr::release(bool unreserve) noexcept {
  geos::geom::Geometry* out = std::exchange(m_geometry, nullptr);
  if (out != nullptr && unreserve) {
    m_pool->unreserveRaw(m_reserved);
    m_reserved = 0;
  }
  return out;
}

// A refusal by the pool here means its accounting is already broken: noexcept terminates.
void ManagedGeometryPtr::freeOwned() noexcept {
  if (m_geometry == nullptr)
    return;
  destroyGeometry(m_geometry);
  m_geometry = nullptr;
  m_pool->unreserveRaw(m_reserved);
  m_reserved = 0;
}

namespace {

// Bytes of a point or curve: the object and its coordinates at the geometry's own dimension.
std::size_t simpleFootprint(const geos::geom::Geometry& g) {
  return ManagedGeometryPtr::kComponentBytes + g.getNumPoints() * 8u * g.getCoordinateDimension();
}

} // namespace

std::size_t ManagedGeometryPtr::footprint(const geos::geom::Geometry& geometry) {
  using geos::geom::Geometry;
  // Points, curves and polygons are charged directly; only collections need the walk's stack, which
  // is iterative so that nested collections cannot exhaust the thread's stack.
  const auto leaf = [](const Geometry& g) -> std::size_t {
    if (g.getGeometryTypeId() != geos::geom::GEOS_POLYGON)
      return simpleFootprint(g);
    const auto& polygon = static_cast<const geos::geom::Polygon&>(g);
    std::size_t bytes = kComponentBytes;
    if (const Geometry* shell = polygon.getExteriorRing())
      bytes += simpleFootprint(*shell);
    for (std::size_t i = 0; i < polygon.getNumInteriorRing(); ++i)
      bytes += kChildLinkBytes + simpleFootprint(*polygon.getInteriorRingN(i));
    return bytes;
  };
  if (asCollection(geometry) == nullptr)
    return leaf(geometry);
  std::size_t total = 0;
  std::vector<const Geometry*> pending{&geometry};
  while (!pending.empty()) {
    const Geometry* g = pending.back();
    pending.pop_back();
    const auto* collection = asCollection(*g);
    if (collection == nullptr) {
      total += leaf(*g);
      continue;
    }
    const std::size_t members = collection->getNumGeometries();
    total += kComponentBytes + kChildLinkBytes * members;
    for (std::size_t i = 0; i < members; ++i)
      pending.push_back(collection->getGeometryN(i));
  }
  return total;
}

} // namespace vela
