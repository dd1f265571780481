#pragma once
// Shared pieces of the geometry ops: the cell type, and the op shapes whose result is a geometry.
//
// Results. A new geometry is wrapped in a ManagedGeometryPtr on the default pool (charged by its
// footprint) and released into the row's EvalOutputGeometry slot; a refused reservation passes on as
// its exception and the op's entries free what they already hold. A result that is one of the op's
// geometry inputs unchanged is never copied: the functor stores the input's pointer (writeInput) and
// the shape settles its ownership after the batch (checkObjectMove): an intermediate input hands its
// reservation over, a column or a constant stays borrowed.

#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include <geos/geom/Geometry.h>

#include "cuda/VectorEvalObjects.h"

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
} // namespace detail

/// Pops In... (push order, the last on top), runs F, a functor `void(EvalOutputGeometry, In...)`, over
/// the rows and pushes its geometries; every geometry operand is then checked for having been returned
/// unchanged (checkObjectMove).
template <class F, class... In>
struct GeometryResultOp {
  template <class E>
  static void eval(E& e) {
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

} // namespace vela::cuda::geoops
