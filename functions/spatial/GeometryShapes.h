#pragma once
// Shared pieces of the geometry ops with scalar results: the cell types and the op shapes.
//
// Constant geometries are primed for concurrent reads before an op reads them, once per call (see
// GeoConstants.h, which also keeps their prepared forms).
//
// Null operands. A null geometry pointer is SQL NULL. The geometry functions accept it (predicates
// answer false, counts 0, flagged measures raise their NULL flag), so the ops call them for every row;
// whether a row without a state of its own is null is settled by the program's state ops.

#include <cstdint>

#include <geos/geom/Geometry.h>

#include "base/GeometryUtils.h"
#include "cuda/EvalElementHandler.h"
#include "functions/spatial/GeoConstants.h"

namespace vela::cuda::geo {

using Bool = std::uint8_t;
using State = rpn_eval_result_t;
using vela::GeometryUtils;

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
