#pragma once
// A pool-charged, aligned array for scratch columns and slot arrays.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "base/RamPool.h"

namespace vela {

/// An array of T, aligned to Align bytes, whose capacity (in bytes) is charged to a RamPool for as long
/// as it is held. The pool is fixed when the buffer is made (by default the calling thread's default
/// pool), so that the memory is given back to the pool that was charged even if the buffer is
/// destroyed on another thread.
///
/// T must be trivially copyable and trivially destructible: elements are moved by memcpy when the
/// buffer grows and are never destroyed one by one. New elements are value-initialised (zeroed for
/// the arithmetic and pointer types the evaluator stores). Movable, not copyable.
template <class T, std::size_t Align = 64>
class ManagedBuffer {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "ManagedBuffer holds plain cells only");
  static_assert(Align != 0 && (Align & (Align - 1)) == 0 && Align >= alignof(T),
                "Align must be a power of two no weaker than alignof(T)");

public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  /// An empty buffer charging `pool` (nullptr: the default pool of the thread that first gives it
  /// storage). An empty buffer looks no pool up: evaluator stack entries make and move many empty ones
  /// per batch, and the default pool is a thread-local lookup.
  explicit ManagedBuffer(RamPool* pool = nullptr) : m_pool(pool) {}
  /// n value-initialised elements.
  explicit ManagedBuffer(std::size_t n, RamPool* pool = nullptr) : ManagedBuffer(pool) { resize(n); }

  ManagedBuffer(const ManagedBuffer&) = delete;
  ManagedBuffer& operator=(const ManagedBuffer&) = delete;

  ManagedBuffer(ManagedBuffer&& other) noexcept
      : m_pool(other.m_pool), m_data(std::exchange(other.m_data, nullptr)),
        m_size(std::exchange(other.m_size, 0)), m_capacity(std::exchange(other.m_capacity, 0)) {}

  ManagedBuffer& operator=(ManagedBuffer&& other) noexcept {
    if (this != &other) {
      freeStorage();
      m_pool = other.m_pool;
      m_data = std::exchange(other.m_data, nullptr);
      m_size = std::exchange(other.m_size, 0);
      m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
  }

  ~ManagedBuffer() { freeStorage(); }

  /// Makes room for n elements without changing size(). Never shrinks.
  void reserve(std::size_t n) {
    if (n <= m_capacity)
      return;
    const std::size_t bytes = byteCount(n);
    if (m_pool == nullptr)
      m_pool = RamPool::getDefault();
    T* fresh = static_cast<T*>(m_pool->allocateRaw(bytes, Align));
    if (m_size != 0)
      std::memcpy(static_cast<void*>(fresh), static_cast<const void*>(m_data), m_size * sizeof(T));
    freeStorage();
    m_data = fresh;
    m_capacity = n;
  }

  /// Sets size() to n; elements past the old size are value-initialised. Grows the capacity to
  /// exactly n when needed (batches are sized once, so no geometric growth); shrinking keeps it.
  void resize(std::size_t n) {
    reserve(n);
    if (n > m_size)
      std::uninitialized_value_construct_n(m_data + m_size, n - m_size);
    m_size = n;
  }

  /// Sets size() to n leaving elements past the old size uninitialised, for a buffer of trivial elements
  /// that its user overwrites entirely before reading.
  void resizeForOverwrite(std::size_t n) {
    static_assert(std::is_trivially_default_constructible_v<T>);
    reserve(n);
    m_size = n;
  }

  /// n copies of value.
  void assign(std::size_t n, const T& value = T{}) {
    reserve(n);
    std::uninitialized_fill_n(m_data, n, value);
    m_size = n;
  }

  /// Empties the buffer and gives its memory back to the pool.
  void clear() noexcept {
    freeStorage();
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
  }

  T* data() noexcept { return m_data; }
  const T* data() const noexcept { return m_data; }
  std::size_t size() const noexcept { return m_size; }
  std::size_t capacity() const noexcept { return m_capacity; }
  bool empty() const noexcept { return m_size == 0; }
  /// Bytes currently charged to the pool for this buffer.
  std::size_t chargedBytes() const noexcept { return m_capacity * sizeof(T); }
  /// The pool charged; nullptr for a buffer that has never held storage without a pool given.
  RamPool* pool() const noexcept { return m_pool; }

  T& operator[](std::size_t i) noexcept { return m_data[i]; }
  const T& operator[](std::size_t i) const noexcept { return m_data[i]; }
  T* begin() noexcept { return m_data; }
  T* end() noexcept { return m_data + m_size; }
  const T* begin() const noexcept { return m_data; }
  const T* end() const noexcept { return m_data + m_size; }

private:
  static std::size_t byteCount(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T))
      throw std::length_error("Size would exceed maximum allowed size");
    return n * sizeof(T);
  }

  // Returns the storage; the pool's counters are the only record of the charge, so this must give
  // back exactly what reserve() charged. A refusal by the pool here means its accounting is already
  // broken, and terminates (noexcept). Leaves the members for the caller to reset.
  void freeStorage() noexcept {
    if (m_data != nullptr)
      m_pool->deallocateRaw(m_data, m_capacity * sizeof(T));
  }

  RamPool* m_pool;
  T* m_data = nullptr;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
};

} // namespace vela
