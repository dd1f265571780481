#include "base/RamPool.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "base/VelaException.h"

namespace vela {

thread_local RamPool* RamPool::m_tl_pool = nullptr;
std::atomic<RamPool*> RamPool::m_proc_pool{nullptr};
std::atomic<RamPool*> RamPool::m_unlimited_pool{nullptr};

RamPool::RamPool(std::string name, std::size_t limit) : m_name(std::move(name)), m_limit(limit) {}

// Outstanding reservations at destruction are the owners' leak, not this pool's; nothing is thrown
// from here.
RamPool::~RamPool() = default;

RamPool* RamPool::createUnlimitedPool() {
  // Deliberately leaked: objects destroyed during exit (thread-locals, statics of other libraries)
  // may still give memory back to it.
  return new RamPool("unlimited", kUnlimited);
}

RamPool* RamPool::getDefault() {
  if (RamPool* bound = m_tl_pool)
    return bound;
  if (RamPool* proc = m_proc_pool.load(std::memory_order_acquire))
    return proc;
  // A function-local static gives the thread-safe one-time creation; m_unlimited_pool mirrors it for
  // readers that want the handle without creating it.
  static RamPool* const created = [] {
    RamPool* pool = createUnlimitedPool();
    m_unlimited_pool.store(pool, std::memory_order_release);
    return pool;
  }();
  return created;
}

void RamPool::setProcessPool(RamPool* pool) {
  m_proc_pool.store(pool, std::memory_order_release);
}

RamPool* RamPool::processPool() {
  return m_proc_pool.load(std::memory_order_acquire);
}

void RamPool::reserveRaw(std::size_t bytes) {
  bool injected = false;
  // One relaxed load on the usual path; an armed countdown is stepped with a CAS so that concurrent
  // reservations never take it below zero and exactly one of them fails.
  for (std::uint64_t n = m_failCountdown.load(std::memory_order_relaxed); n != 0;) {
    if (m_failCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
      injected = n == 1;
      break;
    }
  }
  std::size_t current = m_reserved.load(std::memory_order_relaxed);
  for (;;) {
    const std::size_t limit = m_limit.load(std::memory_order_relaxed);
    // Written so that nothing can overflow: with kUnlimited this also refuses a total past SIZE_MAX.
    if (injected || bytes > limit || current > limit - bytes) {
      std::string text = "Memory pool '" + m_name + "' exhausted: cannot reserve " + std::to_string(bytes) +
                         " bytes with " + std::to_string(current) + " bytes reserved of a limit of ";
      text += limit == kUnlimited ? std::string("unlimited") : std::to_string(limit) + " bytes";
      throw VelaException(VelaWhat::ResourceExhausted, std::move(text));
    }
    if (m_reserved.compare_exchange_weak(current, current + bytes, std::memory_order_relaxed))
      break;
  }
  const std::size_t total = current + bytes;
  std::size_t peak = m_peak.load(std::memory_order_relaxed);
  while (total > peak && !m_peak.compare_exchange_weak(peak, total, std::memory_order_relaxed)) {
  }
  m_reserveCalls.fetch_add(1, std::memory_order_relaxed);
}

void RamPool::unreserveRaw(std::size_t bytes) {
  std::size_t current = m_reserved.load(std::memory_order_relaxed);
  for (;;) {
    if (bytes > current)
      throw VelaException(VelaWhat::Internal, "Memory pool '" + m_name +
                                                  "' accounting broken: cannot unreserve " +
                                                  std::to_string(bytes) + " bytes with only " +
                                                  std::to_string(current) + " bytes reserved");
    if (m_reserved.compare_exchange_weak(current, current - bytes, std::memory_order_relaxed))
      break;
  }
  m_unreserveCalls.fetch_add(1, std::memory_order_relaxed);
}

void* RamPool::allocateRaw(std::size_t bytes, std::size_t alignment) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0)
    throw VelaException(VelaWhat::Internal, "Memory pool '" + m_name + "': alignment " +
                                                std::to_string(alignment) + " is not a power of two");
  // posix_memalign needs a multiple of sizeof(void*); a stronger alignment satisfies a weaker one.
  if (alignment < sizeof(void*))
    alignment = sizeof(void*);
  reserveRaw(bytes);
  void* ptr = nullptr;
  // A zero-byte request still gets a distinct block, so that the pointer is never null.
  if (::posix_memalign(&ptr, alignment, bytes == 0 ? 1 : bytes) != 0) {
    unreserveRaw(bytes);
    throw std::bad_alloc();
  }
  m_liveAllocations.fetch_add(1, std::memory_order_relaxed);
  return ptr;
}

void RamPool::deallocateRaw(void* ptr, std::size_t bytes) {
  if (ptr == nullptr)
    return;
  // Free first: a wrong size is an accounting fault, reported by unreserveRaw, but must not also leak
  // the block.
  std::free(ptr);
  m_liveAllocations.fetch_sub(1, std::memory_order_relaxed);
  unreserveRaw(bytes);
}

RamPoolThreadBinding::RamPoolThreadBinding(RamPool* pool, bool bind) noexcept
    : m_previous(RamPool::m_tl_pool), m_bound(bind) {
  if (m_bound)
    RamPool::m_tl_pool = pool;
}

RamPoolThreadBinding::~RamPoolThreadBinding() {
  if (m_bound)
    RamPool::m_tl_pool = m_previous;
}

} // namespace vela
