// The column-batch evaluator's schedule, batch driver and end-of-batch pass.
//
// This build evaluates on the host only: a device execution helper cannot be constructed (the
// parameters refuse to build device data), and a host helper is refused here, so every path below is
// the host path and the evaluator keeps no device buffers.

#include "cuda/TypedRpnEvaluatorImpl.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>

#include <log4cplus/loglevel.h>
#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/global_control.h>
#include <tbb/parallel_reduce.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

#include "base/ParserUtils.h"
#include "base/RamPool.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"

namespace vela::cuda {

namespace {

constexpr const char* kEvaluateFunction = "static vela::cuda::rpn_eval_result_t "
                                          "vela::cuda::TypedRpnVectorEvaluator::evaluate(const "
                                          "vela::cuda::TypedRpnEvaluatorParams&)";
constexpr const char* kNoOpFunction = "void vela::cuda::TypedRpnVectorEvaluator::noOpElement()";
constexpr const char* kUnhandledFunction = "void vela::cuda::TypedRpnVectorEvaluator::unhandledElement()";
constexpr const char* kEvaluateRowsFunction =
    "vela::cuda::rpn_eval_result_t vela::cuda::TypedRpnVectorEvaluatorHelper::evaluateRows()";

// The row states of a batch: a column, one constant state for every row, or none (all present).
struct RowStates {
  const rpn_eval_result_t* column = nullptr;
  rpn_eval_result_t constant = RPN_EVAL_OK;
  bool isConstant = false;

  static RowStates of(const VectorEvalStackEntry& entry) {
    RowStates s;
    if (entry.constant) {
      s.isConstant = true;
      s.constant = *static_cast<const rpn_eval_result_t*>(entry.data);
    } else {
      s.column = static_cast<const rpn_eval_result_t*>(entry.data);
    }
    return s;
  }
  bool any() const { return isConstant || column != nullptr; }
  rpn_eval_result_t at(unsigned long i) const {
    return isConstant ? constant : column != nullptr ? column[i] : RPN_EVAL_OK;
  }
  rpn_eval_result_t worst(unsigned long n) const {
    if (n == 0 || !any())
      return RPN_EVAL_OK;
    if (isConstant)
      return constant;
    unsigned char worst = 0;
    for (unsigned long i = 0; i < n; ++i)
      worst = std::max<unsigned char>(worst, column[i]);
    return static_cast<rpn_eval_result_t>(worst);
  }
};

// Copies a final entry that is not the caller's cells into them. Object cells move their ownership:
// owned slots hand their reservation over, borrowed ones (columns, constants) are marked borrowed so
// that the end of the batch copies them.
void copyResultCells(VectorEvalStackEntry& result, unsigned char* outCells, unsigned long* outSlots,
                     std::size_t width, unsigned long n) {
  const auto* cells = static_cast<const unsigned char*>(result.data);
  for (unsigned long i = 0; i < n; ++i)
    std::memcpy(outCells + i * width, cells + (result.constant ? 0 : i * width), width);
  if (outSlots == nullptr)
    return;
  auto* const objects = reinterpret_cast<void* const*>(outCells);
  for (unsigned long i = 0; i < n; ++i) {
    if (result.aux != nullptr && !result.constant) {
      outSlots[i] = result.aux[i];
      result.aux[i] = 0;
    } else {
      outSlots[i] = objects[i] != nullptr ? kBorrowedReservation : 0;
    }
  }
}

// Zeroes the cells of the rows whose state is not 0. The common widths run as a branch-free select,
// which vectorises; a null or failed row is no rarity in a program with null states.
template <class Cell>
void clearStateRowsOf(unsigned char* cells, const rpn_eval_result_t* __restrict states, unsigned long n) {
  Cell* __restrict out = reinterpret_cast<Cell*>(cells);
  for (unsigned long i = 0; i < n; ++i)
    out[i] = states[i] != RPN_EVAL_OK ? Cell(0) : out[i];
}
void clearStateRows(unsigned char* cells, std::size_t width, const rpn_eval_result_t* states,
                    unsigned long n) {
  switch (width) {
  case 1:
    return clearStateRowsOf<std::uint8_t>(cells, states, n);
  case 2:
    return clearStateRowsOf<std::uint16_t>(cells, states, n);
  case 4:
    return clearStateRowsOf<std::uint32_t>(cells, states, n);
  case 8:
    return clearStateRowsOf<std::uint64_t>(cells, states, n);
  default:
    for (unsigned long i = 0; i < n; ++i)
      if (states[i] != RPN_EVAL_OK)
        std::memset(cells + i * width, 0, width);
  }
}

// Object results at the end of a batch: in a good row a borrowed object is replaced by an owned copy;
// in a null or failed row an owned object is freed and the slot emptied.
void finishObjectRows(RpnDataType type, void** objects, unsigned long* reservations, const RowStates& states,
                      unsigned long n) {
  const bool handled = visitObjectHandle(type, [&](auto tag) {
    using H = typename decltype(tag)::type;
    if (!states.isConstant) {
      settleFinalObjectRows<H>(objects, reservations, states.column, n);
    } else if (states.constant == RPN_EVAL_OK) {
      settleFinalObjectRows<H>(objects, reservations, nullptr, n);
    } else {
      for (unsigned long i = 0; i < n; ++i)
        clearSlot(objects + i, reservations + i, H::kDeleter);
    }
  });
  if (!handled)
    throwPlainFault("Unhandled object type", log4cplus::ERROR_LOG_LEVEL, kEvaluatorImplSourcePath, __LINE__,
                    kEvaluateRowsFunction);
}

} // namespace

rpn_eval_result_t TypedRpnVectorEvaluator::evaluate(const TypedRpnEvaluatorParams& params) {
  if (params.helper != nullptr && params.helper->isHost())
    throwPlainFault("Host KernelExecutionHelper not supported in TypedRpnVectorEvaluator",
                    log4cplus::ERROR_LOG_LEVEL, kEvaluatorImplSourcePath, __LINE__, kEvaluateFunction);

  const unsigned long numRows = params.numRows;
  if (params.helper != nullptr || numRows < kSerialRowLimit) {
    TypedRpnVectorEvaluatorHelper evaluator(params, 0, numRows);
    return reportedResult(evaluator.evaluateRows());
  }

  // One evaluator and its scratch columns per thread for the whole call, so that a task costs no
  // allocation: its sub-range runs as consecutive slices through that evaluator, whose intermediate
  // columns are recycled from slice to slice. The slots die (and give their scratch back to the pool)
  // before the call returns.
  struct ThreadSlot {
    ThreadSlot() {} // user-provided: value-initialising a slot must not zero the evaluator's buffers
    VectorEvalScratch scratch; // declared before the evaluator: it outlives every entry
    std::optional<TypedRpnVectorEvaluatorHelper> evaluator;
    bool busy = false;
  };
  const unsigned long chunks = (numRows - 1) / kChunkRows + 1;

  // A call that one task would take anyway, or that has one thread to run on, runs its slices on the
  // calling thread: no task is scheduled. With a job the slices are a task's least size and the job is
  // checked before each, as it is before every task, so that a cancellation stops the call as soon.
  const unsigned long sliceRows = params.job != nullptr ? kTaskGrainChunks * kChunkRows : kSliceRows;
  const bool oneThread = tbb::this_task_arena::max_concurrency() <= 1 ||
                         tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism) <= 1;
  if (chunks <= kTaskGrainChunks || oneThread) {
    ThreadSlot slot;
    rpn_eval_result_t running = RPN_EVAL_OK;
    for (unsigned long start = 0; start < numRows; start += sliceRows) {
      if (params.job != nullptr && JobInfoWrapper(params.job).isCancelled())
        return RPN_EVAL_OK;
      const unsigned long n = std::min(numRows - start, sliceRows);
      if (!slot.evaluator) {
        slot.evaluator.emplace(params, start, n);
        slot.evaluator->useScratch(&slot.scratch);
      } else {
        slot.evaluator->moveToBatch(start, n);
      }
      running = combineResults(running, slot.evaluator->evaluateRows());
    }
    return reportedResult(running);
  }

  // A thread that starts another task of this call while its own is suspended (an op that waits on a
  // nested parallel algorithm) finds its slot busy and uses a private one.
  tbb::enumerable_thread_specific<ThreadSlot> slots;
  RamPool* const pool = RamPool::getDefault();
  const rpn_eval_result_t result = tbb::parallel_reduce(
      tbb::blocked_range<unsigned long>(0, chunks, kTaskGrainChunks), RPN_EVAL_OK,
      [&params, &slots, pool, numRows](const tbb::blocked_range<unsigned long>& range,
                                       rpn_eval_result_t running) -> rpn_eval_result_t {
        if (params.job != nullptr && JobInfoWrapper(params.job).isCancelled())
          return RPN_EVAL_OK;
        RamPoolThreadBinding binding(pool, true);
        const unsigned long first = range.begin() * kChunkRows;
        const unsigned long end = std::min(numRows, range.end() * kChunkRows);
        ThreadSlot& shared = slots.local();
        std::unique_ptr<ThreadSlot> own; // only for a nested task, so the common path zeroes nothing
        if (shared.busy)
          own = std::make_unique<ThreadSlot>();
        ThreadSlot& slot = own ? *own : shared;
        if (!slot.evaluator) {
          slot.evaluator.emplace(params, first, std::min(end - first, kSliceRows));
          slot.evaluator->useScratch(&slot.scratch);
        }
        slot.busy = true;
        struct Release {
          ThreadSlot& s;
          ~Release() {
            s.busy = false;
            if (std::uncaught_exceptions() > 0)
              s.evaluator.reset(); // its stacks hold the failed batch's entries
          }
        } release{slot};
        for (unsigned long start = first; start < end; start += kSliceRows) {
          slot.evaluator->moveToBatch(start, std::min(end - start, kSliceRows));
          running = combineResults(running, slot.evaluator->evaluateRows());
        }
        return running;
      },
      [](rpn_eval_result_t a, rpn_eval_result_t b) { return combineResults(a, b); }, tbb::auto_partitioner());
  return reportedResult(result);
}

bool TypedRpnVectorEvaluator::isJobCancelled() const {
  return m_params->job != nullptr && JobInfoWrapper(m_params->job).isCancelled();
}

void TypedRpnVectorEvaluator::noOpElement() {
  throwPlainFault(std::string(ParserUtils::get_trpn_op_name(element().op)) + " is unexpected no-op",
                  log4cplus::ERROR_LOG_LEVEL, kEvaluatorImplSourcePath, __LINE__, kNoOpFunction);
}

void TypedRpnVectorEvaluator::unhandledElement() {
  throwPlainFault(std::string(ParserUtils::get_trpn_op_name(element().op)) + " not handled",
                  log4cplus::ERROR_LOG_LEVEL, kEvaluatorImplSourcePath, __LINE__, kUnhandledFunction);
}

void TypedRpnVectorEvaluator::throwStackUnderflow() {
  throwIfEvaluationError(RPN_EVAL_STACK_UNDERFLOW);
  std::abort(); // throwIfEvaluationError always throws for code 7
}

void TypedRpnVectorEvaluator::throwExcessValues() {
  throwIfEvaluationError(RPN_EVAL_STACK_EXCESS);
  std::abort(); // throwIfEvaluationError always throws for code 8
}

VectorEvalStackEntry TypedRpnVectorEvaluator::expandConstant(const VectorEvalStackEntry& constant,
                                                             std::size_t width) const {
  VectorEvalStackEntry column = scratchOrOwnedColumn(m_rowCount * width);
  unsigned char* cells = static_cast<unsigned char*>(column.data);
  for (unsigned long i = 0; i < m_rowCount; ++i)
    std::memcpy(cells + i * width, constant.data, width);
  return column;
}

VectorEvalStackEntry TypedRpnVectorEvaluator::materialize(VectorEvalStackEntry&& entry) const {
  const VectorEvalDeferredColumn& deferred = *entry.deferred;
  const std::size_t width = deferred.width();
  VectorEvalStackEntry column = scratchOrOwnedColumn(m_rowCount * width);
  auto* const cells = static_cast<unsigned char*>(column.data);
  VectorEvalDeferredColumn::forEachBlock(m_rowCount, [&](std::size_t begin, std::size_t n) {
    deferred.produce(begin, n, cells + begin * width);
  });
  return column;
}

rpn_eval_result_t TypedRpnVectorEvaluator::runBatch() {
  const std::uint64_t numElements = m_params->numElements;
  for (m_elementIndex = 0; m_elementIndex < numElements; ++m_elementIndex)
    EvalElementHandler<TypedRpnVectorEvaluator>::evalElement(*this);
  return endBatch();
}

rpn_eval_result_t TypedRpnVectorEvaluator::endBatch() {
  const TypedRpnEvaluatorParams& p = *m_params;
  if (m_values.size() != 1 || m_states.size() > 1)
    throwExcessValues();

  const std::size_t width = p.evaluatedTypeSize;
  unsigned char* const outCells = p.outValues + m_startRow * width;
  unsigned long* const outSlots = p.outSizes != nullptr ? p.outSizes + m_startRow : nullptr;
  VectorEvalStackEntry& result = m_values.top();
  if (result.deferred) // a final value pushed before the last value element (an op re-pushed it)
    result = materialize(std::move(result));

  // The last value element normally wrote the caller's cells already. An op that re-pushes one of its
  // inputs unchanged leaves another entry: its cells are copied over (object cells with their
  // ownership).
  if (result.data != outCells || result.constant) {
    const bool objects = ParserUtils::isObjectType(p.evaluatedType) && outSlots != nullptr;
    copyResultCells(result, outCells, objects ? outSlots : nullptr, width, m_rowCount);
    result = VectorEvalStackEntry::borrowedColumn(outCells, objects ? outSlots : nullptr);
  }

  // Row states: outNulls when given (written there directly by the last null element, or copied now),
  // else the one state entry; none at all means every row is present.
  RowStates states;
  if (p.outNulls != nullptr) {
    auto* outStates = reinterpret_cast<rpn_eval_result_t*>(p.outNulls + m_startRow);
    if (m_states.empty()) {
      if (m_rowCount != 0)
        std::memset(outStates, 0, m_rowCount);
    } else {
      const VectorEvalStackEntry& entry = m_states.top();
      if (entry.constant)
        std::memset(outStates, *static_cast<const unsigned char*>(entry.data), m_rowCount);
      else if (entry.data != outStates && m_rowCount != 0)
        std::memcpy(outStates, entry.data, m_rowCount);
      states.column = outStates;
    }
  } else if (!m_states.empty()) {
    states = RowStates::of(m_states.top());
  }

  if (result.aux != nullptr) {
    // Object results: owned copies of borrowed objects in good rows, nothing at all in null and
    // failed rows.
    finishObjectRows(p.evaluatedType, static_cast<void**>(result.data), result.aux, states, m_rowCount);
  } else if (states.isConstant) {
    if (states.constant != RPN_EVAL_OK && m_rowCount != 0)
      std::memset(outCells, 0, m_rowCount * width);
  } else if (states.column != nullptr) {
    clearStateRows(outCells, width, states.column, m_rowCount);
  }

  const rpn_eval_result_t code = p.hasReportableErrors ? states.worst(m_rowCount) : RPN_EVAL_OK;
  while (!m_values.empty())
    m_values.pop();
  while (!m_states.empty())
    m_states.pop();
  return reportedResult(code);
}

} // namespace vela::cuda
