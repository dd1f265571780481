#pragma once
// Memory accounting. Every heap object and scratch array of an evaluation is charged to a RamPool so
// that a query's memory use is known and bounded; worker threads bind the query's pool so that charges
// made on them land on the right query.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vela {

/// A memory-accounting pool: a byte counter with a limit, plus aligned allocation charged to it.
///
/// Accounting is lock-free (atomics only): many tasks of one evaluation reserve and unreserve at once.
/// The counters are in bytes. A reservation that would take the total above the limit fails without
/// changing anything; an unreservation of more than is reserved is a fault of the caller.
class RamPool {
public:
  /// The limit meaning "no limit". A limit of 0 is a real limit: only empty reservations succeed.
  static constexpr std::size_t kUnlimited = SIZE_MAX;
  static constexpr std::size_t kDefaultAlignment = 64;

  explicit RamPool(std::string name, std::size_t limit = kUnlimited);
  RamPool(const RamPool&) = delete;
  RamPool& operator=(const RamPool&) = delete;
  ~RamPool();

  /// The pool charges go to on the calling thread: the thread's binding if any, else the process
  /// pool if set, else one unlimited pool created on first use and kept until the process exits.
  static RamPool* getDefault();
  /// Sets (or, with nullptr, clears) the process-wide pool. The caller keeps it alive while set.
  static void setProcessPool(RamPool* pool);
  static RamPool* processPool();

  /// Charges `bytes`. Throws VelaException(ResourceExhausted) when the limit would be exceeded; the
  /// counters are then unchanged.
  void reserveRaw(std::size_t bytes);
  /// Gives back `bytes`. Giving back more than is reserved throws VelaException(Internal) and changes
  /// nothing: the accounting of some owner is broken and must not be hidden by wrapping around.
  void unreserveRaw(std::size_t bytes);

  /// Reserves `bytes` and allocates them aligned to `alignment` (a power of two). Never returns
  /// nullptr; a failed allocation returns the reservation and throws std::bad_alloc.
  void* allocateRaw(std::size_t bytes, std::size_t alignment = kDefaultAlignment);
  /// Frees memory from allocateRaw and unreserves `bytes`, which must be the size it was allocated
  /// with. A null pointer is ignored (nothing was allocated, nothing is unreserved).
  void deallocateRaw(void* ptr, std::size_t bytes);

  /// Sets the byte limit (kUnlimited for none). Lowering it below the current reservation is allowed:
  /// reservations fail until enough is given back.
  void setLimit(std::size_t limit) noexcept { m_limit.store(limit, std::memory_order_relaxed); }
  std::size_t limit() const noexcept { return m_limit.load(std::memory_order_relaxed); }

  /// Fault injection for whoever owns the pool: the `nth` reservation from now (1: the next one) fails
  /// as if the limit were reached, with the same exception; 0 disarms. One shot: later reservations
  /// succeed again. Unlike a lowered limit, this reaches reservations that do not set a new peak.
  void failReservation(std::uint64_t nth) noexcept { m_failCountdown.store(nth, std::memory_order_relaxed); }

  const std::string& name() const noexcept { return m_name; }
  std::size_t reservedBytes() const noexcept { return m_reserved.load(std::memory_order_relaxed); }
  /// Highest reservation seen since construction.
  std::size_t peakBytes() const noexcept { return m_peak.load(std::memory_order_relaxed); }
  /// Successful reserveRaw / unreserveRaw calls (allocateRaw and deallocateRaw count as one each).
  std::uint64_t reserveCalls() const noexcept { return m_reserveCalls.load(std::memory_order_relaxed); }
  std::uint64_t unreserveCalls() const noexcept { return m_unreserveCalls.load(std::memory_order_relaxed); }
  /// allocateRaw blocks not yet given back through deallocateRaw.
  std::int64_t liveAllocations() const noexcept { return m_liveAllocations.load(std::memory_order_relaxed); }

private:
  friend class RamPoolThreadBinding;

  static RamPool* createUnlimitedPool();

  std::string m_name;
  std::atomic<std::size_t> m_limit;
  std::atomic<std::size_t> m_reserved{0};
  std::atomic<std::size_t> m_peak{0};
  std::atomic<std::uint64_t> m_reserveCalls{0};
  std::atomic<std::uint64_t> m_unreserveCalls{0};
  std::atomic<std::int64_t> m_liveAllocations{0};
  std::atomic<std::uint64_t> m_failCountdown{0}; // 0: no injected failure armed

  static thread_local RamPool* m_tl_pool;
  static std::atomic<RamPool*> m_proc_pool;
  static std::atomic<RamPool*> m_unlimited_pool;
};

/// Scope object that makes a pool the calling thread's default for its lifetime and restores the
/// previous binding (possibly another binding, possibly none) when destroyed, so bindings nest.
/// With `bind` false it does nothing: callers that bind only conditionally keep one code path.
/// Binding nullptr hides any outer binding, so the process pool (or the unlimited pool) applies.
class RamPoolThreadBinding {
public:
  explicit RamPoolThreadBinding(RamPool* pool, bool bind = true) noexcept;
  ~RamPoolThreadBinding();
  RamPoolThreadBinding(const RamPoolThreadBinding&) = delete;
  RamPoolThreadBinding& operator=(const RamPoolThreadBinding&) = delete;

private:
  RamPool* m_previous;
  bool m_bound;
};

} // namespace vela
