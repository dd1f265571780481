// Math family: random values (1262, 1263) and UUIDs (1264, 1265) from an i64 seed per row. Their
// kernels (Random.h) take the row's global number besides the seed; the shape here supplies it from
// the evaluator's first row and the call's row offset.

#include <concepts>
#include <cstdint>
#include <string>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/Random.h"

namespace vela::cuda {

namespace {

/// What the shape needs of an evaluator: the call's row number of its first row (the batch start in
/// the column-batch evaluator, the row itself in the row evaluator) and the call's row offset.
template <class E>
concept ExposesRowPosition = requires(const E& e) {
  { e.startRow() } -> std::convertible_to<std::uint64_t>;
  { e.params().rowOffset } -> std::convertible_to<std::uint64_t>;
};

template <class... E>
constexpr bool allExposeRowPosition(EvaluatorTypeList<E...>) {
  return (ExposesRowPosition<E> && ...);
}

/// Adapts a kernel `Out f(In, std::uint64_t row)` to the kernel runner, which passes only the operands:
/// the runner calls the functor once per row, rows in increasing order from the evaluator's first row,
/// so a counter started there numbers them.
template <class F>
struct RowNumbered {
  F f;
  mutable std::uint64_t nextRow;

  template <class In>
  auto operator()(const In& in) const {
    return f(in, nextRow++);
  }
};

/// Pops the seed column, pushes f(seed, global row) per row. F is built from the call's row offset.
template <class F, class Out>
struct RowNumberedOp {
  template <class E>
  static void eval(E& e) {
    if constexpr (ExposesRowPosition<E>) {
      auto seed = e.template popInput<long>();
      auto out = e.template prepareOutput<Out>();
      const RowNumbered<F> f{F{e.params().rowOffset}, e.startRow()};
      e.runKernel(f, out, seed);
      e.push(std::move(out));
    } else {
      e.unhandledElement();
    }
  }
};

bool registerRandom() {
  constexpr TypedRpnOp kCodes[] = {1262, 1263, 1264, 1265};
  if constexpr (!allExposeRowPosition(RegisteredEvaluators{})) {
    for (TypedRpnOp code : kCodes)
      recordOpRegistrationError("code " + std::to_string(code) +
                                ": an evaluator lacks startRow() or params().rowOffset, which the row "
                                "number of random values and UUIDs comes from");
    return false;
  } else {
    return registerOps(OpFamily::Math,
                       {
                           opEntry<RowNumberedOp<RandFunc, float>>(kCodes[0]),
                           opEntry<RowNumberedOp<RandFunc, float>>(kCodes[1]),
                           opEntry<RowNumberedOp<GetNewUuidFunc, fixed_array_t<16>>>(kCodes[2]),
                           opEntry<RowNumberedOp<GetNewUuidFunc, fixed_array_t<16>>>(kCodes[3]),
                       });
  }
}

[[maybe_unused]] const bool kRegistered = registerRandom();

} // namespace

} // namespace vela::cuda
