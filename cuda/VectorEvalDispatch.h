#pragma once
// The kernel runner of the column-batch evaluator: runs an op's row functor over a batch.
//
// An input view is either a column (`const T*`, element i read at row i) or a constant
// (`VectorEvalConstInput<T>`, its one value read at every row). Which one an operand is gets decided
// once per batch, outside the loop (resolveInputViews), so the template generates one loop per
// combination of constant and column operands and the loops themselves carry no per-row branch on the
// operand form and no call through a pointer. All combinations call the same functor, so they give the
// same results.
//
// Object outputs (strings, JSON, ...) are written through per-row handles and run as a plain loop: the
// per-row work there is an allocation, not arithmetic.
//
// Loop shape: blocks of a fixed count of rows (kBlockRows, 64 bytes of output cells, at least 32 rows),
// then the remaining rows one by one. The fixed inner trip count and the non-aliasing output let the
// compiler vectorise plain arithmetic without run-time alias checks. Contract: the output (and result)
// column never overlaps an input column. That holds by construction: outputs are fresh owned columns or
// the caller's output buffers, which no input of the same element reads.

#include <algorithm>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "cuda/VectorEvalTypes.h"

namespace vela::cuda {

/// The column of one-byte row codes a functor that reports a row state writes into.
struct VectorEvalResultColumn {
  rpn_eval_result_t* data;
};

/// Stages of a functor's look-ahead (see Prefetching): each stage runs fewer rows ahead of the row
/// being computed than the one before, so that a stage can read what the stage before asked for.
struct PrefetchFar {};
struct PrefetchMid {};
struct PrefetchNear {};
inline constexpr std::size_t kFarRows = 12;
inline constexpr std::size_t kMidRows = 6;
inline constexpr std::size_t kNearRows = 3;

namespace vector_eval_detail {

template <class T>
inline const T& at(const T* column, std::size_t i) {
  return column[i];
}
template <class T>
inline const T& at(T* column, std::size_t i) {
  return column[i];
}
template <class T>
inline const T& at(const VectorEvalConstInput<T>& constant, std::size_t) {
  return constant.value;
}

// At least 32 rows: a kernel mixing one-byte operands with wide cells (a bool condition choosing
// between i64 values) vectorises only when a block holds at least 16 of its rows; 8-row blocks were
// unrolled into a shape the vectoriser gives up on.
template <class Out>
inline constexpr std::size_t kBlockRows = std::max<std::size_t>(32, 64 / sizeof(Out));

// Calls fn with each input entry replaced by its view: constants by their value, columns by their
// cells. 2^k instantiations for k operands that may be constant; non-constant entries add none.
template <std::size_t K, class Fn, class Tuple, class... Views>
inline void resolveInputViews(Fn& fn, Tuple& entries, const Views&... views) {
  if constexpr (K == std::tuple_size_v<Tuple>) {
    fn(views...);
  } else {
    auto& entry = std::get<K>(entries);
    using Entry = std::remove_cvref_t<decltype(entry)>;
    if constexpr (std::is_same_v<Entry, VectorEvalInputNonConstStackEntry<typename Entry::value_type>>) {
      resolveInputViews<K + 1>(fn, entries, views..., entry.column());
    } else {
      if (entry.isConstant())
        resolveInputViews<K + 1>(fn, entries, views..., entry.constInput());
      else
        resolveInputViews<K + 1>(fn, entries, views..., entry.column());
    }
  }
}

/// A functor whose rows chase pointers through memory no cache holds (a document per row) may declare
/// `prefetch(Stage, inputs...)` for the three stages, called with the inputs of rows ahead: the loads of
/// the coming rows then overlap the work of this one. Pure hints: they must not change what the
/// functor computes.
template <class F, class... Args>
concept Prefetching = requires(const F& f, const Args&... args) {
  f.prefetch(PrefetchFar{}, args...);
  f.prefetch(PrefetchMid{}, args...);
  f.prefetch(PrefetchNear{}, args...);
};

template <class F, class... In>
inline void prefetchAhead(const F& f, std::size_t i, std::size_t n, const In&... in) {
  if (i + kFarRows < n)
    f.prefetch(PrefetchFar{}, at(in, i + kFarRows)...);
  if (i + kMidRows < n)
    f.prefetch(PrefetchMid{}, at(in, i + kMidRows)...);
  if (i + kNearRows < n)
    f.prefetch(PrefetchNear{}, at(in, i + kNearRows)...);
}

} // namespace vector_eval_detail

/// Runs `f` over rows 0 to n - 1: out[i] = f(input_0 at i, input_1 at i, ...).
template <class F, class Out, class... In>
inline void dispatchFuncHost(std::size_t n, const F& f, Out* __restrict out, const In&... in) {
  using vector_eval_detail::at;
  if constexpr (vector_eval_detail::Prefetching<F, decltype(at(in, 0))...>) {
    for (std::size_t i = 0; i < n; ++i) {
      vector_eval_detail::prefetchAhead(f, i, n, in...);
      out[i] = f(at(in, i)...);
    }
    return;
  }
  constexpr std::size_t kBlock = vector_eval_detail::kBlockRows<Out>;
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock)
    for (std::size_t j = 0; j < kBlock; ++j)
      out[i + j] = f(at(in, i + j)...);
  for (; i < n; ++i)
    out[i] = f(at(in, i)...);
}

/// Runs a functor that reports a row state: result[i] = 0, then out[i] = f(inputs at i..., result[i]).
/// The functor sets result[i] only when the row fails (to the row's code); storing 0 first keeps the
/// functors free of a store on the good path, and the store sits in the same loop, so the loop stays
/// one vectorisable pass.
template <class F, class Out, class... In>
inline void dispatchFuncHost(std::size_t n, const F& f, Out* __restrict out, VectorEvalResultColumn result,
                             const In&... in) {
  using vector_eval_detail::at;
  rpn_eval_result_t* __restrict codes = result.data;
  if constexpr (vector_eval_detail::Prefetching<F, decltype(at(in, 0))...>) {
    for (std::size_t i = 0; i < n; ++i) {
      vector_eval_detail::prefetchAhead(f, i, n, in...);
      codes[i] = RPN_EVAL_OK;
      out[i] = f(at(in, i)..., codes[i]);
    }
    return;
  }
  constexpr std::size_t kBlock = vector_eval_detail::kBlockRows<Out>;
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock)
    for (std::size_t j = 0; j < kBlock; ++j) {
      codes[i + j] = RPN_EVAL_OK;
      out[i + j] = f(at(in, i + j)..., codes[i + j]);
    }
  for (; i < n; ++i) {
    codes[i] = RPN_EVAL_OK;
    out[i] = f(at(in, i)..., codes[i]);
  }
}

/// Runs a functor producing objects: f(handle of row i, inputs at i...) writes row i's result through
/// the handle (see ManagedObjects.h).
template <class F, class H, class... In>
inline void dispatchFuncHost(std::size_t n, const F& f, VectorEvalOutputObjectArray<H> out, const In&... in) {
  using vector_eval_detail::at;
  for (std::size_t i = 0; i < n; ++i)
    f(out[i], at(in, i)...);
}

/// As above for a functor that also reports a row state into result[i] (0 stored first, as above).
template <class F, class H, class... In>
inline void dispatchFuncHost(std::size_t n, const F& f, VectorEvalOutputObjectArray<H> out,
                             VectorEvalResultColumn result, const In&... in) {
  using vector_eval_detail::at;
  for (std::size_t i = 0; i < n; ++i) {
    result.data[i] = RPN_EVAL_OK;
    f(out[i], at(in, i)..., result.data[i]);
  }
}

} // namespace vela::cuda
