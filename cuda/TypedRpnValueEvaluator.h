#pragma once
// The row evaluator: runs the whole program for one row before it moves to the next.
//
// Schedule (evaluate): a oneTBB reduction over the rows, joined by maximum. The grain is one row, or the
// whole row count when the program has an expensive host-only op, whose rows share per-call state (the
// evaluation cache) and so run in one task, in row order. Each task binds the caller's memory pool,
// allocates one value stack and one null-state stack and the two holder vectors, and evaluates its
// rows in increasing order, polling the job for cancellation before each row.
//
// Stacks. The value stack is untyped bytes in 8-byte slots: a value of width w occupies w rounded up to
// a multiple of 8 (an i32 takes 8 bytes, a dec128 16, a char256 256, an object pointer 8). The
// null-state stack holds one byte per entry (0 present, 1 null, 2+ the row's error code).
//
// Placement. A value produced before the last value element is pushed; at or after it, it is also
// written to the row's outValues cell (objects: the output handle is the row's caller slot from the
// start, so the op writes it there). Values and states always stay on the stacks as well, so an op
// after the last value or null element that reads the top (the state ops of the null family) sees what
// it would see in the column-batch evaluator; the row's null byte is written once, when the row ends,
// from the state left on top.
//
// Ops. Elements go through the same element dispatch and op handler tables as the column-batch
// evaluator: every registered shape is instantiated for both evaluator types and calls the same row
// functor, here through the same kernel runner (dispatchFuncHost) over one row. The evaluator offers
// the shape interface of the column-batch evaluator over one row: popped inputs are single cells,
// outputs single cells or one object handle. No-op codes, unassigned codes and the codes 1195 and 2306
// are passed over silently.
//
// Objects. An intermediate object result is owned by a ValueEvalObjectHolder appended to the output
// holders; popping it moves the holder to the consumed holders, which live until the op that consumed
// it has finished (so an op may return its input unchanged and settle the ownership with
// checkObjectMove). The final result goes straight into the caller's slot (outValues) and reservation
// (outSizes). When a row ends every holder is destroyed, freeing whatever intermediate it still owns.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "cuda/TypedRpnEvaluator.h"
#include "cuda/VectorEvalDispatch.h"
#include "cuda/VectorEvalTypes.h"

namespace vela::cuda {

struct ValueEvalObjectHolder;

namespace value_eval_detail {
/// Bytes a value of `width` bytes occupies on the value stack.
constexpr std::size_t slotBytes(std::size_t width) {
  return (width + 7) / 8 * 8;
}
/// Bytes of the cell an output keeps: one unused byte for object handles, whose results go to a slot
/// elsewhere.
template <class T>
constexpr std::size_t outputCellBytes() {
  if constexpr (isObjectHandle<T>)
    return 1;
  else
    return sizeof(T);
}
/// An object slot and its reservation slot, with the index of the output holder they belong to (-1: the
/// caller's slot of the row).
struct ObjectSlotRef {
  void** object;
  unsigned long* reservation;
  long holder;
};
} // namespace value_eval_detail

/// A popped operand of the row evaluator: one cell of T. For object cells it also names the consumed
/// holder that owns the object, if the object is an intermediate result (-1 otherwise: a column, a
/// constant or a null pointer, owned by someone else or by nobody).
template <class T>
class ValueEvalInputStackEntry {
  static_assert(std::is_trivially_copyable_v<T>);

public:
  using value_type = T;
  ValueEvalInputStackEntry(const unsigned char* cell, long holder) : m_holder(holder) {
    std::memcpy(m_cell, cell, sizeof(T));
  }

  /// Never a constant: every operand is one cell.
  static constexpr bool isConstant() { return false; }
  T value() const {
    T v;
    std::memcpy(static_cast<void*>(&v), m_cell, sizeof(T));
    return v;
  }
  /// The cell, as the kernel runner reads a column of one row. Writable: a popped cell belongs to the op.
  T* column() { return reinterpret_cast<T*>(m_cell); }
  const T* column() const { return reinterpret_cast<const T*>(m_cell); }
  /// Index of the consumed holder owning the object, or -1.
  long holder() const { return m_holder; }

private:
  alignas(T) alignas(8) unsigned char m_cell[sizeof(T)];
  long m_holder;
};

template <class T>
using ValueEvalInputType = ValueEvalInputStackEntry<T>;

/// The output of an element in the row evaluator. For a plain cell type T: one zeroed cell, placed on
/// the stacks (and in the caller's cell) when pushed. For an output handle type T (EvalOutputString, ...):
/// the object and reservation slots the op writes through: a holder's for an intermediate result, the
/// caller's outValues and outSizes of the row for the last value element.
template <class T>
class ValueEvalOutputStackEntry {
public:
  using value_type = T;

  ValueEvalOutputStackEntry() { std::memset(m_cell, 0, sizeof m_cell); }
  ValueEvalOutputStackEntry(void** objectSlot, unsigned long* reservationSlot, long holder)
      : m_object(objectSlot), m_reservation(reservationSlot), m_holder(holder) {}

  /// The cell of a plain output.
  T* column() { return reinterpret_cast<T*>(m_cell); }
  const T* column() const { return reinterpret_cast<const T*>(m_cell); }
  /// What the kernel runner writes into: the cell, or for an object output the handle array of one row.
  auto view() {
    if constexpr (isObjectHandle<T>)
      return VectorEvalOutputObjectArray<T>(m_object, m_reservation);
    else
      return column();
  }
  void** objectSlot() const { return m_object; }
  unsigned long* reservationSlot() const { return m_reservation; }
  /// Index of the output holder of an intermediate object result; -1 for the caller's slot.
  long holder() const { return m_holder; }

private:
  alignas(8) unsigned char m_cell[value_eval_detail::outputCellBytes<T>()];
  void** m_object = nullptr;
  unsigned long* m_reservation = nullptr;
  long m_holder = -1;
};

/// The output handle of an object result in the row evaluator is the handle itself.
template <class H>
using ValueEvalOutputType = H;

class TypedRpnValueEvaluator {
public:
  /// Element-wise ops run row by row here like every other op.
  static constexpr bool kFusesElementwise = false;
  /// Slots allowed on the stacks beyond the program's own deepest index.
  static constexpr unsigned long kExtraStackSlots = 1024;
  /// Capacity of the consumed-holder vector of a task.
  static constexpr std::size_t kConsumedHolderCapacity = 9;

  /// Host form: evaluates `row` over the given stacks (slots x 8 bytes of values, bytes of states) and
  /// holder vectors, which belong to the task and are reused row after row.
  TypedRpnValueEvaluator(const TypedRpnEvaluatorContext& context, unsigned char* valueStack,
                         rpn_eval_result_t* nullStack, std::vector<ValueEvalObjectHolder>& outputHolders,
                         std::vector<ValueEvalObjectHolder>& consumedHolders, unsigned long row);
  /// Device form: no holders (object results cannot be evaluated this way).
  TypedRpnValueEvaluator(const TypedRpnEvaluatorContext& context, unsigned char* valueStack,
                         rpn_eval_result_t* nullStack, unsigned long row);
  TypedRpnValueEvaluator(const TypedRpnValueEvaluator&) = delete;
  TypedRpnValueEvaluator& operator=(const TypedRpnValueEvaluator&) = delete;

  /// Evaluates every row of the call; returns the worst row code when the program has reportable
  /// errors (1 reported as 0), else 0.
  static rpn_eval_result_t evaluate(const TypedRpnEvaluatorParams& params);

  /// Whether the row evaluator passes over an element of this op code without executing it: no-op
  /// markers, unassigned codes, codes outside 0..2649, and 1195 and 2306.
  static bool skipsOp(ParserUtils::TypedRpnOp code) noexcept;

  // --- what op handlers read ---------------------------------------------------------------------
  const TypedRpnEvaluatorContext& params() const { return *m_context; }
  /// The row, under the names the column-batch evaluator gives its batch.
  unsigned long startRow() const { return m_row; }
  static constexpr unsigned long rowCount() { return 1; }
  unsigned long row() const { return m_row; }
  unsigned long elementIndex() const { return m_elementIndex; }
  const TypedRpnElement& element() const { return m_context->elements[m_elementIndex]; }
  bool hasJobContext() const { return m_context->job != nullptr; }
  bool isJobCancelled() const;
  ManagedThreadLocalArena* getArena() const { return m_context->arena; }
  /// Values on the value stack / states on the null-state stack.
  std::size_t valueStackSize() const { return m_valueCount; }
  std::size_t nullStackSize() const { return static_cast<std::size_t>(m_nullTop - m_nullBase); }

  // --- stacks ------------------------------------------------------------------------------------
  /// Pops the top value (the top state for T = rpn_eval_result_t). An empty stack throws "stack
  /// underflow" (code 7), as in the column-batch evaluator.
  template <class T>
  ValueEvalInputStackEntry<T> popInput() {
    if constexpr (std::is_same_v<T, rpn_eval_result_t>) {
      if (m_nullTop == m_nullBase)
        throwStackUnderflow();
      --m_nullTop;
      return ValueEvalInputStackEntry<T>(reinterpret_cast<const unsigned char*>(m_nullTop), -1);
    } else {
      const unsigned char* cell = popCell(value_eval_detail::slotBytes(sizeof(T)));
      long holder = -1;
      if constexpr (isObjectCell<T>) {
        const void* object;
        std::memcpy(&object, cell, sizeof object);
        if (object != nullptr)
          holder = consumeHolderOf(object);
      }
      return ValueEvalInputStackEntry<T>(cell, holder);
    }
  }
  /// Every popped cell is the op's own, so this is popInput.
  template <class T>
  ValueEvalInputStackEntry<T> popNonConstInput() {
    return popInput<T>();
  }
  /// The output of the current element (see ValueEvalOutputStackEntry).
  template <class T>
  ValueEvalOutputStackEntry<T> prepareOutput() {
    if constexpr (isObjectHandle<T>) {
      const value_eval_detail::ObjectSlotRef slot = prepareObjectSlot(T::kDeleter);
      return ValueEvalOutputStackEntry<T>(slot.object, slot.reservation, slot.holder);
    } else {
      static_assert(std::is_trivially_copyable_v<T>);
      return ValueEvalOutputStackEntry<T>();
    }
  }
  /// Places an output: a state on the null-state stack; a value on the value stack and, at or after the
  /// last value element, in the row's outValues cell (an object result is already there).
  template <class T>
  void push(ValueEvalOutputStackEntry<T>&& out) {
    if constexpr (std::is_same_v<T, rpn_eval_result_t>) {
      *m_nullTop++ = *out.column();
    } else if constexpr (isObjectHandle<T>) {
      pushValueBytes(out.objectSlot(), sizeof(void*), false);
    } else {
      pushValueBytes(out.column(), sizeof(T), true);
    }
  }

  // --- kernels -----------------------------------------------------------------------------------
  /// Runs `f` once, for the row, through the column-batch evaluator's kernel runner.
  template <class F, class Out, class... In>
  void runKernel(const F& f, ValueEvalOutputStackEntry<Out>& out, In&... in) {
    vela::cuda::dispatchFuncHost(1, f, out.view(),
                                 static_cast<const typename In::value_type*>(in.column())...);
  }
  /// As runKernel, for a functor that writes the row's code into `states` (0 is stored first).
  template <class F, class Out, class... In>
  void runKernelWithState(const F& f, ValueEvalOutputStackEntry<Out>& out,
                          ValueEvalOutputStackEntry<rpn_eval_result_t>& states, In&... in) {
    vela::cuda::dispatchFuncHost(1, f, out.view(), VectorEvalResultColumn{states.column()},
                                 static_cast<const typename In::value_type*>(in.column())...);
  }

  // --- loaders -----------------------------------------------------------------------------------
  // T is the cell type, as in the column-batch evaluator; the object forms are in ValueEvalObjects.h.

  /// The row's cell of the element's column.
  template <class T>
  void evalVar() {
    const unsigned char* cell = columnBase() + m_row * sizeof(T);
    if constexpr (isObjectCell<T>) {
      T object;
      std::memcpy(static_cast<void*>(&object), cell, sizeof object);
      placeObject(object);
    } else {
      pushValueBytes(cell, sizeof(T), true);
    }
  }
  /// The constant in the element's operand area.
  template <class T>
  void evalConst() {
    static_assert(sizeof(T) <= sizeof(TypedRpnElement::operand));
    if constexpr (isObjectCell<T>) {
      T object;
      std::memcpy(static_cast<void*>(&object), element().operand, sizeof object);
      placeObject(object);
    } else {
      pushValueBytes(element().operand, sizeof(T), true);
    }
  }
  /// A constant computed by the caller.
  template <class T>
  void evalConstValue(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    if constexpr (isObjectCell<T>)
      placeObject(value);
    else
      pushValueBytes(&value, sizeof(T), true);
  }
  /// The all-zero value of T (a null pointer for objects).
  template <class T>
  void evalConstNull() {
    T zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof zero);
    evalConstValue(zero);
  }
  /// Reads the row's cell of the element's column as In and pushes f(x) as Out.
  template <class In, class Out, class F>
  void evalVarFunc(const F& f) {
    const In* cell = reinterpret_cast<const In*>(columnBase()) + m_row;
    ValueEvalOutputStackEntry<Out> out = prepareOutput<Out>();
    vela::cuda::dispatchFuncHost(1, f, out.view(), cell);
    push(std::move(out));
  }
  /// As evalVarFunc for a functor that also reports a row state; pushes the state, then the value.
  template <class In, class Out, class F>
  void evalVarFuncResult(const F& f) {
    const In* cell = reinterpret_cast<const In*>(columnBase()) + m_row;
    ValueEvalOutputStackEntry<rpn_eval_result_t> state = prepareOutput<rpn_eval_result_t>();
    ValueEvalOutputStackEntry<Out> out = prepareOutput<Out>();
    vela::cuda::dispatchFuncHost(1, f, out.view(), VectorEvalResultColumn{state.column()}, cell);
    push(std::move(state));
    push(std::move(out));
  }
  /// Settles the ownership of an object output that holds the very object of the input (an op that
  /// returned its input unchanged): an intermediate input's reservation moves to the output; a column
  /// or constant input is marked borrowed in an intermediate output and copied into the final one.
  template <class In, class H>
  void checkObjectMove(ValueEvalInputStackEntry<In>& input, ValueEvalOutputStackEntry<H>& output);

  // --- refusals ----------------------------------------------------------------------------------
  /// Not reached from the row driver, which passes over no-op codes; kept for the dispatch interface.
  [[noreturn]] void noOpElement();
  /// An assigned op that no family has registered yet: "<op> not handled".
  [[noreturn]] void unhandledElement();

protected:
  /// Evaluates the program for the row (see TypedRpnValueEvaluatorHelper::evaluateRow).
  rpn_eval_result_t runRow();

private:
  const unsigned char* columnBase() const { return m_context->columns[element().columnIndex()]; }
  bool atFinalValue() const { return m_elementIndex >= m_context->lastValueElement; }
  const unsigned char* popCell(std::size_t bytes) {
    if (m_valueCount == 0 || static_cast<std::size_t>(m_valueTop - m_valueBase) < bytes)
      throwStackUnderflow();
    m_valueTop -= bytes;
    --m_valueCount;
    return m_valueTop;
  }
  /// Pushes `width` bytes; at or after the last value element also writes them to the row's outValues
  /// cell when `toOutput` (object results are written there by their handle).
  void pushValueBytes(const void* bytes, std::size_t width, bool toOutput) {
    std::memcpy(m_valueTop, bytes, width);
    m_valueTop += value_eval_detail::slotBytes(width);
    ++m_valueCount;
    if (toOutput && atFinalValue())
      writeOutputCell(bytes, width);
  }
  void writeOutputCell(const void* bytes, std::size_t width);
  /// Loads an object pointer that the evaluator does not own: pushed as it is before the last value
  /// element; at or after it, an owned copy goes to the row's caller slot (null stays null). Defined in
  /// ValueEvalObjects.h.
  template <class T>
  void placeObject(T object);
  /// Moves the output holder owning `object` (the nearest from the top) to the consumed holders;
  /// returns its index there, or -1 when no output holder holds it.
  long consumeHolderOf(const void* object);
  /// The slots of an object result of the current element: at or after the last value element the
  /// row's caller slot (cleared first: the caller's arrays may hold anything), else a new output holder
  /// with the type's deleter.
  value_eval_detail::ObjectSlotRef prepareObjectSlot(void (*deleter)(const void*) noexcept);
  ValueEvalObjectHolder& consumedHolder(long index);
  rpn_eval_result_t endRow();
  [[noreturn]] static void throwStackUnderflow();
  [[noreturn]] static void throwExcessValues();

  const TypedRpnEvaluatorContext* m_context;
  unsigned char* m_valueTop;
  rpn_eval_result_t* m_nullTop;
  std::vector<ValueEvalObjectHolder>* m_outputHolders;
  std::vector<ValueEvalObjectHolder>* m_consumedHolders;
  unsigned long m_elementIndex = 0;
  unsigned long m_row;
  // Stack bases and the value count, for the underflow and excess checks.
  unsigned char* m_valueBase;
  rpn_eval_result_t* m_nullBase;
  std::size_t m_valueCount = 0;
};

/// The evaluator seen through its per-row driver.
class TypedRpnValueEvaluatorHelper : public TypedRpnValueEvaluator {
public:
  using TypedRpnValueEvaluator::TypedRpnValueEvaluator;
  /// Runs the program for the row, then ends it: exactly one value must be left and at most one state
  /// ("stack ended with excess values", code 8, otherwise). The row's state s is the state left on top
  /// (0 when none). s = 0: the result stands (an object result is made owned), outNulls gets 0, returns
  /// 0. s >= 1: the result is cleared (its object freed and its reservation given back, the cell
  /// zeroed), outNulls gets 1 (also for a failed row), returns s.
  rpn_eval_result_t evaluateRow() { return runRow(); }
};

} // namespace vela::cuda
