#pragma once
// Shared pieces of the geometry ops: the geometry cell, the preparation of program-constant geometries
// for concurrent reads, and the op shapes of geometry operands with scalar results.
//
// Constant geometries. A geometry constant (ops 50 and 51) is one object read by every task of a call
// at once. The geometry library caches bounding boxes lazily inside the geometry on first use, which is
// a write, so every constant of the program is primed (GeometryUtils::prepareForSharing) before any op
// of the call reads it: once per call, guarded by a once-flag held in the call's EvaluatorCache, so the
// first task primes and every other task waits for it and then only reads. A call without a cache
// (built by tests only) primes under a process-wide lock instead; priming an already primed geometry
// only reads it, so repeating it is harmless.
//
// Null operands. A null geometry pointer is SQL NULL. The geometry functions accept it (predicates
// answer false, counts 0, flagged measures raise their NULL flag), so the ops call them for every row;
// whether a row without a state of its own is null is settled by the program's state ops.

#include <cstdint>
#include <memory>
#include <mutex>

#include <geos/geom/Geometry.h>

#include "base/CallContext.h"
#include "base/GeometryUtils.h"
#include "cuda/EvalElementHandler.h"

namespace vela::cuda::geo {

using GeometryCell = const geos::geom::Geometry*;
using Bool = std::uint8_t;
using State = rpn_eval_result_t;
using vela::GeometryUtils;

inline constexpr TypedRpnOp kConstGeometryOwned = 50;
inline constexpr TypedRpnOp kConstGeometryBorrowed = 51;

namespace detail {

inline void primeConstants(const TypedRpnElement* elements, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i)
    if (elements[i].op == kConstGeometryOwned || elements[i].op == kConstGeometryBorrowed)
      GeometryUtils::prepareForSharing(elements[i].operandAs<GeometryCell>());
}

struct PrimedOnce {
  std::once_flag once;
};

inline constexpr const char* kPrimedKey = "geo.constants.primed";

} // namespace detail

/// Primes every geometry constant of the evaluator's program for concurrent reads; after the first
/// call of a call, costs one cache look-up.
template <class E>
void prepareConstantGeometries(const E& e) {
  const auto& params = e.params();
  if (params.cache != nullptr) {
    auto& primed = params.cache->template getOrCreate<std::unique_ptr<detail::PrimedOnce>>(
        detail::kPrimedKey, [] { return std::make_unique<detail::PrimedOnce>(); });
    std::call_once(primed->once, [&] { detail::primeConstants(params.elements, params.numElements); });
    return;
  }
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  detail::primeConstants(params.elements, params.numElements);
}

/// ElementwiseOp over operands that include geometries: primes the program's geometry constants first.
template <class F, class Out, class... In>
struct GeoScalarOp {
  template <class E>
  static void eval(E& e) {
    prepareConstantGeometries(e);
    ElementwiseOp<F, Out, In...>::template eval<E>(e);
  }
};

/// ElementwiseOpWithState over operands that include geometries: primes the constants first.
template <class F, class Out, class... In>
struct GeoScalarOpWithState {
  template <class E>
  static void eval(E& e) {
    prepareConstantGeometries(e);
    ElementwiseOpWithState<F, Out, In...>::template eval<E>(e);
  }
};

} // namespace vela::cuda::geo
