#pragma once
// Running programs through the column-batch evaluator in tests: a private pool bound to the test
// thread, output buffers pre-filled with a sentinel so unwritten cells show, and test-only kernels
// installed over catalogue codes.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "base/CallContext.h"
#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "tests/support/StateLoads.h"

namespace quarry::test {

using vela::cuda::TypedRpnVectorEvaluator;
using Eval = TypedRpnVectorEvaluator;

inline constexpr unsigned char kSentinel = 0xA5;

/// A pool of its own, bound to the test thread for the scope (so the evaluator binds it in its tasks).
struct PrivatePool {
  vela::RamPool pool{"vector-evaluator-test"};
  vela::RamPoolThreadBinding binding{&pool};
};

struct Outputs {
  std::vector<unsigned char> values, nulls;
  std::vector<unsigned long> sizes;
  std::size_t width = 0;
  const unsigned char* cell(unsigned long row) const { return values.data() + row * width; }
};

struct RunOptions {
  bool withNulls = true;
  vela::KernelExecutionHelper* helper = nullptr;
};

/// Evaluates `program` over `rows` rows; outputs pre-filled with the sentinel (sizes with all 0xA5 bytes).
inline vela::cuda::rpn_eval_result_t runVector(const vela::ParserUtils::Program& program,
                                               const std::vector<const unsigned char*>& columns,
                                               unsigned long rows, Outputs& out,
                                               const RunOptions& options = {}) {
  out.width =
      vela::ParserUtils::get_rpn_datatype_size(vela::ParserUtils::get_evaluated_type(program.elements()));
  out.values.assign(rows * out.width, kSentinel);
  out.nulls.assign(rows, kSentinel);
  unsigned long sentinelSize;
  std::memset(&sentinelSize, kSentinel, sizeof sentinelSize);
  out.sizes.assign(rows, sentinelSize);
  vela::cuda::TypedRpnEvaluatorParams params(options.helper, program.elements(), columns.data(),
                                             columns.size(), out.values.data(),
                                             options.withNulls ? out.nulls.data() : nullptr, out.sizes.data(),
                                             rows, 2024, 0, nullptr, nullptr, nullptr);
  return TypedRpnVectorEvaluator::evaluate(params);
}

/// `n` cells of `width` random bytes.
inline std::vector<unsigned char> randomBytes(std::size_t n, std::size_t width, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<unsigned char> v(n * width);
  for (auto& b : v)
    b = static_cast<unsigned char>(gen());
  return v;
}

/// c ? b : a, operands a, b, c (c on top), over cells of any width: stands in for the IF ops.
template <class T>
struct SelectFunc {
  T operator()(const T& a, const T& b, std::uint8_t c) const { return c != 0 ? b : a; }
};
template <class T>
using SelectShape = vela::cuda::ElementwiseOp<SelectFunc<T>, T, T, T, std::uint8_t>;
/// The same select popping its operands as ops that do not fuse do: the column-batch evaluator computes
/// a deferred operand into an owned column first, and its own output is an owned column too.
template <class T>
struct PlainSelectShape {
  template <class E>
  static void eval(E& e) {
    auto c = e.template popInput<std::uint8_t>();
    auto y = e.template popInput<T>();
    auto x = e.template popInput<T>();
    auto out = e.template prepareOutput<T>();
    e.runKernel(SelectFunc<T>{}, out, x, y, c);
    e.push(std::move(out));
  }
};

/// s == 1 ? 16 : s (NULL_TO_ERROR), an error-producing state op.
struct NullToErrorFunc {
  vela::cuda::rpn_eval_result_t operator()(vela::cuda::rpn_eval_result_t s) const {
    return s == vela::cuda::RPN_EVAL_NULL ? vela::cuda::RPN_EVAL_NULL_TO_ERROR : s;
  }
};
using NullToErrorShape =
    vela::cuda::ElementwiseOp<NullToErrorFunc, vela::cuda::rpn_eval_result_t, vela::cuda::rpn_eval_result_t>;

/// Catalogue codes the test kernels stand in for.
inline constexpr int kNullState = 237, kNullToError = 322, kLoadI64 = 153, kConstI64 = 40, kAddI64 = 1054,
                     kDivI64 = 1078, kLoadString = 233, kConstString = 62;

inline const unsigned char* bytes(const void* p) {
  return static_cast<const unsigned char*>(p);
}

} // namespace quarry::test
