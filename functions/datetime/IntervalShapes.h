#pragma once
// The op shape of the interval ops whose first operand is the unit: a unit given as a constant is
// resolved once per batch, and the rows run through a functor compiled for that one unit (so the unit's
// dispatch and its divisors fold into the loop); a unit column runs the functor that reads the unit per
// row. Both functors compute the same routine, so the results do not depend on the path.

#include <tuple>
#include <utility>

#include "cuda/EvalElementHandler.h"
#include "functions/datetime/Intervals.h"

namespace vela::cuda {

/// Every unit above 12 behaves as 13 in the interval routines.
inline constexpr unsigned kLastSpecialisedUnit = 13;

/// ByUnit<U> is a functor over the operands after the unit; PerRow reads the unit as its first operand.
template <template <TimeInterval> class ByUnit, class PerRow, class Out, class... Rest>
struct UnitFirstOp {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, int, Rest...>(e);
    auto out = e.template prepareOutput<Out>();
    const auto& unit = std::get<0>(inputs);
    bool done = false;
    if constexpr (requires { unit.constInput(); }) {
      if (unit.isConstant()) {
        const unsigned u = static_cast<unsigned>(unit.constInput().value);
        runFor(e, u < kLastSpecialisedUnit ? u : kLastSpecialisedUnit, out, inputs,
               std::make_integer_sequence<unsigned, kLastSpecialisedUnit + 1>{});
        done = true;
      }
    }
    if (!done) {
      const PerRow f{};
      std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
    }
    e.push(std::move(out));
  }

private:
  template <class E, class O, class Tuple, unsigned... U>
  static void runFor(E& e, unsigned unit, O& out, Tuple& inputs, std::integer_sequence<unsigned, U...>) {
    static_cast<void>(
        ((unit == U ? (runOne<static_cast<TimeInterval>(U)>(e, out, inputs), true) : false) || ...));
  }
  template <TimeInterval U, class E, class O, class Tuple>
  static void runOne(E& e, O& out, Tuple& inputs) {
    const ByUnit<U> f{};
    std::apply([&](auto&, auto&... rest) { e.runKernel(f, out, rest...); }, inputs);
  }
};

/// UnitFirstOp over one routine `Out Fn(TimeInterval, Rest...)`: the per-unit functor passes its unit
/// as a constant (so it folds into the routine), the per-row one converts the row's unit.
template <auto Fn, class Out, class... Rest>
struct UnitRoutine {
  struct PerRow {
    Out operator()(int unit, Rest... rest) const { return Fn(toTimeInterval(unit), rest...); }
  };
  template <TimeInterval U>
  struct At {
    Out operator()(Rest... rest) const { return Fn(U, rest...); }
  };
};
template <auto Fn, class Out, class... Rest>
using UnitRoutineOp = UnitFirstOp<UnitRoutine<Fn, Out, Rest...>::template At,
                                  typename UnitRoutine<Fn, Out, Rest...>::PerRow, Out, Rest...>;

} // namespace vela::cuda
