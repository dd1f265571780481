#pragma once
// The column-batch evaluator: runs each program element once over a batch of consecutive rows.
//
// Schedule (evaluate): below 65 rows one evaluator runs every row on the calling thread. A call of at
// most kTaskGrainChunks 64-row chunks (one task's worth), or one with a single thread to run on, runs
// slices of up to kSliceRows rows through one evaluator on the calling thread, checking the job for
// cancellation before each slice. Otherwise the rows are cut into 64-row chunks and reduced in parallel
// (oneTBB, a task's range split only while it holds more than kTaskGrainChunks chunks, automatic
// partitioner, join by maximum), each task first checking the job for cancellation and binding the
// caller's memory pool. Each thread keeps one evaluator for the call and runs every sub-range it is
// given through it.
//
// Element-wise ops over plain cells are deferred rather than run at once (evalFusedElementwise): their
// entry holds the functor and the operands, and the element-wise op that consumes it computes the chain
// 256 rows at a time through block buffers on the stack, so a chain reads its inputs and writes its
// result once; any other consumer gets the deferred rows computed into an intermediate column first.
//
// An evaluator keeps two stacks of VectorEvalStackEntry: values, and one-byte null states (0 present,
// 1 null, 2+ the row's error code). Element dispatch (EvalElementHandler) routes each element to its
// family, whose handler pops its operands, prepares an output, runs one functor over the batch and pushes
// the result. The last value element writes straight into the caller's outValues (and outSizes for
// objects), the last null-producing element into outNulls; the end of the batch checks that one value
// is left, clears the cells of null and failed rows, makes borrowed object results owned and reports
// the batch's worst code.
//
// The interface an op handler uses (popInput, popNonConstInput, prepareOutput, push, runKernel,
// runKernelWithState, element, rowCount and the loaders) is the one the row evaluator offers too, so a
// handler is written once as a template over the evaluator type (see EvalElementHandler.h).

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>
#include <memory_resource>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/CallContext.h"
#include "cuda/TypedRpnEvaluator.h"
#include "cuda/VectorEvalDispatch.h"
#include "cuda/VectorEvalTypes.h"

namespace vela::cuda {

namespace vector_eval_detail {

// Asks for the cells of a column operand's next block before this block's ops run. The ops of a chain
// take turns over a block (one op's loads, then another's arithmetic on the block buffers), so without
// the hint the memory idles through a compute-heavy op until the next block's first loads; the fused
// loop of the same expression overlaps the two. Only calls of kPrefetchRows rows or more ask: the inputs of
// a smaller call fit the core's level-2 cache, where the hints only cost instructions. Past the batch's
// end a hint reads nothing harmful (a prefetch does not fault).
inline constexpr unsigned long kPrefetchRows = 1ul << 16;
template <class T>
inline void prefetchNextBlock(const T* next, std::size_t n) {
  const char* const bytes = reinterpret_cast<const char*>(next);
  for (std::size_t offset = 0; offset < n * sizeof(T); offset += 64)
    __builtin_prefetch(bytes + offset);
}

// Runs f over the batch's rows begin .. begin + n - 1 (n <= the deferred block size) into out: a
// deferred operand is first produced into a block buffer on this frame, a column is read from its row
// `begin` (its next block asked for when `prefetch`), a constant as it is. Deferred and column operands
// give the same view type, so the loops are the ones the plain kernel runner instantiates.
template <std::size_t K, class F, class Out, class Tuple, class... Views>
void runFusedBlock(const F& f, const Tuple& inputs, std::size_t begin, std::size_t n, bool prefetch,
                   Out* __restrict out, const Views&... views) {
  if constexpr (K == std::tuple_size_v<Tuple>) {
    dispatchFuncHost(n, f, out, views...);
  } else {
    const auto& input = std::get<K>(inputs);
    using T = typename std::remove_cvref_t<decltype(input)>::value_type;
    const VectorEvalStackEntry& entry = input.entry();
    if (entry.deferred) {
      alignas(64) unsigned char block[VectorEvalDeferredColumn::kBlockRows * sizeof(T)];
      entry.deferred->produce(begin, n, block);
      runFusedBlock<K + 1>(f, inputs, begin, n, prefetch, out, views..., reinterpret_cast<const T*>(block));
    } else if (input.isConstant()) {
      runFusedBlock<K + 1>(f, inputs, begin, n, prefetch, out, views..., input.constInput());
    } else {
      const T* const cells = input.column() + begin;
      if (prefetch)
        prefetchNextBlock(cells + n, n);
      runFusedBlock<K + 1>(f, inputs, begin, n, prefetch, out, views..., cells);
    }
  }
}

// A deferred element-wise op: its functor and the operand entries it holds until its rows are asked for.
template <class F, class Out, class... In>
class FusedElementwiseColumn final : public VectorEvalDeferredColumn {
public:
  FusedElementwiseColumn(const F& f, std::tuple<VectorEvalInputStackEntry<In>...>&& inputs, unsigned depth,
                         bool prefetch)
      : VectorEvalDeferredColumn(sizeof(Out), depth), m_f(f), m_inputs(std::move(inputs)),
        m_prefetch(prefetch) {}
  void produce(std::size_t begin, std::size_t n, void* cells) const override {
    runFusedBlock<0>(m_f, m_inputs, begin, n, m_prefetch, static_cast<Out*>(cells));
  }

private:
  F m_f;
  std::tuple<VectorEvalInputStackEntry<In>...> m_inputs;
  bool m_prefetch;
};

} // namespace vector_eval_detail

class TypedRpnVectorEvaluator {
public:
  /// Rows per chunk of the parallel schedule; calls of fewer than kSerialRowLimit rows stay on the
  /// calling thread.
  static constexpr unsigned long kChunkRows = 64;
  static constexpr unsigned long kSerialRowLimit = 65;
  /// Grain of the parallel schedule in chunks (1,024 rows): a task's range is split only while it holds
  /// more, since a task of a few chunks costs more to start than its rows take to evaluate.
  static constexpr unsigned long kTaskGrainChunks = 16;
  /// Rows one evaluator runs at a time inside a task's sub-range (a multiple of the chunk): small
  /// enough that a program's intermediate columns stay in the core's level-2 cache (8,192 rows of 8-byte
  /// cells are 64 KiB a column) and that a task's scratch does not grow with the row count, large enough
  /// that interpreting the program once per slice costs little next to the kernels and that the
  /// hardware prefetchers keep streaming the input columns.
  static constexpr unsigned long kSliceRows = 128 * kChunkRows;

  TypedRpnVectorEvaluator(const TypedRpnEvaluatorParams& params, unsigned long startRow,
                          unsigned long rowCount)
      : m_params(&params), m_startRow(startRow), m_rowCount(rowCount) {}
  TypedRpnVectorEvaluator(const TypedRpnVectorEvaluator&) = delete;
  TypedRpnVectorEvaluator& operator=(const TypedRpnVectorEvaluator&) = delete;

  /// Evaluates every row of the call; returns the worst row code, with 1 (null) reported as 0.
  static rpn_eval_result_t evaluate(const TypedRpnEvaluatorParams& params);

  // --- what op handlers read ---------------------------------------------------------------------
  const TypedRpnEvaluatorParams& params() const { return *m_params; }
  unsigned long startRow() const { return m_startRow; }
  unsigned long rowCount() const { return m_rowCount; }
  unsigned long elementIndex() const { return m_elementIndex; }
  const TypedRpnElement& element() const { return m_params->elements[m_elementIndex]; }
  bool hasJobContext() const { return m_params->job != nullptr; }
  bool isJobCancelled() const;
  ManagedThreadLocalArena* getArena() const { return m_params->arena; }
  std::size_t valueStackSize() const { return m_values.size(); }
  std::size_t nullStackSize() const { return m_states.size(); }

  // --- stacks ------------------------------------------------------------------------------------
  /// Removes the top entry of the value stack (of the null-state stack for T = rpn_eval_result_t).
  /// An empty stack throws "stack underflow" (code 7) at once.
  template <class T>
  VectorEvalPopInputType<T> popInput() {
    return VectorEvalPopInputType<T>(popEntry(stackFor<T>()));
  }
  /// As popInput, but a constant is first expanded into an owned column of row-count copies.
  template <class T>
  VectorEvalPopNonConstInputType<T> popNonConstInput() {
    VectorEvalStackEntry entry = popEntry(stackFor<T>());
    if (entry.constant)
      entry = expandConstant(entry, sizeof(T));
    return VectorEvalPopNonConstInputType<T>(std::move(entry));
  }
  /// The output column of the current element: over the caller's outValues from the batch's first row
  /// when the element is at or after the last value element (for T = rpn_eval_result_t: over outNulls
  /// when it is the last null element and outNulls is given), else an owned zeroed column.
  ///
  /// States pushed after the last null element (code columns turned into states) get their own
  /// columns: two entries over outNulls would overwrite each other, and the state left on top at the
  /// end (copied into outNulls then) is the row's state, as in the row evaluator.
  ///
  /// For an output handle type T (object results) the entry has object slots and reservation slots:
  /// the caller's outValues and outSizes (cleared for the batch) for the last value element, else owned
  /// zeroed arrays whose owned objects are freed when the entry dies (see VectorEvalObjects.h).
  template <class T>
  VectorEvalOutputStackEntry<T> prepareOutput() {
    if constexpr (isObjectHandle<T>) {
      return prepareObjectOutput<T>();
    } else {
      static_assert(std::is_trivially_copyable_v<T>);
      if constexpr (std::is_same_v<T, rpn_eval_result_t>) {
        if (m_elementIndex == m_params->lastNullElement && m_params->outNulls != nullptr)
          return VectorEvalOutputStackEntry<T>(
              VectorEvalStackEntry::borrowedColumn(m_params->outNulls + m_startRow));
      } else if (m_elementIndex >= m_params->lastValueElement) {
        assert(sizeof(T) == m_params->evaluatedTypeSize && "final cells are of the program's evaluated type");
        return VectorEvalOutputStackEntry<T>(
            VectorEvalStackEntry::borrowedColumn(m_params->outValues + m_startRow * sizeof(T)));
      }
      return VectorEvalOutputStackEntry<T>(scratchOrOwnedColumn(m_rowCount * sizeof(T)));
    }
  }
  /// Pushes an output on the value stack (on the null-state stack for T = rpn_eval_result_t).
  template <class T>
  void push(VectorEvalOutputStackEntry<T>&& out) {
    stackFor<T>().push(out.release());
  }
  void pushValue(VectorEvalStackEntry&& entry) { m_values.push(std::move(entry)); }
  void pushState(VectorEvalStackEntry&& entry) { m_states.push(std::move(entry)); }

  // --- kernels -----------------------------------------------------------------------------------
  /// The kernel runner (see VectorEvalDispatch.h).
  template <class... Args>
  static void dispatchFuncHost(std::size_t n, Args&&... args) {
    vela::cuda::dispatchFuncHost(n, std::forward<Args>(args)...);
  }
  /// Runs `f` over the batch from popped input entries into `out`.
  template <class F, class Out, class... In>
  void runKernel(const F& f, VectorEvalOutputStackEntry<Out>& out, In&... in) {
    auto entries = std::tie(in...);
    auto run = [&](const auto&... views) {
      vela::cuda::dispatchFuncHost(m_rowCount, f, out.view(), views...);
    };
    vector_eval_detail::resolveInputViews<0>(run, entries);
  }
  /// As runKernel, for a functor that writes a row code into `states`.
  template <class F, class Out, class... In>
  void runKernelWithState(const F& f, VectorEvalOutputStackEntry<Out>& out,
                          VectorEvalOutputStackEntry<rpn_eval_result_t>& states, In&... in) {
    auto entries = std::tie(in...);
    auto run = [&](const auto&... views) {
      vela::cuda::dispatchFuncHost(m_rowCount, f, out.view(), VectorEvalResultColumn{states.column()},
                                   views...);
    };
    vector_eval_detail::resolveInputViews<0>(run, entries);
  }

  // --- fused element-wise ops ----------------------------------------------------------------------
  /// Element-wise ops of plain cells (ElementwiseOp) go through evalFusedElementwise.
  static constexpr bool kFusesElementwise = true;
  /// Longest chain of deferred ops; an op that would make a longer one is computed at once.
  static constexpr unsigned kMaxFusedDepth = 8;

  /// out[i] = f(in...[i]) for an element-wise op of plain cells. Before the last value element the op
  /// is deferred: its entry holds f and the operands, and its rows are computed a block at a time by
  /// the element-wise op that consumes it (so that a chain of them reads its inputs and writes its
  /// result once, keeping the intermediates in a block buffer), or all at once into an owned column by
  /// any other consumer. The last value element computes its rows into the caller's cells, block by
  /// block when an operand is deferred. The functor must be pure: rows may be computed in a different
  /// order across the ops of a chain, and never twice.
  template <class Out, class... In, class F>
  void evalFusedElementwise(const F& f) {
    auto inputs = popFusedOperands<In...>();
    unsigned depth = 0;
    std::apply(
        [&depth](const auto&... in) {
          ((depth = std::max(depth, in.entry().deferred ? in.entry().deferred->depth() : 0u)), ...);
        },
        inputs);
    if (m_elementIndex < m_params->lastValueElement && depth < kMaxFusedDepth) {
      using Node = vector_eval_detail::FusedElementwiseColumn<F, Out, In...>;
      void* place = m_nodeArena.allocate(sizeof(Node), alignof(Node));
      m_values.push(VectorEvalStackEntry::deferredColumn(
          std::unique_ptr<VectorEvalDeferredColumn, VectorEvalDeferredColumn::Destroy>(
              new (place) Node(f, std::move(inputs), depth + 1, prefetchesBlocks()))));
      return;
    }
    VectorEvalOutputStackEntry<Out> out = prepareOutput<Out>();
    if (depth == 0) {
      std::apply([&](auto&... in) { runKernel(f, out, in...); }, inputs);
    } else {
      Out* const cells = out.column();
      const bool prefetch = prefetchesBlocks();
      VectorEvalDeferredColumn::forEachBlock(m_rowCount, [&](std::size_t begin, std::size_t n) {
        vector_eval_detail::runFusedBlock<0>(f, inputs, begin, n, prefetch, cells + begin);
      });
    }
    push(std::move(out));
  }

  /// Whether deferred chains ask for their column operands' next blocks (see prefetchNextBlock).
  bool prefetchesBlocks() const { return m_params->numRows >= vector_eval_detail::kPrefetchRows; }

  // --- loaders -----------------------------------------------------------------------------------
  // T is the cell type: for plain loads and constants the cell of the type's width, for objects the
  // object pointer (const InlineBuffer<char>*, ...). The object forms are defined in
  // VectorEvalObjects.h, which object families include.

  /// Loads the element's column: a borrowed column before the last value element, else a copy of the
  /// batch's cells into the caller's outValues. The final copy of an object column marks every
  /// non-null row borrowed, so that the end of the batch replaces it by an owned copy.
  template <class T>
  void evalVar() {
    const unsigned char* column = columnBase() + m_startRow * sizeof(T);
    if (m_elementIndex < m_params->lastValueElement) {
      m_values.push(VectorEvalStackEntry::borrowedColumn(column));
      return;
    }
    if constexpr (isObjectCell<T>) {
      finalObjectColumn<T>(reinterpret_cast<const T*>(column));
    } else {
      VectorEvalOutputStackEntry<T> out = prepareOutput<T>();
      if (m_rowCount != 0)
        std::memcpy(static_cast<void*>(out.column()), column, m_rowCount * sizeof(T));
      push(std::move(out));
    }
  }
  /// The constant in the element's operand area: a constant entry pointing at it before the last value
  /// element, else every output cell filled with it (an object constant: an owned copy in every row).
  template <class T>
  void evalConst() {
    static_assert(sizeof(T) <= sizeof(TypedRpnElement::operand));
    if (m_elementIndex < m_params->lastValueElement) {
      m_values.push(VectorEvalStackEntry::constantAt(element().operand));
      return;
    }
    T value;
    std::memcpy(static_cast<void*>(&value), element().operand, sizeof(T));
    fillOutput(value);
  }
  /// A constant computed by the caller: a constant entry owning one cell before the last value element,
  /// else every output cell filled with it.
  template <class T>
  void evalConstValue(const T& value) {
    if (m_elementIndex < m_params->lastValueElement) {
      m_values.push(VectorEvalStackEntry::ownedConstant(value));
      return;
    }
    fillOutput(value);
  }
  /// The all-zero value of T.
  template <class T>
  void evalConstNull() {
    T zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof zero);
    evalConstValue(zero);
  }
  /// Moves or shares the ownership of rows whose output holds the very object of the input (an op that
  /// returned its input unchanged); see checkObjectMoveRows in ManagedObjects.h.
  template <class In, class H>
  void checkObjectMove(VectorEvalInputStackEntry<In>& input, VectorEvalOutputStackEntry<H>& output);
  template <class In, class H>
  void checkObjectMove(VectorEvalInputNonConstStackEntry<In>& input, VectorEvalOutputStackEntry<H>& output);

  /// Reads the element's column as In and pushes f(x) as Out for every row.
  template <class In, class Out, class F>
  void evalVarFunc(const F& f) {
    const In* column = reinterpret_cast<const In*>(columnBase()) + m_startRow;
    VectorEvalOutputStackEntry<Out> out = prepareOutput<Out>();
    vela::cuda::dispatchFuncHost(m_rowCount, f, out.view(), column);
    push(std::move(out));
  }
  /// As evalVarFunc for a functor that also reports a row state; pushes the states, then the values.
  template <class In, class Out, class F>
  void evalVarFuncResult(const F& f) {
    const In* column = reinterpret_cast<const In*>(columnBase()) + m_startRow;
    VectorEvalOutputStackEntry<rpn_eval_result_t> states = prepareOutput<rpn_eval_result_t>();
    VectorEvalOutputStackEntry<Out> out = prepareOutput<Out>();
    vela::cuda::dispatchFuncHost(m_rowCount, f, out.view(), VectorEvalResultColumn{states.column()}, column);
    push(std::move(states));
    push(std::move(out));
  }

  // --- refusals ----------------------------------------------------------------------------------
  /// The element's op is a no-op marker: "<op> is unexpected no-op".
  [[noreturn]] void noOpElement();
  /// No family implements the element's op: "<op> not handled".
  [[noreturn]] void unhandledElement();

protected:
  /// Runs every element over the batch and ends the batch (see TypedRpnVectorEvaluatorHelper).
  rpn_eval_result_t runBatch();
  /// Points the evaluator at another batch; only between batches (both stacks are empty then).
  void moveToBatch(unsigned long startRow, unsigned long rowCount) {
    assert(m_values.empty() && m_states.empty());
    m_nodeArena.release(); // every deferred op of the last batch died with its entry
    m_startRow = startRow;
    m_rowCount = rowCount;
    m_elementIndex = 0;
  }
  /// Intermediate plain columns are drawn from (and given back to) `scratch`, which must outlive the
  /// evaluator; nullptr: each is allocated and freed on its own.
  void useScratch(VectorEvalScratch* scratch) { m_scratch = scratch; }

private:
  // A stack whose storage is kept from batch to batch (a deque would allocate and free its blocks in
  // every batch), and whose first kInlineEntries entries live in the evaluator itself, so that a short
  // call allocates nothing for its stacks. Entries do not point into each other, so moving them when
  // it grows is safe.
  class Stack {
  public:
    static constexpr std::size_t kInlineEntries = 12;
    Stack() { m_entries.reserve(kInlineEntries); }
    Stack(const Stack&) = delete;
    Stack& operator=(const Stack&) = delete;
    bool empty() const noexcept { return m_entries.empty(); }
    std::size_t size() const noexcept { return m_entries.size(); }
    VectorEvalStackEntry& top() noexcept { return m_entries.back(); }
    const VectorEvalStackEntry& top() const noexcept { return m_entries.back(); }
    void push(VectorEvalStackEntry&& entry) { m_entries.push_back(std::move(entry)); }
    void pop() noexcept { m_entries.pop_back(); }

  private:
    alignas(VectorEvalStackEntry) unsigned char m_inline[kInlineEntries * sizeof(VectorEvalStackEntry)];
    std::pmr::monotonic_buffer_resource m_storage{m_inline, sizeof m_inline}; // then the heap
    std::pmr::vector<VectorEvalStackEntry> m_entries{&m_storage};
  };

  template <class T>
  Stack& stackFor() {
    if constexpr (std::is_same_v<T, rpn_eval_result_t>)
      return m_states;
    else
      return m_values;
  }
  VectorEvalStackEntry popEntry(Stack& stack) {
    VectorEvalStackEntry entry = popDeferrable(stack);
    if (entry.deferred) [[unlikely]]
      entry = materialize(std::move(entry));
    return entry;
  }
  VectorEvalStackEntry popDeferrable(Stack& stack) {
    if (stack.empty())
      throwStackUnderflow();
    VectorEvalStackEntry entry = std::move(stack.top());
    stack.pop();
    return entry;
  }
  /// The operands of a fused element-wise op, in push order; a deferred one stays deferred when its
  /// cells have the width the op reads (else it is computed into a column, as any other consumer gets
  /// it).
  template <class... In>
  std::tuple<VectorEvalInputStackEntry<In>...> popFusedOperands() {
    constexpr std::size_t kCount = sizeof...(In);
    constexpr std::size_t kWidths[kCount] = {sizeof(In)...};
    if (m_values.size() < kCount)
      throwStackUnderflow();
    // The operands are the top kCount entries, the first one deepest. Each is moved once, from its
    // slot into the result, and the emptied slots are dropped after: a short call spent more on
    // moving entries through temporaries than on its kernels.
    VectorEvalStackEntry* const base = &m_values.top() - (kCount - 1);
    for (std::size_t k = kCount; k-- > 0;)
      if (base[k].deferred && base[k].deferred->width() != kWidths[k])
        base[k] = materialize(std::move(base[k]));
    auto operands = [base]<std::size_t... K>(std::index_sequence<K...>) {
      return std::tuple<VectorEvalInputStackEntry<In>...>(
          VectorEvalInputStackEntry<In>(std::move(base[K]))...);
    }
    (std::index_sequence_for<In...>{});
    for (std::size_t k = 0; k < kCount; ++k)
      m_values.pop();
    return operands;
  }
  /// The cells of a deferred entry, computed into an intermediate column.
  VectorEvalStackEntry materialize(VectorEvalStackEntry&& entry) const;
  const unsigned char* columnBase() const { return m_params->columns[element().columnIndex()]; }
  template <class T>
  void fillOutput(const T& value) {
    if constexpr (isObjectCell<T>) {
      fillObjectOutput<T>(value);
    } else {
      VectorEvalOutputStackEntry<T> out = prepareOutput<T>();
      T* cells = out.column();
      for (unsigned long i = 0; i < m_rowCount; ++i)
        cells[i] = value;
      push(std::move(out));
    }
  }
  // Object forms (VectorEvalObjects.h).
  template <class H>
  VectorEvalOutputStackEntry<H> prepareObjectOutput();
  template <class T>
  void finalObjectColumn(const T* column);
  template <class T>
  void fillObjectOutput(const T& object);

  VectorEvalStackEntry scratchOrOwnedColumn(std::size_t bytes) const {
    return m_scratch != nullptr ? VectorEvalStackEntry::scratchColumn(*m_scratch, bytes)
                                : VectorEvalStackEntry::ownedColumn(bytes);
  }
  VectorEvalStackEntry expandConstant(const VectorEvalStackEntry& constant, std::size_t width) const;
  [[noreturn]] static void throwStackUnderflow();
  [[noreturn]] static void throwExcessValues();
  rpn_eval_result_t endBatch();

  const TypedRpnEvaluatorParams* m_params;
  unsigned long m_startRow;
  unsigned long m_rowCount;
  unsigned long m_elementIndex = 0;
  // Deferred ops live here for one batch; declared before the stacks, whose entries destroy them.
  alignas(std::max_align_t) unsigned char m_nodeBuffer[8192];
  std::pmr::monotonic_buffer_resource m_nodeArena{m_nodeBuffer, sizeof m_nodeBuffer};
  Stack m_values;
  Stack m_states;
  VectorEvalScratch* m_scratch = nullptr;
};

/// The evaluator seen through its per-batch driver.
class TypedRpnVectorEvaluatorHelper : public TypedRpnVectorEvaluator {
public:
  using TypedRpnVectorEvaluator::moveToBatch;
  using TypedRpnVectorEvaluator::TypedRpnVectorEvaluator;
  using TypedRpnVectorEvaluator::useScratch;
  /// Runs every element over the batch, then ends it: exactly one value must be left ("stack ended
  /// with excess values", code 8, otherwise), the row states go to outNulls, null and failed rows are
  /// cleared, borrowed object results become owned copies. Returns the batch's worst row code when the
  /// program has reportable errors (1 reported as 0), else 0.
  rpn_eval_result_t evaluateRows() { return runBatch(); }
};

} // namespace vela::cuda
