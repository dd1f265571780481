#pragma once
// Object values (strings, numeric vectors, JSON documents, geometries): the heap objects, the
// pool-charged wrappers that build them, the output handles through which operations write them, and
// the ownership rules of the slots that hold them.
//
// An object slot (a pointer cell) always travels with a reservation slot (an unsigned 64-bit word)
// that records who owns the object:
//   r > 0 (read as signed)   the slot owns the object and r bytes are reserved for it; whoever frees
//                            the object returns r bytes to the pool
//   0                        the slot owns nothing (null, not yet written, or an input stored unchanged
//                            whose ownership is still to be settled by checkObjectMoveRows)
//   kBorrowedReservation     the object belongs to someone else (a program constant, an input column);
//                            it is never freed through this slot
// Every charge and every give-back goes to RamPool::getDefault() of the thread doing the work, which is
// why worker threads bind the caller's pool before they start.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>

#include <geos/geom/Geometry.h>
#include <nlohmann/json.hpp>

#include "base/ManagedBuffer.h"
#include "base/ManagedGeometryPtr.h"
#include "base/RamPool.h"
#include "cuda/TypedRpnEvaluator.h"

namespace vela::cuda {

using JsonValue = nlohmann::json;
using vela::ManagedGeometryPtr;

static_assert(sizeof(unsigned long) == 8 && sizeof(void*) == 8, "slots are 64-bit words");

/// Reservation-slot mark of an object that the slot points at but does not own (all ones).
inline constexpr unsigned long kBorrowedReservation = ~0ul;

/// Whether a reservation slot owns its object: positive when read as a signed 64-bit number, so both 0
/// and the borrowed mark own nothing.
constexpr bool isOwningReservation(unsigned long reservation) noexcept {
  return static_cast<long>(reservation) > 0;
}

/// Bytes of a JSON value node; a JSON object costs getMemoryUsage(value) + kJsonNodeBytes.
inline constexpr std::size_t kJsonNodeBytes = sizeof(JsonValue);
static_assert(kJsonNodeBytes == 16);

// ---------------------------------------------------------------------------------------------------
// Objects

/// A string (T = char) or a numeric vector (T = float) in one heap block: the 64-bit element count,
/// then the elements, with no terminator. Created only through allocate(); freed with deallocate()
/// (a plain heap free, so the deleters need not know T).
template <class T>
class InlineBuffer {
  static_assert(std::is_same_v<T, char> || std::is_same_v<T, float>, "strings and vectors only");

public:
  using value_type = T;
  static constexpr std::size_t kHeaderBytes = sizeof(std::uint64_t);

  /// Bytes of a buffer of n elements, which is also what it is charged: 8 + n x sizeof(T). Throws
  /// std::length_error when that does not fit in 64 bits.
  static std::size_t byteCount(std::uint64_t n);
  /// A buffer of n uninitialised elements, not charged to any pool. Throws std::bad_alloc.
  static InlineBuffer* allocate(std::uint64_t n);
  /// Frees a buffer from allocate(); null is ignored.
  static void deallocate(const InlineBuffer* buffer) noexcept;

  std::uint64_t size() const noexcept { return m_size; }
  bool empty() const noexcept { return m_size == 0; }
  T* data() noexcept { return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(this) + kHeaderBytes); }
  const T* data() const noexcept {
    return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(this) + kHeaderBytes);
  }
  std::span<const T> span() const noexcept { return {data(), static_cast<std::size_t>(m_size)}; }
  std::string_view view() const noexcept requires std::is_same_v<T, char> {
    return {data(), static_cast<std::size_t>(m_size)};
  }
  /// Same length and the same bytes (floats compared bit for bit).
  bool sameContents(const InlineBuffer& other) const noexcept;

  InlineBuffer(const InlineBuffer&) = delete;
  InlineBuffer& operator=(const InlineBuffer&) = delete;

private:
  explicit InlineBuffer(std::uint64_t n) noexcept : m_size(n) {}
  std::uint64_t m_size;
};
static_assert(sizeof(InlineBuffer<char>) == 8 && sizeof(InlineBuffer<float>) == 8);

// ---------------------------------------------------------------------------------------------------
// Deleters: free the object behind a slot that owns it. All ignore null.

using ObjectDeleter = void (*)(const void*) noexcept;

void deleteString(const void* object) noexcept; // InlineBuffer<char>
void deleteVector(const void* object) noexcept; // InlineBuffer<float>
// The JSON value type frees its trees with an explicit stack, and deleteGeometry detaches the members
// of collections before freeing them (destroyGeometry), so objects of any depth are freed safely.
void deleteJson(const void* object) noexcept;     // JsonValue node and its tree
void deleteGeometry(const void* object) noexcept; // geos::geom::Geometry and its members

// ---------------------------------------------------------------------------------------------------
// Pool-charged wrappers. Each holds an object and its reservation until the object is released into
// an output slot; whatever a wrapper still holds when destroyed is freed and given back.

/// Builds a string or vector buffer charged to a pool.
template <class T>
class ManagedInlineBufferPtr {
public:
  /// Empty: holds nothing, charges nothing.
  ManagedInlineBufferPtr() noexcept = default;
  /// A buffer of n uninitialised elements. Reserves byteCount(n) in `pool` (nullptr: the default pool)
  /// first; if the allocation then fails the reservation is given back and the exception passes on.
  explicit ManagedInlineBufferPtr(std::uint64_t n, RamPool* pool = nullptr);
  /// A buffer holding a copy of source[0, n).
  ManagedInlineBufferPtr(const T* source, std::uint64_t n, RamPool* pool = nullptr);

  ManagedInlineBufferPtr(ManagedInlineBufferPtr&& other) noexcept
      : m_pool(other.m_pool), m_buffer(std::exchange(other.m_buffer, nullptr)) {}
  ManagedInlineBufferPtr& operator=(ManagedInlineBufferPtr&& other) noexcept;
  ManagedInlineBufferPtr(const ManagedInlineBufferPtr&) = delete;
  ManagedInlineBufferPtr& operator=(const ManagedInlineBufferPtr&) = delete;
  ~ManagedInlineBufferPtr() { reset(); }

  InlineBuffer<T>* get() const noexcept { return m_buffer; }
  InlineBuffer<T>* operator->() const noexcept { return m_buffer; }
  explicit operator bool() const noexcept { return m_buffer != nullptr; }
  /// Bytes reserved for the buffer held; 0 when empty.
  std::size_t reservedBytes() const noexcept {
    return m_buffer == nullptr ? 0 : InlineBuffer<T>::kHeaderBytes + m_buffer->size() * sizeof(T);
  }
  RamPool* pool() const noexcept { return m_pool; }

  /// Hands the buffer out together with its reservation (read reservedBytes() first); the wrapper is
  /// left empty.
  InlineBuffer<T>* release() noexcept { return std::exchange(m_buffer, nullptr); }
  /// Frees the buffer held, if any, and gives its reservation back.
  void reset() noexcept;

private:
  RamPool* m_pool = nullptr;
  InlineBuffer<T>* m_buffer = nullptr;
};

/// Builds a JSON value charged to a pool. The value is held here by value and charged
/// getMemoryUsage(value); release() moves it into a heap node, charging the node's 16 bytes as well.
class ManagedJsonValue {
public:
  /// Reserves getMemoryUsage(value) in `pool` (nullptr: the default pool), then copies the value
  /// (JsonValueUtils::copyJson: no recursion, any depth). On a refusal or a failed copy nothing stays
  /// reserved.
  explicit ManagedJsonValue(const JsonValue& value, RamPool* pool = nullptr);
  /// Reserves, then takes the value over. On a refusal the caller's value is left untouched.
  explicit ManagedJsonValue(JsonValue&& value, RamPool* pool = nullptr);

  ManagedJsonValue(ManagedJsonValue&& other) noexcept;
  ManagedJsonValue& operator=(ManagedJsonValue&& other) noexcept;
  ManagedJsonValue(const ManagedJsonValue&) = delete;
  ManagedJsonValue& operator=(const ManagedJsonValue&) = delete;
  ~ManagedJsonValue() { reset(); }

  /// The value held (null after release()).
  const JsonValue& value() const noexcept { return m_value; }
  bool holdsValue() const noexcept { return m_owned; }
  /// Bytes reserved for the value held; after release(), the whole charge of the released node.
  std::int64_t reservedBytes() const noexcept { return m_reserved; }
  RamPool* pool() const noexcept { return m_pool; }

  /// Moves the value into a new heap node and hands the node out together with the reservation, which
  /// grows by kJsonNodeBytes first. If that reservation or the node allocation fails, nothing changes
  /// (the wrapper still owns its value) and the exception passes on. Must hold a value.
  JsonValue* release();
  /// Drops the value held, if any, and gives its reservation back.
  void reset() noexcept;

private:
  RamPool* m_pool;
  JsonValue m_value;
  std::int64_t m_reserved = 0;
  bool m_owned = false;
};

// ---------------------------------------------------------------------------------------------------
// Slot helpers

/// Frees the object of a slot that owns it (deleter, then the reservation back to the default pool)
/// and leaves the slot null with reservation 0. A slot that owns nothing is left as it is.
void freeOwnedSlot(void** object, unsigned long* reservation, ObjectDeleter deleter) noexcept;

/// Empties a slot: frees the object if the slot owns it, then sets the pointer to null and the
/// reservation to 0 whatever they held.
inline void clearSlot(void** object, unsigned long* reservation, ObjectDeleter deleter) noexcept {
  freeOwnedSlot(object, reservation, deleter);
  *object = nullptr;
  *reservation = 0;
}

// ---------------------------------------------------------------------------------------------------
// Output handles: one row's object slot and reservation slot. Every producer writes through exactly
// one of the write methods per row: the slot's current object is freed first if the slot owns it,
// then the new pointer and its reservation are stored, and the wrapper that built the object is left
// empty. A null result leaves a null pointer and reservation 0.

template <class Object, ObjectDeleter Deleter>
class EvalOutputObject {
public:
  using object_type = Object;
  static constexpr ObjectDeleter kDeleter = Deleter;

  EvalOutputObject(void** objectSlot, unsigned long* reservationSlot) noexcept
      : m_object(objectSlot), m_reservation(reservationSlot) {}

  const Object* get() const noexcept { return static_cast<const Object*>(*m_object); }
  unsigned long reservation() const noexcept { return *m_reservation; }
  bool ownsObject() const noexcept { return isOwningReservation(*m_reservation); }
  void** objectSlot() const noexcept { return m_object; }
  unsigned long* reservationSlot() const noexcept { return m_reservation; }

  /// Null result.
  void writeNull() noexcept { clearSlot(m_object, m_reservation, Deleter); }
  /// Returns an input unchanged: stores its pointer owning nothing. checkObjectMoveRows, run after
  /// the batch, then moves or marks the ownership. Storing the object the slot already holds keeps the
  /// slot's ownership.
  void writeInput(const Object* input) noexcept {
    if (input != nullptr && input == get())
      return;
    store(input, 0);
  }

protected:
  void store(const Object* object, unsigned long reservation) noexcept {
    freeOwnedSlot(m_object, m_reservation, Deleter);
    *m_object = const_cast<void*>(static_cast<const void*>(object));
    *m_reservation = object == nullptr ? 0 : reservation;
  }

private:
  void** m_object;
  unsigned long* m_reservation;
};

/// Handles of string and vector results.
template <class T, ObjectDeleter Deleter>
class EvalOutputInlineBuffer : public EvalOutputObject<InlineBuffer<T>, Deleter> {
  using Base = EvalOutputObject<InlineBuffer<T>, Deleter>;

public:
  using Base::Base;

  /// Stores the wrapper's buffer (null when the wrapper is empty) and leaves the wrapper empty.
  void write(ManagedInlineBufferPtr<T>& buffer) noexcept {
    const std::size_t bytes = buffer.reservedBytes();
    this->store(buffer.release(), bytes);
  }
  void write(ManagedInlineBufferPtr<T>&& buffer) noexcept { write(buffer); }
  /// Stores a new buffer holding a copy of data[0, n), charged to the default pool.
  void write(const T* data, std::uint64_t n) {
    ManagedInlineBufferPtr<T> buffer(data, n);
    write(buffer);
  }
  /// Stores an owned copy of `object` (null: a null result).
  void writeCopy(const InlineBuffer<T>* object) {
    if (object == nullptr)
      return this->writeNull();
    write(object->data(), object->size());
  }
  /// Replaces the slot's object by an owned copy of it.
  void clone() {
    if (this->get() != nullptr)
      writeCopy(this->get());
  }
};

class EvalOutputString : public EvalOutputInlineBuffer<char, &deleteString> {
public:
  using EvalOutputInlineBuffer::EvalOutputInlineBuffer;
  using EvalOutputInlineBuffer::write;
  void write(std::string_view text) { write(text.data(), text.size()); }
};

class EvalOutputVector : public EvalOutputInlineBuffer<float, &deleteVector> {
public:
  using EvalOutputInlineBuffer::EvalOutputInlineBuffer;
  using EvalOutputInlineBuffer::write;
  void write(std::span<const float> values) { write(values.data(), values.size()); }
};

class EvalOutputJson : public EvalOutputObject<JsonValue, &deleteJson> {
public:
  using EvalOutputObject::EvalOutputObject;

  /// Moves the wrapper's value into a node and stores it. If the node cannot be made the slot and the
  /// wrapper are unchanged and the exception passes on.
  void write(ManagedJsonValue& value);
  void write(ManagedJsonValue&& value) { write(value); }
  /// Stores `value` (taken over, or copied), charged to the default pool.
  void write(JsonValue&& value);
  void write(const JsonValue& value);
  /// Stores an owned copy of `object` (null: a null result).
  void writeCopy(const JsonValue* object);
  /// Replaces the slot's object by an owned copy of it (nothing for a null slot).
  void clone();
};

class EvalOutputGeometry : public EvalOutputObject<geos::geom::Geometry, &deleteGeometry> {
public:
  using EvalOutputObject::EvalOutputObject;

  /// Stores the wrapper's geometry with its reservation (null when empty); the wrapper keeps nothing.
  void write(ManagedGeometryPtr& geometry) noexcept;
  void write(ManagedGeometryPtr&& geometry) noexcept { write(geometry); }
  /// Takes `geometry` over, charging its footprint to the default pool.
  void write(std::unique_ptr<geos::geom::Geometry> geometry);
  /// Stores an owned copy (the geometry's own clone) of `object` (null: a null result). The clone
  /// recurses into collections, so a geometry deeper than GeometryCodec::kMaxGeometryDepth is refused
  /// first (checked without recursion) with the frame's fault "Geometry nests deeper than the copy
  /// limit of 1000 levels"; the slot is then unchanged.
  void writeCopy(const geos::geom::Geometry* object);
  /// Replaces the slot's object by an owned copy of it (nothing for a null slot).
  void clone();
};

static_assert(sizeof(EvalOutputString) == 16 && sizeof(EvalOutputJson) == 16 &&
              sizeof(EvalOutputGeometry) == 16 && sizeof(EvalOutputVector) == 16);

/// The batch form of a handle: object slots and reservation slots of consecutive rows; element i is
/// the handle of row i.
template <class H>
class VectorEvalOutputObjectArray {
public:
  using handle_type = H;
  VectorEvalOutputObjectArray(void** objects, unsigned long* reservations) noexcept
      : m_objects(objects), m_reservations(reservations) {}
  H operator[](std::size_t i) const noexcept { return H(m_objects + i, m_reservations + i); }
  void** objects() const noexcept { return m_objects; }
  unsigned long* reservations() const noexcept { return m_reservations; }

private:
  void** m_objects;
  unsigned long* m_reservations;
};

// ---------------------------------------------------------------------------------------------------
// Slot arrays of intermediate entries

/// Frees, over n rows, every object its slot owns, gives the reservations back and zeroes them.
using ObjectSlotCleanup = void (*)(void** objects, unsigned long* reservations, unsigned long n);

template <class H>
void cleanupObjectSlots(void** objects, unsigned long* reservations, unsigned long n) noexcept;

/// Refuses a slot count whose byte size (n x 8) would not fit in 64 bits, i.e. with any of its top four
/// bits set: std::length_error("Size would exceed maximum allowed size").
void checkObjectSlotCount(unsigned long n);

/// The object-slot and reservation-slot arrays of an intermediate entry: n zeroed cells each, 64-byte
/// aligned and charged to the pool current when they are made. When destroyed while holding at least
/// one row, the cleanup runs once over all rows before the arrays are given back. Zero rows allocate
/// nothing and run no cleanup.
struct ObjectSlotArrays {
  ManagedBuffer<void*, 64> objects;
  ManagedBuffer<unsigned long, 64> reservations;
  ObjectSlotCleanup cleanup = nullptr;

  ObjectSlotArrays(unsigned long n, ObjectSlotCleanup cleanupFn);
  ObjectSlotArrays(ObjectSlotArrays&&) noexcept = default;
  ObjectSlotArrays& operator=(ObjectSlotArrays&&) = delete;
  ~ObjectSlotArrays();

  template <class H>
  VectorEvalOutputObjectArray<H> handles() noexcept {
    return {objects.data(), reservations.data()};
  }
};

template <class H>
ObjectSlotArrays makeObjectSlotArrays(unsigned long n) {
  return ObjectSlotArrays(n, &cleanupObjectSlots<H>);
}

// ---------------------------------------------------------------------------------------------------
// Ownership rules

/// Settles the ownership of rows whose output slot holds the very object of the input slot (an
/// operation that returned its input unchanged). Over n rows, with the input either a constant (one
/// shared pointer at inputObjects[0]) or a column (one pointer per row):
///   - column input with reservation slots (an intermediate result): where the output holds the input's
///     pointer, the output's reservation takes the input's value and the input's becomes 0, so the
///     object has exactly one owner;
///   - constant input, or a column without reservation slots (a borrowed input column, never owned by
///     the evaluator): where the output holds that non-null pointer, an intermediate output is marked
///     kBorrowedReservation, and a final output gets an owned deep copy instead, so the caller never
///     receives an object it does not own.
/// Copies are charged to the default pool; a refusal passes on with every row settled so far intact.
template <class H>
void checkObjectMoveRows(void* const* inputObjects, unsigned long* inputReservations, bool inputIsConstant,
                         void** outputObjects, unsigned long* outputReservations, bool outputIsFinal,
                         unsigned long n);

/// Makes one final slot own its object: a non-null object that the slot does not own (borrowed mark,
/// or 0) is replaced by an owned copy; a null object leaves reservation 0.
template <class H>
void makeSlotOwned(void** object, unsigned long* reservation);

/// The end-of-batch pass over the final slots of n rows with their row states (nullptr: every row
/// present): a present row's object is made owned (makeSlotOwned); a null or failed row's object is
/// freed if owned and its slot emptied (clearSlot).
template <class H>
void settleFinalObjectRows(void** objects, unsigned long* reservations, const rpn_eval_result_t* states,
                           unsigned long n);

extern template void cleanupObjectSlots<EvalOutputString>(void**, unsigned long*, unsigned long) noexcept;
extern template void cleanupObjectSlots<EvalOutputVector>(void**, unsigned long*, unsigned long) noexcept;
extern template void cleanupObjectSlots<EvalOutputJson>(void**, unsigned long*, unsigned long) noexcept;
extern template void cleanupObjectSlots<EvalOutputGeometry>(void**, unsigned long*, unsigned long) noexcept;
#define QUARRY_OBJECT_RULES_EXTERN(H)                                                                        \
  extern template void checkObjectMoveRows<H>(void* const*, unsigned long*, bool, void**, unsigned long*,    \
                                              bool, unsigned long);                                          \
  extern template void makeSlotOwned<H>(void**, unsigned long*);                                             \
  extern template void settleFinalObjectRows<H>(void**, unsigned long*, const rpn_eval_result_t*,            \
                                                unsigned long);
QUARRY_OBJECT_RULES_EXTERN(EvalOutputString)
QUARRY_OBJECT_RULES_EXTERN(EvalOutputVector)
QUARRY_OBJECT_RULES_EXTERN(EvalOutputJson)
QUARRY_OBJECT_RULES_EXTERN(EvalOutputGeometry)
#undef QUARRY_OBJECT_RULES_EXTERN

/// Calls f(std::type_identity<H>{}) with the handle type H of an object data type (26 and 33 strings,
/// 28 geometry, 29 and 30 JSON, 31 vector) and returns true; returns false for any other type.
template <class F>
bool visitObjectHandle(RpnDataType type, F&& f) {
  switch (type) {
  case RpnDataType::String:
  case RpnDataType::String2:
    f(std::type_identity<EvalOutputString>{});
    return true;
  case RpnDataType::Geometry:
    f(std::type_identity<EvalOutputGeometry>{});
    return true;
  case RpnDataType::Json:
  case RpnDataType::Array:
    f(std::type_identity<EvalOutputJson>{});
    return true;
  case RpnDataType::Vector:
    f(std::type_identity<EvalOutputVector>{});
    return true;
  default:
    return false;
  }
}

/// The deleter of an object data type; nullptr for any other type.
ObjectDeleter objectDeleterFor(RpnDataType type) noexcept;

// ---------------------------------------------------------------------------------------------------
// Row evaluator

/// Owner of one intermediate object result of the row evaluator: the object slot and reservation slot
/// an output handle writes into, and the deleter of the object's type. Destruction frees the object if
/// the reservation owns it and gives the reservation back to the default pool. Moving transfers the
/// ownership (the source is left owning nothing), so holders may live in a growing vector.
struct ValueEvalObjectHolder {
  void* object = nullptr;
  unsigned long reservation = 0;
  std::function<void(const void*)> deleter;

  ValueEvalObjectHolder() noexcept = default;
  explicit ValueEvalObjectHolder(std::function<void(const void*)> objectDeleter) noexcept
      : deleter(std::move(objectDeleter)) {}
  /// An empty holder for results written through handle type H.
  template <class H>
  static ValueEvalObjectHolder forHandle() {
    return ValueEvalObjectHolder(H::kDeleter);
  }

  ValueEvalObjectHolder(ValueEvalObjectHolder&& other) noexcept;
  ValueEvalObjectHolder& operator=(ValueEvalObjectHolder&& other) noexcept;
  ValueEvalObjectHolder(const ValueEvalObjectHolder&) = delete;
  ValueEvalObjectHolder& operator=(const ValueEvalObjectHolder&) = delete;
  ~ValueEvalObjectHolder();

  template <class H>
  H handle() noexcept {
    return H(&object, &reservation);
  }

private:
  void freeOwned() noexcept;
};

// ---------------------------------------------------------------------------------------------------
// Inline definitions

template <class T>
std::size_t InlineBuffer<T>::byteCount(std::uint64_t n) {
  if (n > (SIZE_MAX - kHeaderBytes) / sizeof(T))
    throw std::length_error("Size would exceed maximum allowed size");
  return kHeaderBytes + n * sizeof(T);
}

template <class T>
ManagedInlineBufferPtr<T>::ManagedInlineBufferPtr(std::uint64_t n, RamPool* pool)
    : m_pool(pool != nullptr ? pool : RamPool::getDefault()) {
  const std::size_t bytes = InlineBuffer<T>::byteCount(n);
  m_pool->reserveRaw(bytes);
  try {
    m_buffer = InlineBuffer<T>::allocate(n);
  } catch (...) {
    m_pool->unreserveRaw(bytes);
    throw;
  }
}

template <class T>
ManagedInlineBufferPtr<T>::ManagedInlineBufferPtr(const T* source, std::uint64_t n, RamPool* pool)
    : ManagedInlineBufferPtr(n, pool) {
  if (n != 0)
    std::memcpy(m_buffer->data(), source, n * sizeof(T));
}

template <class T>
ManagedInlineBufferPtr<T>& ManagedInlineBufferPtr<T>::operator=(ManagedInlineBufferPtr&& other) noexcept {
  if (this != &other) {
    reset();
    m_pool = other.m_pool;
    m_buffer = std::exchange(other.m_buffer, nullptr);
  }
  return *this;
}

template <class T>
void ManagedInlineBufferPtr<T>::reset() noexcept {
  if (m_buffer == nullptr)
    return;
  const std::size_t bytes = reservedBytes();
  InlineBuffer<T>::deallocate(std::exchange(m_buffer, nullptr));
  m_pool->unreserveRaw(bytes);
}

} // namespace vela::cuda
