#pragma once
// Program-constant geometries: their preparation for concurrent reads, and their prepared forms.
//
// Priming. A geometry constant (ops 50 and 51) is one object read by every task of a call at once. The
// geometry library caches bounding boxes lazily inside the geometry on first use, which is a write, so
// every geometry constant of the program is primed (GeometryUtils::prepareForSharing) before any op of
// the call reads one: once per call, under a once-flag held in the call's EvaluatorCache, so the first
// task primes and every other task waits for it and then only reads. A call without a cache (built by
// tests only) primes under a process-wide lock instead; priming an already primed geometry only reads
// it, so repeating it is harmless.
//
// Prepared forms. The same cache entry keeps one slot per geometry constant of the program. A slot's
// point-in-polygon index (Pip<IntervalPip>) is built by the first task that asks for it, under the
// slot's own once-flag (every other task waits, then only reads: classify is const), and lives until
// the cache dies; its edges are charged to the pool of the task that built it. Only a valid polygon or
// multi-polygon gets an index: there the even-odd count over all rings that the index makes is exactly
// where a point lies relative to the geometry (holes lie inside their shell without overlapping each
// other, members have disjoint interiors, every coordinate is finite), which is what the geometry
// functions answer. An invalid or non-polygonal constant, or one whose index cannot be built (a pool
// refusal included), gets none and its ops keep the general path; so does every call without a cache.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include <geos/geom/Geometry.h>

#include "base/CallContext.h"
#include "base/GeometryUtils.h"
#include "base/ParserUtils.h"
#include "base/Pip.h"

namespace vela::cuda::geo {

using GeometryCell = const geos::geom::Geometry*;
using PolygonIndex = vela::Pip<vela::IntervalPip>;

using ParserUtils::TypedRpnElement;

inline constexpr ParserUtils::TypedRpnOp kConstGeometryOwned = 50;
inline constexpr ParserUtils::TypedRpnOp kConstGeometryBorrowed = 51;

/// The geometry constants of one call's program, primed once, with their prepared forms.
class ConstantGeometries {
public:
  /// Records the constants of the program; primes nothing yet.
  ConstantGeometries(const TypedRpnElement* elements, std::uint64_t count);
  ~ConstantGeometries();
  ConstantGeometries(const ConstantGeometries&) = delete;
  ConstantGeometries& operator=(const ConstantGeometries&) = delete;

  /// Primes every constant for concurrent reads, the first time; later calls wait for the first.
  void primeOnce();
  /// The point-in-polygon index of `g` when g is one of the program's constants and a valid polygon or
  /// multi-polygon, else nullptr. Built on the first call for that constant; call primeOnce first.
  const PolygonIndex* polygonIndex(GeometryCell g) const;

  /// Bytes of the slot table, for the cache's charge.
  std::size_t tableBytes() const noexcept;

private:
  struct Slot;
  std::once_flag m_primed;
  std::unique_ptr<Slot[]> m_slots;
  std::size_t m_count = 0;
};

/// Primes every geometry constant of the program for concurrent reads, once per call. Returns the
/// call's constants with their prepared forms, or nullptr for a call without a cache.
template <class E>
ConstantGeometries* prepareConstantGeometries(const E& e) {
  const auto& params = e.params();
  if (params.cache == nullptr) {
    static std::mutex lock;
    const std::lock_guard<std::mutex> guard(lock);
    ConstantGeometries(params.elements, params.numElements).primeOnce();
    return nullptr;
  }
  using Held = std::unique_ptr<ConstantGeometries>;
  constexpr const char* kKey = "geo.constants";
  Held* found = params.cache->template get<Held>(kKey);
  if (found == nullptr) {
    // Sized from the program before it is stored, so that the table's bytes are charged with it; two
    // tasks may both build one, only the first stored is kept.
    auto made = std::make_unique<ConstantGeometries>(params.elements, params.numElements);
    const std::size_t bytes = made->tableBytes();
    found = &params.cache->template getOrCreate<Held>(
        kKey, [&] { return std::move(made); }, bytes);
  }
  (*found)->primeOnce();
  return found->get();
}

} // namespace vela::cuda::geo
