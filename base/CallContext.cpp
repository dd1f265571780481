#include "base/CallContext.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include <log4cplus/loggingmacros.h>
#include <tbb/enumerable_thread_specific.h>

namespace vela {

// ---------------------------------------------------------------------------------------------------
// Jobs

bool isStoppingJobStatus(int status) noexcept {
  switch (static_cast<JobStatus>(status)) {
  case JobStatus::CancelRequested:
  case JobStatus::Cancelled:
  case JobStatus::Aborted:
    return true;
  default:
    return false;
  }
}

bool JobInfoWrapper::isCancelled() const {
  if (m_job == nullptr)
    return false;
  const int status = m_job->status();
  if (!isStoppingJobStatus(status))
    return false;
  LOG4CPLUS_TRACE(m_logger, "Job " << m_job->id() << " '" << m_job->name() << "' has status " << status
                                   << ": evaluation stops");
  return true;
}

// ---------------------------------------------------------------------------------------------------
// Per-call cache

EvaluatorCache::~EvaluatorCache() {
  for (auto& [key, entry] : m_entries) {
    RamPool* pool = entry->pool;
    const std::size_t charged = entry->charged;
    entry.reset();
    pool->unreserveRaw(charged);
  }
}

std::size_t EvaluatorCache::size() const {
  std::shared_lock lock(m_mutex);
  return m_entries.size();
}

std::size_t EvaluatorCache::chargedBytes() const {
  std::shared_lock lock(m_mutex);
  return m_charged;
}

void EvaluatorCache::throwTypeMismatch(std::string_view key) {
  throw VelaException(VelaWhat::Internal,
                      "EvaluatorCache entry '" + std::string(key) + "' is held as a different type");
}

EvaluatorCache::EntryBase* EvaluatorCache::find(std::string_view key) const {
  std::shared_lock lock(m_mutex);
  auto it = m_entries.find(key);
  return it == m_entries.end() ? nullptr : it->second.get();
}

std::pair<EvaluatorCache::EntryBase*, bool>
EvaluatorCache::insert(std::string_view key, std::unique_ptr<EntryBase> entry, std::size_t bytes) {
  std::unique_lock lock(m_mutex);
  if (auto it = m_entries.find(key); it != m_entries.end())
    return {it->second.get(), false};
  RamPool* pool = RamPool::getDefault();
  const std::size_t charge = bytes + key.size();
  pool->reserveRaw(charge);
  try {
    entry->pool = pool;
    entry->charged = charge;
    EntryBase* held = entry.get();
    m_entries.emplace(std::string(key), std::move(entry));
    m_charged += charge;
    return {held, true};
  } catch (...) {
    pool->unreserveRaw(charge);
    throw;
  }
}

// ---------------------------------------------------------------------------------------------------
// Arena

namespace {

struct ArenaBlock {
  char* data;
  std::size_t size;
};

// One thread's chain. Blocks before `current` are full; allocation continues in blocks[current] at
// `offset`.
struct ThreadArena {
  std::vector<ArenaBlock> blocks;
  std::size_t current = 0;
  std::size_t offset = 0;
  std::size_t used = 0;
};

// Blocks are allocated with this alignment, so requests aligned up to it need no padding at a block's
// start.
constexpr std::size_t kBlockAlignment = 64;

} // namespace

struct ManagedThreadLocalArena::Impl {
  tbb::enumerable_thread_specific<ThreadArena> threads;
  std::atomic<std::size_t> charged{0};
};

ManagedThreadLocalArena::ManagedThreadLocalArena(std::size_t blockBytes, RamPool* pool)
    : m_blockBytes(blockBytes == 0 ? kDefaultBlockBytes : blockBytes),
      m_pool(pool != nullptr ? pool : RamPool::getDefault()), m_impl(std::make_unique<Impl>()) {}

ManagedThreadLocalArena::~ManagedThreadLocalArena() {
  for (ThreadArena& t : m_impl->threads)
    for (const ArenaBlock& b : t.blocks)
      m_pool->deallocateRaw(b.data, b.size);
}

void* ManagedThreadLocalArena::allocate(std::size_t bytes, std::size_t alignment) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0)
    throw VelaException(VelaWhat::Internal, "ManagedThreadLocalArena: alignment " +
                                                std::to_string(alignment) + " is not a power of two");
  ThreadArena& t = m_impl->threads.local();
  while (t.current < t.blocks.size()) {
    const ArenaBlock& b = t.blocks[t.current];
    const auto base = reinterpret_cast<std::uintptr_t>(b.data);
    const std::size_t start = ((base + t.offset + alignment - 1) & ~(std::uintptr_t{alignment} - 1)) - base;
    if (start <= b.size && bytes <= b.size - start) {
      t.used += start - t.offset + bytes;
      t.offset = start + bytes;
      return b.data + start;
    }
    ++t.current;
    t.offset = 0;
  }
  // A new block at the end of the chain; an oversized request gets a block of its own size, with room
  // to align its start when the alignment is stronger than the block's.
  const std::size_t padding = alignment > kBlockAlignment ? alignment - 1 : 0;
  if (bytes > SIZE_MAX - padding)
    throw std::bad_alloc();
  const std::size_t size = std::max(m_blockBytes, bytes + padding);
  t.blocks.reserve(t.blocks.size() + 1); // so that the push below cannot throw after allocating
  char* data = static_cast<char*>(m_pool->allocateRaw(size, kBlockAlignment));
  t.blocks.push_back({data, size});
  m_impl->charged.fetch_add(size, std::memory_order_relaxed);
  t.current = t.blocks.size() - 1;
  t.offset = 0;
  return allocate(bytes, alignment);
}

void ManagedThreadLocalArena::reset() {
  ThreadArena& t = m_impl->threads.local();
  // Keep the first block only when it is a standard one: an oversized block is rarely needed again.
  const std::size_t keep = !t.blocks.empty() && t.blocks.front().size == m_blockBytes ? 1 : 0;
  for (std::size_t i = keep; i < t.blocks.size(); ++i) {
    m_pool->deallocateRaw(t.blocks[i].data, t.blocks[i].size);
    m_impl->charged.fetch_sub(t.blocks[i].size, std::memory_order_relaxed);
  }
  t.blocks.resize(keep);
  t.current = 0;
  t.offset = 0;
  t.used = 0;
}

std::size_t ManagedThreadLocalArena::chargedBytes() const noexcept {
  return m_impl->charged.load(std::memory_order_relaxed);
}

std::size_t ManagedThreadLocalArena::threadUsedBytes() const {
  return m_impl->threads.local().used;
}

// ---------------------------------------------------------------------------------------------------
// Execution helper

namespace {
[[noreturn]] void refuseDevice(const std::string& what) {
  throw VelaException(VelaWhat::Unsupported,
                      "Device execution is not available in this build (host only): cannot " + what);
}
} // namespace

KernelExecutionHelper::KernelExecutionHelper(bool host) : m_isHost(host ? 1 : 0) {
  if (!host)
    refuseDevice("create a device KernelExecutionHelper");
}

void KernelExecutionHelper::kernelCopy(void* destination, const void* source, std::size_t bytes) const {
  if (bytes == 0)
    return;
  if (destination == nullptr || source == nullptr)
    throw VelaException(VelaWhat::Internal, "KernelExecutionHelper::kernelCopy of " + std::to_string(bytes) +
                                                " bytes with a null address");
  std::memmove(destination, source, bytes);
}

RawDeviceMemoryPtr::RawDeviceMemoryPtr(const KernelExecutionHelper& /*helper*/, std::size_t bytes) {
  refuseDevice("allocate " + std::to_string(bytes) + " bytes of device memory");
}

// ---------------------------------------------------------------------------------------------------
// Time

namespace {
// Civil year of a count of days since 1970-01-01 in the proleptic Gregorian calendar (the era-based
// day-to-date conversion, reduced to the year). Pure arithmetic: no time-zone database, no locks.
long long yearFromDays(long long days) {
  days += 719468; // shift the epoch to 0000-03-01, so that leap days end each 400-year era's years
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long dayOfEra = days - era * 146097; // [0, 146096]
  const long long yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;              // [0, 399]
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100); // from March 1
  const long long monthIndex = (5 * dayOfYear + 2) / 153;                                     // 0 = March
  return yearOfEra + era * 400 + (monthIndex >= 10 ? 1 : 0); // January and February end the March year
}
} // namespace

int utcYearOfEpochSeconds(std::int64_t seconds) noexcept {
  // Floor division: the second before the epoch belongs to day -1.
  const long long days = seconds / 86400 - (seconds % 86400 < 0 ? 1 : 0);
  return static_cast<int>(yearFromDays(days));
}

int currentYear() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return utcYearOfEpochSeconds(now.tv_sec);
}

} // namespace vela
