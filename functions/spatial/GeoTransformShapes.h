#pragma once
// Shared pieces of the ops with geometry results (constructors, transformations, conversions): the
// cell type and the op shapes. Geometry constants are primed for concurrent reads before the loop
// (GeoConstants.h).
//
// Results. A new geometry is wrapped in a ManagedGeometryPtr on the default pool (charged by its
// footprint) and released into the row's EvalOutputGeometry slot; a refused reservation passes on as
// its exception and the op's entries free what they already hold. A result that is one of the op's
// geometry inputs unchanged is never copied: the functor stores the input's pointer (writeInput) and
// the shape settles its ownership after the batch (checkObjectMove): an intermediate input hands its
// reservation over, a column or a constant stays borrowed.

#include <cstdint>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include <geos/geom/Geometry.h>

#include "base/GeometryUtils.h"
#include "cuda/VectorEvalObjects.h"
#include "functions/spatial/GeoConstants.h"

namespace vela::cuda::geoops {

using GeometryCell = const geos::geom::Geometry*;
using StringCell = const InlineBuffer<char>*;
using Bool = std::uint8_t;
using State = rpn_eval_result_t;

namespace detail {
template <class E, class In, class Out>
void settleGeometry(E& e, In& in, Out& out) {
  if constexpr (std::is_same_v<typename In::value_type, GeometryCell>)
    e.checkObjectMove(in, out);
}

/// Primes the program's geometry constants before a loop reads them (GeoConstants.h).
template <class E>
void prepareConstants(const E& e) {
  geo::prepareConstantGeometries(e);
}
} // namespace detail

/// Pops In... (push order, the last on top), runs F, a functor `void(EvalOutputGeometry, In...)`, over
/// the rows and pushes its geometries; every geometry operand is then checked for having been returned
/// unchanged (checkObjectMove).
template <class F, class... In>
struct GeometryResultOp {
  template <class E>
  static void eval(E& e) {
    if constexpr ((std::is_same_v<In, GeometryCell> || ...))
      detail::prepareConstants(e);
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto out = e.template prepareOutput<EvalOutputGeometry>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
    std::apply([&](auto&... in) { (detail::settleGeometry(e, in, out), ...); }, inputs);
    e.push(std::move(out));
  }
};

/// As GeometryResultOp for a functor that also writes the row's state: `void(EvalOutputGeometry,
/// In..., State&)`; pushes the states, then the geometries.
template <class F, class... In>
struct GeometryResultOpWithState {
  template <class E>
  static void eval(E& e) {
    if constexpr ((std::is_same_v<In, GeometryCell> || ...))
      detail::prepareConstants(e);
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<EvalOutputGeometry>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernelWithState(f, out, states, in...); }, inputs);
    std::apply([&](auto&... in) { (detail::settleGeometry(e, in, out), ...); }, inputs);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

/// A call of the geometry library `Fn(In...)` returning a new geometry it owns (nullptr: a null
/// result), as a GeometryResultOp functor: the result is charged to the default pool and stored.
template <auto Fn, class... In>
struct GeometryCallFunc {
  void operator()(EvalOutputGeometry out, In... in) const { out.write(Fn(in...)); }
};

/// As GeometryCallFunc for a call that also takes the row's null flag, `Fn(In..., bool& isNull)`: a
/// set flag gives a null row (state 1, no geometry), a clear one state 0.
template <auto Fn, class... In>
struct GeometryCallNullFunc {
  void operator()(EvalOutputGeometry out, In... in, State& state) const {
    bool isNull = false;
    std::unique_ptr<geos::geom::Geometry> g = Fn(in..., isNull);
    state = isNull ? RPN_EVAL_NULL : RPN_EVAL_OK;
    if (isNull)
      return out.writeNull();
    out.write(std::move(g));
  }
};

/// The op of a geometry-library call without and with a null flag; In... are the operands in push order.
template <auto Fn, class... In>
using GeometryCall = GeometryResultOp<GeometryCallFunc<Fn, In...>, In...>;
template <auto Fn, class... In>
using GeometryCallWithNull = GeometryResultOpWithState<GeometryCallNullFunc<Fn, In...>, In...>;

} // namespace vela::cuda::geoops
