#include "functions/spatial/GeoConstants.h"

#include <optional>

namespace vela::cuda::geo {

namespace {

using geos::geom::GeometryTypeId;

// A valid, non-empty polygon or multi-polygon: the geometries whose index answers exactly what the
// geometry functions answer (see the header). Validity also refuses non-finite coordinates.
bool indexable(const geos::geom::Geometry& g) {
  const GeometryTypeId type = g.getGeometryTypeId();
  if (type != GeometryTypeId::GEOS_POLYGON && type != GeometryTypeId::GEOS_MULTIPOLYGON)
    return false;
  return !g.isEmpty() && GeometryUtils::isValid(&g);
}

} // namespace

struct ConstantGeometries::Slot {
  GeometryCell geometry = nullptr;
  std::once_flag built;
  std::optional<PolygonIndex> index;
};

ConstantGeometries::ConstantGeometries(const TypedRpnElement* elements, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i)
    if (elements[i].op == kConstGeometryOwned || elements[i].op == kConstGeometryBorrowed)
      ++m_count;
  m_slots = std::make_unique<Slot[]>(m_count);
  std::size_t k = 0;
  for (std::uint64_t i = 0; i < count; ++i)
    if (elements[i].op == kConstGeometryOwned || elements[i].op == kConstGeometryBorrowed)
      m_slots[k++].geometry = elements[i].operandAs<GeometryCell>();
}

ConstantGeometries::~ConstantGeometries() = default;

std::size_t ConstantGeometries::tableBytes() const noexcept {
  return m_count * sizeof(Slot);
}

void ConstantGeometries::primeOnce() {
  std::call_once(m_primed, [this] {
    for (std::size_t k = 0; k < m_count; ++k)
      GeometryUtils::prepareForSharing(m_slots[k].geometry);
  });
}

const PolygonIndex* ConstantGeometries::polygonIndex(GeometryCell g) const {
  if (g == nullptr)
    return nullptr;
  for (std::size_t k = 0; k < m_count; ++k) {
    Slot& slot = m_slots[k];
    if (slot.geometry != g)
      continue;
    std::call_once(slot.built, [&slot] {
      // Any failure leaves the slot without an index: the ops then take the general path, which needs
      // no index and gives the same answers.
      try {
        if (indexable(*slot.geometry))
          slot.index.emplace(*slot.geometry);
      } catch (...) {
        slot.index.reset();
      }
    });
    return slot.index ? &*slot.index : nullptr;
  }
  return nullptr;
}

} // namespace vela::cuda::geo
