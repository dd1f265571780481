#pragma once
// Per-call context handed to the evaluator: the job it runs for, a per-call cache, an arena for
// temporary strings, the execution helper, and the current year.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <utility>

#include <log4cplus/logger.h>

#include "base/Logging.h"
#include "base/RamPool.h"
#include "base/VelaException.h"

namespace vela {

// ---------------------------------------------------------------------------------------------------
// Jobs

/// Job status codes that the evaluator acts on. Every status not named here lets evaluation go on.
enum class JobStatus : int {
  Running = 0,
  /// The user asked to cancel; the job winds down.
  CancelRequested = 4,
  /// The job was cancelled.
  Cancelled = 7,
  /// The job was stopped by the system (for instance on a failure elsewhere in the query).
  Aborted = 10,
};

/// True for the statuses that stop evaluation (4, 7 and 10).
bool isStoppingJobStatus(int status) noexcept;

/// The job an evaluation belongs to. The status is read by evaluator tasks while the owner of the job
/// sets it from another thread, so it is atomic; the name and id are fixed at construction.
class job_info {
public:
  explicit job_info(std::uint64_t id = 0, std::string name = {},
                    int status = static_cast<int>(JobStatus::Running))
      : m_id(id), m_name(std::move(name)), m_status(status) {}
  job_info(const job_info&) = delete;
  job_info& operator=(const job_info&) = delete;

  int status() const noexcept { return m_status.load(std::memory_order_acquire); }
  void setStatus(int status) noexcept { m_status.store(status, std::memory_order_release); }
  void setStatus(JobStatus status) noexcept { setStatus(static_cast<int>(status)); }
  std::uint64_t id() const noexcept { return m_id; }
  const std::string& name() const noexcept { return m_name; }

private:
  std::uint64_t m_id;
  std::string m_name;
  std::atomic<int> m_status;
};

/// A read-only view of a job with the logger that reports what the evaluator sees of it. A null job
/// is allowed and is never cancelled.
class JobInfoWrapper {
public:
  explicit JobInfoWrapper(job_info const* job, log4cplus::Logger logger = KernelLogger::logger())
      : m_job(job), m_logger(std::move(logger)) {}

  /// True when the job's status is one that stops evaluation (4, 7 or 10).
  bool isCancelled() const;
  job_info const* job() const noexcept { return m_job; }

private:
  job_info const* m_job;
  log4cplus::Logger m_logger;
};

// ---------------------------------------------------------------------------------------------------
// Per-call cache

/// A small typed key/value store living for one evaluation call, shared by all its tasks.
///
/// A value, once stored, stays at the same address under its key until the cache is destroyed: a
/// later put of the same key does not replace it. References handed out therefore stay valid for the
/// call. The cache guards its own map; a value that tasks mutate must guard itself.
///
/// Each entry is charged to the calling thread's default pool when stored (its node, key and value
/// sizes plus any `extraBytes` the caller declares for memory the value owns) and given back to that
/// same pool when the cache is destroyed.
class EvaluatorCache {
public:
  EvaluatorCache() = default;
  EvaluatorCache(const EvaluatorCache&) = delete;
  EvaluatorCache& operator=(const EvaluatorCache&) = delete;
  ~EvaluatorCache();

  /// The value under `key`, or nullptr. Throws VelaException(Internal) if it is held as another type.
  template <class T>
  T* get(std::string_view key) const {
    EntryBase* entry = find(key);
    return entry == nullptr ? nullptr : &checkedCast<T>(*entry, key).value;
  }

  /// Stores `value` under `key` unless the key is taken. Returns whether it was stored.
  template <class T>
  bool put(std::string_view key, T value, std::size_t extraBytes = 0) {
    auto entry = std::make_unique<Entry<T>>(std::move(value));
    return insert(key, std::move(entry), sizeof(Entry<T>) + extraBytes).second;
  }

  /// The value under `key`; if absent, `make()` builds it and it is stored. `make` runs without the
  /// cache locked, so two tasks may both build it; only the first one stored is kept and returned.
  template <class T, class Make>
  T& getOrCreate(std::string_view key, Make&& make, std::size_t extraBytes = 0) {
    if (T* found = get<T>(key))
      return *found;
    auto entry = std::make_unique<Entry<T>>(std::forward<Make>(make)());
    EntryBase& held = *insert(key, std::move(entry), sizeof(Entry<T>) + extraBytes).first;
    return checkedCast<T>(held, key).value;
  }

  bool contains(std::string_view key) const { return find(key) != nullptr; }
  std::size_t size() const;
  /// Bytes charged for the entries stored so far.
  std::size_t chargedBytes() const;

private:
  struct EntryBase {
    explicit EntryBase(const std::type_info& t) : type(&t) {}
    virtual ~EntryBase() = default;
    const std::type_info* type;
    RamPool* pool = nullptr;
    std::size_t charged = 0;
  };
  template <class T>
  struct Entry final : EntryBase {
    explicit Entry(T v) : EntryBase(typeid(T)), value(std::move(v)) {}
    T value;
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const noexcept { return std::hash<std::string_view>{}(key); }
  };

  template <class T>
  static Entry<T>& checkedCast(EntryBase& entry, std::string_view key) {
    if (*entry.type != typeid(T))
      throwTypeMismatch(key);
    return static_cast<Entry<T>&>(entry);
  }
  [[noreturn]] static void throwTypeMismatch(std::string_view key);

  EntryBase* find(std::string_view key) const;
  /// Charges and stores `entry` unless the key is taken; returns the held entry and whether it is the
  /// new one. The charge is `bytes` plus the key length.
  std::pair<EntryBase*, bool> insert(std::string_view key, std::unique_ptr<EntryBase> entry,
                                     std::size_t bytes);

  mutable std::shared_mutex m_mutex;
  std::unordered_map<std::string, std::unique_ptr<EntryBase>, KeyHash, std::equal_to<>> m_entries;
  std::size_t m_charged = 0;
};

// ---------------------------------------------------------------------------------------------------
// Arena

/// An arena for temporary strings: each thread bump-allocates from its own chain of blocks, so
/// allocation takes no lock. Blocks are charged to the pool given at construction (by default the
/// constructing thread's default pool) and all of them are freed when the arena is destroyed.
///
/// allocate() and reset() act on the calling thread's blocks only and may be called from many threads
/// at once; the destructor must not race with them.
class ManagedThreadLocalArena {
public:
  static constexpr std::size_t kDefaultBlockBytes = 64 * 1024;

  explicit ManagedThreadLocalArena(std::size_t blockBytes = kDefaultBlockBytes, RamPool* pool = nullptr);
  ManagedThreadLocalArena(const ManagedThreadLocalArena&) = delete;
  ManagedThreadLocalArena& operator=(const ManagedThreadLocalArena&) = delete;
  ~ManagedThreadLocalArena();

  /// `bytes` bytes aligned to `alignment` (a power of two), valid until this thread's next reset()
  /// or the arena's destruction. A request larger than a block gets a block of its own.
  void* allocate(std::size_t bytes, std::size_t alignment = alignof(std::max_align_t));
  /// Makes all of the calling thread's allocations reusable. The thread keeps one standard-size block
  /// for its next allocations; further blocks are given back to the pool.
  void reset();

  /// Bytes charged to the pool for the blocks of all threads.
  std::size_t chargedBytes() const noexcept;
  /// Bytes handed out to the calling thread since its last reset (alignment padding included).
  std::size_t threadUsedBytes() const;
  std::size_t blockBytes() const noexcept { return m_blockBytes; }
  RamPool* pool() const noexcept { return m_pool; }

private:
  struct Impl;
  std::size_t m_blockBytes;
  RamPool* m_pool;
  std::unique_ptr<Impl> m_impl;
};

// ---------------------------------------------------------------------------------------------------
// Execution helper

/// The caller's execution helper. Its first byte is the host flag, which the evaluator reads.
///
/// This build executes on the host only: a helper can only be a host helper (asking for a device
/// helper throws VelaException(Unsupported)), and kernelCopy is a plain host memory copy.
class KernelExecutionHelper {
public:
  explicit KernelExecutionHelper(bool host = true);

  bool isHost() const noexcept { return m_isHost != 0; }
  /// Copies `bytes` bytes from `source` to `destination` (the ranges may overlap).
  void kernelCopy(void* destination, const void* source, std::size_t bytes) const;

private:
  unsigned char m_isHost;
};

/// Device memory allocated through a helper. This build has no device memory: the empty form owns
/// nothing, and allocating throws VelaException(Unsupported).
class RawDeviceMemoryPtr {
public:
  RawDeviceMemoryPtr() noexcept = default;
  RawDeviceMemoryPtr(const KernelExecutionHelper& helper, std::size_t bytes);
  RawDeviceMemoryPtr(RawDeviceMemoryPtr&&) noexcept = default;
  RawDeviceMemoryPtr& operator=(RawDeviceMemoryPtr&&) noexcept = default;
  RawDeviceMemoryPtr(const RawDeviceMemoryPtr&) = delete;
  RawDeviceMemoryPtr& operator=(const RawDeviceMemoryPtr&) = delete;

  void* get() const noexcept { return nullptr; }
  std::size_t size() const noexcept { return 0; }
  explicit operator bool() const noexcept { return false; }
};

// ---------------------------------------------------------------------------------------------------
// Time

/// The current year in UTC, read from the real-time clock at each call.
int currentYear();
/// The UTC year (proleptic Gregorian) of a time in seconds since 1970-01-01T00:00:00Z; negative
/// times are before the epoch.
int utcYearOfEpochSeconds(std::int64_t seconds) noexcept;

} // namespace vela
