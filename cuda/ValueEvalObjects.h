#pragma once
// Object values in the row evaluator: object loads and constants, and the ownership step of ops that
// return an input unchanged. Included (through VectorEvalObjects.h) by the families that produce or load
// objects; scalar families never need it.
//
// Ownership, for one row (the slot rules are in ManagedObjects.h):
// - an intermediate object result is written into a ValueEvalObjectHolder; popping it moves the holder
//   to the consumed holders, destroyed (freeing what they still own) once the consuming op is done;
// - a column load or constant pushed as an intermediate is a bare pointer with no holder: borrowed;
// - the last value element writes into the row's caller slot; a column or constant loaded there is an
//   owned copy, so the caller owns exactly what its size array reports.

#include <type_traits>

#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnValueEvaluator.h"

namespace vela::cuda {

template <class T>
void TypedRpnValueEvaluator::placeObject(T object) {
  static_assert(isObjectCell<T>, "object cells only");
  if (!atFinalValue()) {
    pushValueBytes(&object, sizeof object, false);
    return;
  }
  using H = ObjectHandleOf<T>;
  const value_eval_detail::ObjectSlotRef slot = prepareObjectSlot(H::kDeleter);
  H(slot.object, slot.reservation).writeCopy(object);
  pushValueBytes(slot.object, sizeof(void*), false);
}

template <class In, class H>
void TypedRpnValueEvaluator::checkObjectMove(ValueEvalInputStackEntry<In>& input,
                                             ValueEvalOutputStackEntry<H>& output) {
  static_assert(isObjectCell<In> && std::is_same_v<ObjectHandleOf<In>, H>, "input and output of one kind");
  // An intermediate input hands its holder's reservation over; any other input (column, constant) is
  // borrowed, exactly as a column without reservation slots in the column-batch evaluator.
  void* object = const_cast<void*>(static_cast<const void*>(input.value()));
  void* const* inputObject = &object;
  unsigned long* inputReservation = nullptr;
  if (input.holder() >= 0) {
    ValueEvalObjectHolder& holder = consumedHolder(input.holder());
    inputObject = &holder.object;
    inputReservation = &holder.reservation;
  }
  checkObjectMoveRows<H>(inputObject, inputReservation, false, output.objectSlot(), output.reservationSlot(),
                         atFinalValue(), 1);
}

} // namespace vela::cuda
