// The row evaluator's schedule, per-row driver and end of row.
//
// This build evaluates on the host only (the parameters refuse to build device data), so every call
// takes the host schedule below; a host execution helper changes nothing here.

#include "cuda/TypedRpnValueEvaluator.h"

#include <algorithm>
#include <bitset>
#include <cstdlib>

#include <log4cplus/loglevel.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_reduce.h>
#include <tbb/partitioner.h>

#include "base/CallContext.h"
#include "base/ManagedBuffer.h"
#include "base/ParserUtils.h"
#include "base/RamPool.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"

namespace vela::cuda {

namespace {

constexpr const char* kNoOpFunction = "void vela::cuda::TypedRpnValueEvaluator::noOpElement()";
constexpr const char* kUnhandledFunction = "void vela::cuda::TypedRpnValueEvaluator::unhandledElement()";
constexpr const char* kEvaluateRowFunction =
    "vela::cuda::rpn_eval_result_t vela::cuda::TypedRpnValueEvaluatorHelper::evaluateRow()";

// Op codes the row evaluator passes over: no-op markers, unassigned codes, and 1195 and 2306, which the
// column-batch evaluator hands to its string and geometry families.
std::bitset<ParserUtils::kNumOps> makeSkippedOps() {
  std::bitset<ParserUtils::kNumOps> skipped;
  for (TypedRpnOp c = 0; c < ParserUtils::kNumOps; ++c) {
    const ParserUtils::OpFamily family = ParserUtils::opFamily(c);
    skipped[static_cast<std::size_t>(c)] =
        family == ParserUtils::OpFamily::NoOp || family == ParserUtils::OpFamily::Unassigned;
  }
  skipped[1195] = true;
  skipped[2306] = true;
  return skipped;
}

} // namespace

bool TypedRpnValueEvaluator::skipsOp(ParserUtils::TypedRpnOp code) noexcept {
  static const std::bitset<ParserUtils::kNumOps> skipped = makeSkippedOps();
  return code < 0 || code >= ParserUtils::kNumOps || skipped[static_cast<std::size_t>(code)];
}

TypedRpnValueEvaluator::TypedRpnValueEvaluator(const TypedRpnEvaluatorContext& context,
                                               unsigned char* valueStack, rpn_eval_result_t* nullStack,
                                               std::vector<ValueEvalObjectHolder>& outputHolders,
                                               std::vector<ValueEvalObjectHolder>& consumedHolders,
                                               unsigned long row)
    : m_context(&context), m_valueTop(valueStack), m_nullTop(nullStack), m_outputHolders(&outputHolders),
      m_consumedHolders(&consumedHolders), m_row(row), m_valueBase(valueStack), m_nullBase(nullStack) {}

TypedRpnValueEvaluator::TypedRpnValueEvaluator(const TypedRpnEvaluatorContext& context,
                                               unsigned char* valueStack, rpn_eval_result_t* nullStack,
                                               unsigned long row)
    : m_context(&context), m_valueTop(valueStack), m_nullTop(nullStack), m_outputHolders(nullptr),
      m_consumedHolders(nullptr), m_row(row), m_valueBase(valueStack), m_nullBase(nullStack) {}

rpn_eval_result_t TypedRpnValueEvaluator::evaluate(const TypedRpnEvaluatorParams& params) {
  const unsigned long numRows = params.numRows;
  // A value of width w takes w rounded up to 8 bytes, so the deepest index alone does not bound the
  // bytes of a program of wide text values: size for the widest cell at every index as well.
  const std::size_t maxIndex = ParserUtils::get_max_stack_index(*params.program);
  const std::size_t valueBytes = std::max((maxIndex + kExtraStackSlots) * 8, (maxIndex + 1) * 256);
  const std::size_t nullBytes = ParserUtils::get_max_null_stack_index(*params.program) + kExtraStackSlots;
  // Rows of a program with an expensive host-only op share per-call state: one task, rows in order.
  const unsigned long grain = params.hasExpensiveHostOnly ? std::max(numRows, 1ul) : 1ul;
  RamPool* const pool = RamPool::getDefault();

  const rpn_eval_result_t worst = tbb::parallel_reduce(
      tbb::blocked_range<unsigned long>(0, numRows, grain), RPN_EVAL_OK,
      [&params, pool, valueBytes, nullBytes](const tbb::blocked_range<unsigned long>& rows,
                                             rpn_eval_result_t running) -> rpn_eval_result_t {
        // Declared first, destroyed last: the stacks and holders give their memory back to this pool.
        RamPoolThreadBinding binding(pool, true);
        ManagedBuffer<unsigned char, 64> values(valueBytes);
        ManagedBuffer<unsigned char, 64> states(nullBytes);
        std::vector<ValueEvalObjectHolder> outputHolders;
        std::vector<ValueEvalObjectHolder> consumedHolders;
        outputHolders.reserve(std::max<std::size_t>(valueBytes / 8, params.numElements));
        consumedHolders.reserve(kConsumedHolderCapacity);
        for (unsigned long r = rows.begin(); r != rows.end(); ++r) {
          if (params.job != nullptr && JobInfoWrapper(params.job).isCancelled())
            return RPN_EVAL_OK;
          TypedRpnValueEvaluatorHelper evaluator(params, values.data(),
                                                 reinterpret_cast<rpn_eval_result_t*>(states.data()),
                                                 outputHolders, consumedHolders, r);
          running = combineResults(running, evaluator.evaluateRow());
        }
        return running;
      },
      [](rpn_eval_result_t a, rpn_eval_result_t b) { return combineResults(a, b); }, tbb::auto_partitioner());
  // As in the column-batch evaluator, only a program with a reportable error source reports row codes,
  // so that a call's code does not depend on which evaluator ran it.
  return params.hasReportableErrors ? reportedResult(worst) : RPN_EVAL_OK;
}

bool TypedRpnValueEvaluator::isJobCancelled() const {
  return m_context->job != nullptr && JobInfoWrapper(m_context->job).isCancelled();
}

void TypedRpnValueEvaluator::noOpElement() {
  throwPlainFault(std::string(ParserUtils::get_trpn_op_name(element().op)) + " is unexpected no-op",
                  log4cplus::ERROR_LOG_LEVEL, kEvaluatorImplSourcePath, __LINE__, kNoOpFunction);
}

void TypedRpnValueEvaluator::unhandledElement() {
  throwPlainFault(std::string(ParserUtils::get_trpn_op_name(element().op)) + " not handled",
                  log4cplus::ERROR_LOG_LEVEL, kEvaluatorImplSourcePath, __LINE__, kUnhandledFunction);
}

void TypedRpnValueEvaluator::throwStackUnderflow() {
  throwIfEvaluationError(RPN_EVAL_STACK_UNDERFLOW);
  std::abort(); // throwIfEvaluationError always throws for code 7
}

void TypedRpnValueEvaluator::throwExcessValues() {
  throwIfEvaluationError(RPN_EVAL_STACK_EXCESS);
  std::abort(); // throwIfEvaluationError always throws for code 8
}

void TypedRpnValueEvaluator::writeOutputCell(const void* bytes, std::size_t width) {
  const std::size_t cellWidth = m_context->evaluatedTypeSize;
  assert(width == cellWidth && "final cells are of the program's evaluated type");
  std::memcpy(m_context->outValues + m_row * cellWidth, bytes, std::min(width, cellWidth));
}

long TypedRpnValueEvaluator::consumeHolderOf(const void* object) {
  if (m_outputHolders == nullptr)
    return -1;
  // Holders follow the stack order of the values they own, so the one of a popped value is the nearest
  // from the back; husks of holders consumed earlier hold null and never match.
  for (auto it = m_outputHolders->rbegin(); it != m_outputHolders->rend(); ++it) {
    if (it->object == object) {
      m_consumedHolders->push_back(std::move(*it));
      return static_cast<long>(m_consumedHolders->size()) - 1;
    }
  }
  return -1;
}

value_eval_detail::ObjectSlotRef
TypedRpnValueEvaluator::prepareObjectSlot(void (*deleter)(const void*) noexcept) {
  const TypedRpnEvaluatorContext& c = *m_context;
  if (atFinalValue()) {
    if (!ParserUtils::isObjectType(c.evaluatedType))
      throwPlainFault("Unhandled object type", log4cplus::ERROR_LOG_LEVEL, kEvaluatorImplSourcePath, __LINE__,
                      kEvaluateRowFunction);
    assert(c.outSizes != nullptr && "object results need the caller's size array");
    void** object = reinterpret_cast<void**>(c.outValues) + m_row;
    unsigned long* reservation = c.outSizes + m_row;
    *object = nullptr;
    *reservation = 0;
    return {object, reservation, -1};
  }
  assert(m_outputHolders != nullptr && "intermediate object results need holders");
  ValueEvalObjectHolder& holder = m_outputHolders->emplace_back(deleter);
  return {&holder.object, &holder.reservation, static_cast<long>(m_outputHolders->size()) - 1};
}

ValueEvalObjectHolder& TypedRpnValueEvaluator::consumedHolder(long index) {
  return (*m_consumedHolders)[static_cast<std::size_t>(index)];
}

rpn_eval_result_t TypedRpnValueEvaluator::runRow() {
  const std::uint64_t numElements = m_context->numElements;
  for (m_elementIndex = 0; m_elementIndex < numElements; ++m_elementIndex) {
    if (skipsOp(element().op))
      continue;
    EvalElementHandler<TypedRpnValueEvaluator>::evalElement(*this);
    // The op is done with its inputs: what it consumed and did not take over dies now.
    if (m_consumedHolders != nullptr && !m_consumedHolders->empty())
      m_consumedHolders->clear();
  }
  return endRow();
}

rpn_eval_result_t TypedRpnValueEvaluator::endRow() {
  const TypedRpnEvaluatorContext& c = *m_context;
  if (m_valueCount != 1 || nullStackSize() > 1)
    throwExcessValues();
  const rpn_eval_result_t state = m_nullTop != m_nullBase ? m_nullTop[-1] : RPN_EVAL_OK;

  const std::size_t width = c.evaluatedTypeSize;
  unsigned char* const cell = c.outValues + m_row * width;
  if (ParserUtils::isObjectType(c.evaluatedType)) {
    // A present row's object becomes owned if it is not yet; a null or failed row's object is freed.
    if (c.outSizes != nullptr)
      visitObjectHandle(c.evaluatedType, [&](auto tag) {
        using H = typename decltype(tag)::type;
        settleFinalObjectRows<H>(reinterpret_cast<void**>(cell), c.outSizes + m_row, &state, 1);
      });
  } else if (state != RPN_EVAL_OK) {
    std::memset(cell, 0, width);
  }
  // The row's null byte: 1 for a null and for a failed row alike (the code goes to the call's result).
  if (c.outNulls != nullptr)
    c.outNulls[m_row] = state == RPN_EVAL_OK ? 0 : 1;
  if (m_outputHolders != nullptr)
    m_outputHolders->clear();
  return state;
}

} // namespace vela::cuda
