#pragma once
// Object values in the column-batch evaluator: output entries with reservation slots, object loads and
// constants, and the ownership step of ops that return an input unchanged. Included by the families
// that produce or load objects (strings, JSON, arrays, vectors, geometry); scalar families never need
// it.
//
// Ownership (see ManagedObjects.h for the slot rules):
// - an intermediate object output owns zeroed object and reservation arrays; when its entry dies the
//   cleanup frees every object whose reservation is positive;
// - the last value element writes into the caller's outValues and outSizes, cleared for the batch
//   first (the caller's arrays may hold anything), so producers never free what they did not write;
// - a column load or constant pushed as an intermediate borrows (no reservation slots); at the last
//   element a column is copied as pointers marked borrowed, and a constant as an owned copy per row;
// - at the end of the batch, borrowed objects in good rows become owned copies and objects in null or
//   failed rows are freed, so the caller owns exactly what outSizes reports.

#include <algorithm>

#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"
#include "cuda/ValueEvalObjects.h"

namespace vela::cuda {

template <class H>
VectorEvalOutputStackEntry<H> TypedRpnVectorEvaluator::prepareObjectOutput() {
  if (m_elementIndex >= m_params->lastValueElement) {
    // A call of no rows writes nothing, so it may leave the size array out.
    assert((m_params->outSizes != nullptr || m_rowCount == 0) &&
           "object results need the caller's size array");
    void** objects = reinterpret_cast<void**>(m_params->outValues) + m_startRow;
    unsigned long* reservations = m_params->outSizes + m_startRow;
    std::fill_n(objects, m_rowCount, nullptr);
    std::fill_n(reservations, m_rowCount, 0ul);
    return VectorEvalOutputStackEntry<H>(VectorEvalStackEntry::borrowedColumn(objects, reservations));
  }
  checkObjectSlotCount(m_rowCount);
  VectorEvalStackEntry entry = VectorEvalStackEntry::ownedColumn(m_rowCount * sizeof(void*));
  entry.auxStorage.resize(m_rowCount);
  entry.aux = entry.auxStorage.data();
  entry.deleter = &cleanupObjectSlots<H>;
  return VectorEvalOutputStackEntry<H>(std::move(entry));
}

template <class T>
void TypedRpnVectorEvaluator::finalObjectColumn(const T* column) {
  VectorEvalOutputStackEntry<ObjectHandleOf<T>> out = prepareObjectOutput<ObjectHandleOf<T>>();
  void** objects = static_cast<void**>(out.entry().data);
  unsigned long* reservations = out.entry().aux;
  for (unsigned long i = 0; i < m_rowCount; ++i) {
    objects[i] = const_cast<void*>(static_cast<const void*>(column[i]));
    reservations[i] = column[i] != nullptr ? kBorrowedReservation : 0;
  }
  push(std::move(out));
}

template <class T>
void TypedRpnVectorEvaluator::fillObjectOutput(const T& object) {
  VectorEvalOutputStackEntry<ObjectHandleOf<T>> out = prepareObjectOutput<ObjectHandleOf<T>>();
  const auto handles = out.view();
  if (object != nullptr)
    for (unsigned long i = 0; i < m_rowCount; ++i)
      handles[i].writeCopy(object);
  push(std::move(out));
}

template <class In, class H>
void TypedRpnVectorEvaluator::checkObjectMove(VectorEvalInputStackEntry<In>& input,
                                              VectorEvalOutputStackEntry<H>& output) {
  static_assert(isObjectCell<In> && std::is_same_v<ObjectHandleOf<In>, H>, "input and output of one kind");
  const VectorEvalStackEntry& in = input.entry();
  const VectorEvalStackEntry& out = output.entry();
  checkObjectMoveRows<H>(static_cast<void* const*>(in.data), in.aux, in.constant,
                         static_cast<void**>(out.data), out.aux, m_elementIndex >= m_params->lastValueElement,
                         m_rowCount);
}

template <class In, class H>
void TypedRpnVectorEvaluator::checkObjectMove(VectorEvalInputNonConstStackEntry<In>& input,
                                              VectorEvalOutputStackEntry<H>& output) {
  static_assert(isObjectCell<In> && std::is_same_v<ObjectHandleOf<In>, H>, "input and output of one kind");
  const VectorEvalStackEntry& in = input.entry();
  const VectorEvalStackEntry& out = output.entry();
  checkObjectMoveRows<H>(static_cast<void* const*>(in.data), in.aux, false, static_cast<void**>(out.data),
                         out.aux, m_elementIndex >= m_params->lastValueElement, m_rowCount);
}

/// The registration of `code` with Shape<C>, C the object cell of the code's catalogue result type
/// (const InlineBuffer<char>* for strings, ...); install is nullptr for a non-object type.
template <template <class> class Shape>
OpRegistration opEntryByObjectType(TypedRpnOp code) {
  switch (ParserUtils::get_type(code)) {
  case RpnDataType::String:
  case RpnDataType::String2:
    return opEntry<Shape<const InlineBuffer<char>*>>(code);
  case RpnDataType::Vector:
    return opEntry<Shape<const InlineBuffer<float>*>>(code);
  case RpnDataType::Json:
  case RpnDataType::Array:
    return opEntry<Shape<const JsonValue*>>(code);
  case RpnDataType::Geometry:
    return opEntry<Shape<const geos::geom::Geometry*>>(code);
  default:
    return {code, nullptr};
  }
}

} // namespace vela::cuda
