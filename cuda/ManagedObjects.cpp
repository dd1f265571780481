#include "cuda/ManagedObjects.h"

#include <cstdlib>
#include <new>
#include <string>

#include <log4cplus/loglevel.h>

#include "base/GeometryCodec.h"
#include "base/JsonValueUtils.h"

namespace vela::cuda {

namespace {
constexpr const char* kSourcePath = "cuda/ManagedObjects";
} // namespace

// ---------------------------------------------------------------------------------------------------
// Objects and deleters

template <class T>
InlineBuffer<T>* InlineBuffer<T>::allocate(std::uint64_t n) {
  void* block = std::malloc(byteCount(n));
  if (block == nullptr)
    throw std::bad_alloc();
  return ::new (block) InlineBuffer(n);
}

template <class T>
void InlineBuffer<T>::deallocate(const InlineBuffer* buffer) noexcept {
  // Trivially destructible: freeing the block ends the object.
  std::free(const_cast<InlineBuffer*>(buffer));
}

template <class T>
bool InlineBuffer<T>::sameContents(const InlineBuffer& other) const noexcept {
  return m_size == other.m_size &&
         (m_size == 0 || std::memcmp(data(), other.data(), m_size * sizeof(T)) == 0);
}

template class InlineBuffer<char>;
// The float buffer's out-of-line members one by one: instantiating the whole class would also
// instantiate view(), whose constraint excludes float, in compilers that do not skip it (clang 14).
template InlineBuffer<float>* InlineBuffer<float>::allocate(std::uint64_t);
template void InlineBuffer<float>::deallocate(const InlineBuffer<float>*) noexcept;
template bool InlineBuffer<float>::sameContents(const InlineBuffer<float>&) const noexcept;

void deleteString(const void* object) noexcept {
  InlineBuffer<char>::deallocate(static_cast<const InlineBuffer<char>*>(object));
}

void deleteVector(const void* object) noexcept {
  InlineBuffer<float>::deallocate(static_cast<const InlineBuffer<float>*>(object));
}

void deleteJson(const void* object) noexcept {
  delete static_cast<const JsonValue*>(object);
}

void deleteGeometry(const void* object) noexcept {
  destroyGeometry(const_cast<geos::geom::Geometry*>(static_cast<const geos::geom::Geometry*>(object)));
}

ObjectDeleter objectDeleterFor(RpnDataType type) noexcept {
  ObjectDeleter deleter = nullptr;
  visitObjectHandle(type, [&](auto tag) { deleter = decltype(tag)::type::kDeleter; });
  return deleter;
}

// ---------------------------------------------------------------------------------------------------
// ManagedJsonValue

ManagedJsonValue::ManagedJsonValue(const JsonValue& value, RamPool* pool)
    : m_pool(pool != nullptr ? pool : RamPool::getDefault()) {
  const std::size_t bytes = JsonValueUtils::getMemoryUsage(value);
  m_pool->reserveRaw(bytes);
  try {
    m_value = JsonValueUtils::copyJson(value);
  } catch (...) {
    m_pool->unreserveRaw(bytes);
    throw;
  }
  m_reserved = static_cast<std::int64_t>(bytes);
  m_owned = true;
}

ManagedJsonValue::ManagedJsonValue(JsonValue&& value, RamPool* pool)
    : m_pool(pool != nullptr ? pool : RamPool::getDefault()) {
  const std::size_t bytes = JsonValueUtils::getMemoryUsage(value);
  m_pool->reserveRaw(bytes);
  m_value = std::move(value);
  m_reserved = static_cast<std::int64_t>(bytes);
  m_owned = true;
}

ManagedJsonValue::ManagedJsonValue(ManagedJsonValue&& other) noexcept
    : m_pool(other.m_pool), m_value(std::move(other.m_value)), m_reserved(std::exchange(other.m_reserved, 0)),
      m_owned(std::exchange(other.m_owned, false)) {}

ManagedJsonValue& ManagedJsonValue::operator=(ManagedJsonValue&& other) noexcept {
  if (this != &other) {
    reset();
    m_pool = other.m_pool;
    m_value = std::move(other.m_value);
    m_reserved = std::exchange(other.m_reserved, 0);
    m_owned = std::exchange(other.m_owned, false);
  }
  return *this;
}

JsonValue* ManagedJsonValue::release() {
  if (!m_owned)
    throw std::logic_error("ManagedJsonValue::release on an empty wrapper");
  m_pool->reserveRaw(kJsonNodeBytes);
  JsonValue* node;
  try {
    node = new JsonValue(std::move(m_value));
  } catch (...) {
    m_pool->unreserveRaw(kJsonNodeBytes);
    throw;
  }
  m_value = nullptr;
  m_reserved += static_cast<std::int64_t>(kJsonNodeBytes);
  m_owned = false;
  return node;
}

void ManagedJsonValue::reset() noexcept {
  if (!m_owned)
    return;
  m_value = nullptr;
  m_pool->unreserveRaw(static_cast<std::size_t>(m_reserved));
  m_reserved = 0;
  m_owned = false;
}

// ---------------------------------------------------------------------------------------------------
// Slots and handles

void freeOwnedSlot(void** object, unsigned long* reservation, ObjectDeleter deleter) noexcept {
  if (!isOwningReservation(*reservation))
    return;
  deleter(*object);
  RamPool::getDefault()->unreserveRaw(*reservation);
  *object = nullptr;
  *reservation = 0;
}

void EvalOutputJson::write(ManagedJsonValue& value) {
  if (!value.holdsValue())
    return writeNull();
  JsonValue* node = value.release();
  store(node, static_cast<unsigned long>(value.reservedBytes()));
}

void EvalOutputJson::write(JsonValue&& value) {
  ManagedJsonValue managed(std::move(value));
  write(managed);
}

void EvalOutputJson::write(const JsonValue& value) {
  ManagedJsonValue managed(value);
  write(managed);
}

void EvalOutputJson::writeCopy(const JsonValue* object) {
  if (object == nullptr)
    return writeNull();
  write(*object);
}

void EvalOutputJson::clone() {
  if (get() != nullptr)
    writeCopy(get());
}

void EvalOutputGeometry::write(ManagedGeometryPtr& geometry) noexcept {
  const std::size_t bytes = geometry.reservedBytes();
  geos::geom::Geometry* object = geometry.release(false);
  store(object, bytes);
}

void EvalOutputGeometry::write(std::unique_ptr<geos::geom::Geometry> geometry) {
  ManagedGeometryPtr managed(std::move(geometry));
  write(managed);
}

void EvalOutputGeometry::writeCopy(const geos::geom::Geometry* object) {
  if (object == nullptr)
    return writeNull();
  // The geometry library clones collections recursively. Geometries from our readers are capped; one
  // handed in deeper than that (a caller's constant or column) is refused here, before any recursion.
  if (GeometryCodec::depth(*object, GeometryCodec::kMaxGeometryDepth) > GeometryCodec::kMaxGeometryDepth)
    throwPlainFault("Geometry nests deeper than the copy limit of " +
                        std::to_string(GeometryCodec::kMaxGeometryDepth) + " levels",
                    log4cplus::ERROR_LOG_LEVEL, kSourcePath, __LINE__, __func__);
  write(object->clone());
}

void EvalOutputGeometry::clone() {
  if (get() != nullptr)
    writeCopy(get());
}

// ---------------------------------------------------------------------------------------------------
// Slot arrays

void checkObjectSlotCount(unsigned long n) {
  if ((n & (0xFul << 60)) != 0)
    throw std::length_error("Size would exceed maximum allowed size");
}

ObjectSlotArrays::ObjectSlotArrays(unsigned long n, ObjectSlotCleanup cleanupFn) : cleanup(cleanupFn) {
  checkObjectSlotCount(n);
  objects.resize(n);
  reservations.resize(n);
}

ObjectSlotArrays::~ObjectSlotArrays() {
  // Both arrays are sized in the constructor, so a non-empty object array means n rows of both.
  if (objects.size() != 0 && cleanup != nullptr)
    cleanup(objects.data(), reservations.data(), objects.size());
}

template <class H>
void cleanupObjectSlots(void** objects, unsigned long* reservations, unsigned long n) noexcept {
  if (n == 0)
    return;
  RamPool* pool = RamPool::getDefault();
  for (unsigned long i = 0; i < n; ++i) {
    if (!isOwningReservation(reservations[i]))
      continue;
    H::kDeleter(objects[i]);
    pool->unreserveRaw(reservations[i]);
    reservations[i] = 0;
  }
}

// ---------------------------------------------------------------------------------------------------
// Ownership rules

template <class H>
void checkObjectMoveRows(void* const* inputObjects, unsigned long* inputReservations, bool inputIsConstant,
                         void** outputObjects, unsigned long* outputReservations, bool outputIsFinal,
                         unsigned long n) {
  if (!inputIsConstant && inputReservations != nullptr) {
    // One owner per object: the reservation (owning, borrowed mark or 0) moves with the pointer.
    for (unsigned long i = 0; i < n; ++i) {
      if (outputObjects[i] != nullptr && outputObjects[i] == inputObjects[i]) {
        outputReservations[i] = inputReservations[i];
        inputReservations[i] = 0;
      }
    }
    return;
  }
  for (unsigned long i = 0; i < n; ++i) {
    const void* shared = inputIsConstant ? inputObjects[0] : inputObjects[i];
    if (shared == nullptr || outputObjects[i] != shared)
      continue;
    if (outputIsFinal)
      H(outputObjects + i, outputReservations + i).clone();
    else
      outputReservations[i] = kBorrowedReservation;
  }
}

template <class H>
void makeSlotOwned(void** object, unsigned long* reservation) {
  if (*object == nullptr) {
    *reservation = 0;
    return;
  }
  if (isOwningReservation(*reservation))
    return;
  *reservation = 0;
  H(object, reservation).clone();
}

template <class H>
void settleFinalObjectRows(void** objects, unsigned long* reservations, const rpn_eval_result_t* states,
                           unsigned long n) {
  for (unsigned long i = 0; i < n; ++i) {
    if (states == nullptr || states[i] == RPN_EVAL_OK)
      makeSlotOwned<H>(objects + i, reservations + i);
    else
      clearSlot(objects + i, reservations + i, H::kDeleter);
  }
}

#define QUARRY_OBJECT_RULES_INSTANTIATE(H)                                                                   \
  template void cleanupObjectSlots<H>(void**, unsigned long*, unsigned long) noexcept;                       \
  template void checkObjectMoveRows<H>(void* const*, unsigned long*, bool, void**, unsigned long*, bool,     \
                                       unsigned long);                                                       \
  template void makeSlotOwned<H>(void**, unsigned long*);                                                    \
  template void settleFinalObjectRows<H>(void**, unsigned long*, const rpn_eval_result_t*, unsigned long);
QUARRY_OBJECT_RULES_INSTANTIATE(EvalOutputString)
QUARRY_OBJECT_RULES_INSTANTIATE(EvalOutputVector)
QUARRY_OBJECT_RULES_INSTANTIATE(EvalOutputJson)
QUARRY_OBJECT_RULES_INSTANTIATE(EvalOutputGeometry)
#undef QUARRY_OBJECT_RULES_INSTANTIATE

// ---------------------------------------------------------------------------------------------------
// ValueEvalObjectHolder

ValueEvalObjectHolder::ValueEvalObjectHolder(ValueEvalObjectHolder&& other) noexcept
    : object(std::exchange(other.object, nullptr)), reservation(std::exchange(other.reservation, 0)),
      deleter(std::move(other.deleter)) {}

ValueEvalObjectHolder& ValueEvalObjectHolder::operator=(ValueEvalObjectHolder&& other) noexcept {
  if (this != &other) {
    freeOwned();
    object = std::exchange(other.object, nullptr);
    reservation = std::exchange(other.reservation, 0);
    deleter = std::move(other.deleter);
  }
  return *this;
}

ValueEvalObjectHolder::~ValueEvalObjectHolder() {
  freeOwned();
}

// Only an owning reservation frees: the borrowed mark and 0 leave the object alone.
void ValueEvalObjectHolder::freeOwned() noexcept {
  if (!isOwningReservation(reservation))
    return;
  if (deleter)
    deleter(object);
  RamPool::getDefault()->unreserveRaw(reservation);
  object = nullptr;
  reservation = 0;
}

} // namespace vela::cuda
