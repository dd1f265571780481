#include "base/RamPool.h"
#include "base/ManagedBuffer.h"
#include "base/VelaException.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

using vela::ManagedBuffer;
using vela::RamPool;
using vela::RamPoolThreadBinding;
using vela::VelaException;
using vela::VelaWhat;

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer an allocation larger than the sanitizer's own maximum aborts the process
// unless the allocator may return null; the pool must see the same failure as in a normal build.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
#endif

namespace {

struct Counters {
  std::size_t reserved, peak;
  std::uint64_t reserves, unreserves;
  std::int64_t live;
  bool operator==(const Counters&) const = default;
};

Counters countersOf(const RamPool& p) {
  return {p.reservedBytes(), p.peakBytes(), p.reserveCalls(), p.unreserveCalls(), p.liveAllocations()};
}

bool isAligned(const void* p, std::size_t a) {
  return reinterpret_cast<std::uintptr_t>(p) % a == 0;
}

// Expects `f` to throw a VelaException with `what` and to leave the pool's counters as they were.
template <class F>
VelaException expectRefused(RamPool& pool, VelaWhat what, F f) {
  const Counters before = countersOf(pool);
  try {
    f();
  } catch (const VelaException& e) {
    EXPECT_EQ(e.whatCode(), static_cast<int>(what));
    EXPECT_EQ(countersOf(pool), before);
    return e;
  }
  ADD_FAILURE() << "no exception";
  return VelaException(VelaWhat::Internal, "");
}

TEST(RamPool, AllocateAndFreeBalance) {
  RamPool pool("balance");
  struct Case {
    std::size_t bytes, alignment, expectAlign;
  };
  const Case cases[] = {{0, 64, 64},  {1, 1, 8},          {63, 8, 8}, {64, 64, 64},
                        {65, 64, 64}, {4096, 4096, 4096}, {100, 2, 8}};
  std::vector<void*> ptrs;
  std::size_t total = 0;
  for (const Case& c : cases) {
    void* p = pool.allocateRaw(c.bytes, c.alignment);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(isAligned(p, c.expectAlign)) << c.bytes << "/" << c.alignment;
    total += c.bytes;
    EXPECT_EQ(pool.reservedBytes(), total);
    ptrs.push_back(p);
  }
  EXPECT_EQ(pool.liveAllocations(), static_cast<std::int64_t>(std::size(cases)));
  void* dflt = pool.allocateRaw(10);
  EXPECT_TRUE(isAligned(dflt, RamPool::kDefaultAlignment));
  pool.deallocateRaw(dflt, 10);
  for (std::size_t i = 0; i < ptrs.size(); ++i)
    pool.deallocateRaw(ptrs[i], cases[i].bytes);
  pool.deallocateRaw(nullptr, 12345); // ignored
  for (std::size_t a : {std::size_t{0}, std::size_t{3}, std::size_t{48}})
    expectRefused(pool, VelaWhat::Internal, [&] { pool.allocateRaw(8, a); });
  EXPECT_EQ(pool.reservedBytes(), 0u);
  EXPECT_EQ(pool.peakBytes(), total + 10);
  EXPECT_EQ(pool.reserveCalls(), pool.unreserveCalls());
}

TEST(RamPool, LimitExhaustionLeavesCountersAndPoolUsable) {
  RamPool pool("limited", 100);
  pool.reserveRaw(60);
  const VelaException e = expectRefused(pool, VelaWhat::ResourceExhausted, [&] { pool.reserveRaw(41); });
  const std::string msg = e.what();
  for (const char* part : {"limited", "41", "60", "100"})
    EXPECT_NE(msg.find(part), std::string::npos) << msg;
  expectRefused(pool, VelaWhat::ResourceExhausted, [&] { pool.allocateRaw(41); });
  expectRefused(pool, VelaWhat::ResourceExhausted, [&] { pool.reserveRaw(SIZE_MAX); });
  pool.reserveRaw(40); // exactly at the limit
  pool.reserveRaw(0);
  EXPECT_EQ(pool.reservedBytes(), 100u);
  pool.unreserveRaw(100);
  void* p = pool.allocateRaw(100);
  pool.deallocateRaw(p, 100);
  EXPECT_EQ(pool.reservedBytes(), 0u);
  EXPECT_EQ(pool.liveAllocations(), 0);

  // Zero is a real limit; lowering below the reservation blocks until enough is returned.
  RamPool zero("zero", 0);
  expectRefused(zero, VelaWhat::ResourceExhausted, [&] { zero.reserveRaw(1); });
  zero.reserveRaw(0);
  zero.setLimit(10);
  zero.reserveRaw(8);
  zero.setLimit(5);
  expectRefused(zero, VelaWhat::ResourceExhausted, [&] { zero.reserveRaw(1); });
  zero.unreserveRaw(4);
  zero.reserveRaw(1);
  EXPECT_EQ(zero.reservedBytes(), 5u);
}

TEST(RamPool, UnlimitedPoolRefusesWrapAroundAndOverRelease) {
  RamPool pool("unlimited-test");
  EXPECT_EQ(pool.limit(), RamPool::kUnlimited);
  pool.reserveRaw(SIZE_MAX - 10);
  expectRefused(pool, VelaWhat::ResourceExhausted, [&] { pool.reserveRaw(11); });
  pool.reserveRaw(10);
  pool.unreserveRaw(SIZE_MAX);
  expectRefused(pool, VelaWhat::Internal, [&] { pool.unreserveRaw(1); });
  pool.reserveRaw(5);
  expectRefused(pool, VelaWhat::Internal, [&] { pool.unreserveRaw(6); });
}

// A reservation that the pool grants but the system cannot back: the allocation fails with bad_alloc and
// the pool is left exactly as before (nothing reserved, nothing live), then serves a normal request.
TEST(RamPool, SystemAllocationFailureGivesTheReservationBack) {
  RamPool pool("unbacked");
  void* keep = pool.allocateRaw(64);
  const std::size_t reserved = pool.reservedBytes();
  const std::int64_t live = pool.liveAllocations();
  for (const std::size_t bytes : {std::size_t{1} << 62, SIZE_MAX / 2}) {
    EXPECT_THROW(pool.allocateRaw(bytes), std::bad_alloc) << bytes;
    EXPECT_EQ(pool.reservedBytes(), reserved) << bytes;
    EXPECT_EQ(pool.liveAllocations(), live) << bytes;
  }
  pool.deallocateRaw(keep, 64);
  EXPECT_EQ(pool.reservedBytes(), 0u);
  EXPECT_EQ(pool.liveAllocations(), 0);
}

TEST(RamPool, DefaultPoolRuleOrderAndNestedBindings) {
  ASSERT_EQ(RamPool::processPool(), nullptr);
  RamPool* unlimited = RamPool::getDefault();
  EXPECT_EQ(unlimited->limit(), RamPool::kUnlimited);
  RamPool* fromOtherThread = nullptr;
  std::thread([&] { fromOtherThread = RamPool::getDefault(); }).join();
  EXPECT_EQ(fromOtherThread, unlimited); // created once for the process

  RamPool proc("proc"), a("a"), b("b");
  RamPool::setProcessPool(&proc);
  EXPECT_EQ(RamPool::getDefault(), &proc);
  {
    RamPoolThreadBinding bindA(&a, true);
    EXPECT_EQ(RamPool::getDefault(), &a);
    std::thread([&] { fromOtherThread = RamPool::getDefault(); }).join();
    EXPECT_EQ(fromOtherThread, &proc); // bindings are per thread
    {
      RamPoolThreadBinding bindB(&b);
      EXPECT_EQ(RamPool::getDefault(), &b);
      {
        RamPoolThreadBinding inert(&a, false);
        EXPECT_EQ(RamPool::getDefault(), &b);
      }
      {
        RamPoolThreadBinding hide(nullptr);
        EXPECT_EQ(RamPool::getDefault(), &proc);
      }
      EXPECT_EQ(RamPool::getDefault(), &b);
    }
    EXPECT_EQ(RamPool::getDefault(), &a);
  }
  EXPECT_EQ(RamPool::getDefault(), &proc);
  RamPool::setProcessPool(nullptr);
  EXPECT_EQ(RamPool::getDefault(), unlimited);
}

TEST(RamPool, ConcurrentReservationsBalanceAndRespectLimit) {
  constexpr std::size_t kLimit = 10000;
  RamPool pool("concurrent", kLimit);
  constexpr int kThreads = 4, kRounds = 20000;
  std::vector<std::uint64_t> successes(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      std::vector<std::size_t> held;
      for (int i = 0; i < kRounds; ++i) {
        const std::size_t bytes = 1 + (i * 7919 + t * 104729) % 1500;
        try {
          pool.reserveRaw(bytes);
          held.push_back(bytes);
          ++successes[t];
        } catch (const VelaException&) {
        }
        if (held.size() > 3 || (i % 5 == 0 && !held.empty())) {
          pool.unreserveRaw(held.back());
          held.pop_back();
        }
      }
      for (std::size_t bytes : held)
        pool.unreserveRaw(bytes);
    });
  for (auto& th : threads)
    th.join();
  std::uint64_t total = 0;
  for (auto s : successes)
    total += s;
  EXPECT_EQ(pool.reservedBytes(), 0u);
  EXPECT_LE(pool.peakBytes(), kLimit);
  EXPECT_GT(pool.peakBytes(), 0u);
  EXPECT_EQ(pool.reserveCalls(), total);
  EXPECT_EQ(pool.unreserveCalls(), total);
}

// An injected failure hits exactly the nth reservation (allocations included), leaves the counters as
// a refused reservation does, and is spent once; with several threads exactly one reservation fails.
TEST(RamPool, InjectedFailureHitsTheNthReservationOnce) {
  for (std::uint64_t nth : {1u, 2u, 5u}) {
    RamPool pool("inject");
    pool.failReservation(nth);
    std::vector<std::size_t> held;
    int failedAt = 0;
    for (int i = 1; i <= 8; ++i) {
      const Counters before = countersOf(pool);
      try {
        if (i % 2 == 0) {
          pool.deallocateRaw(pool.allocateRaw(16), 16);
        } else {
          pool.reserveRaw(100);
          held.push_back(100);
        }
      } catch (const VelaException& e) {
        EXPECT_EQ(e.whatCode(), static_cast<int>(VelaWhat::ResourceExhausted));
        EXPECT_EQ(countersOf(pool), before);
        EXPECT_EQ(failedAt, 0) << "a second failure";
        failedAt = i;
      }
    }
    EXPECT_EQ(failedAt, static_cast<int>(nth));
    for (std::size_t b : held)
      pool.unreserveRaw(b);
    EXPECT_EQ(pool.reservedBytes(), 0u);
    EXPECT_EQ(pool.liveAllocations(), 0);
  }
  RamPool pool("inject-concurrent");
  pool.failReservation(5000);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        try {
          pool.reserveRaw(1);
          pool.unreserveRaw(1);
        } catch (const VelaException&) {
          ++failures;
        }
      }
    });
  for (auto& th : threads)
    th.join();
  EXPECT_EQ(failures.load(), 1);
  EXPECT_EQ(pool.reserveCalls(), 19999u);
}

TEST(ManagedBuffer, AlignmentChargeGrowthAndRelease) {
  RamPool pool("buffers");
  {
    ManagedBuffer<std::int32_t> buf(100, &pool);
    EXPECT_TRUE(isAligned(buf.data(), 64));
    EXPECT_EQ(pool.reservedBytes(), 400u);
    for (std::int32_t v : buf)
      EXPECT_EQ(v, 0);
    for (std::size_t i = 0; i < buf.size(); ++i)
      buf[i] = static_cast<std::int32_t>(i);
    buf.resize(150); // grows: old values kept, new ones zeroed, charge follows capacity
    EXPECT_EQ(pool.reservedBytes(), 600u);
    EXPECT_EQ(buf[99], 99);
    EXPECT_EQ(buf[149], 0);
    buf.resize(10); // shrink keeps the capacity and its charge
    EXPECT_EQ(buf.capacity(), 150u);
    EXPECT_EQ(pool.reservedBytes(), 600u);
    buf.assign(20, 7);
    EXPECT_EQ(buf.end() - buf.begin(), 20);
    EXPECT_EQ(buf[19], 7);

    ManagedBuffer<std::int32_t> moved(std::move(buf));
    EXPECT_EQ(buf.data(), nullptr);
    EXPECT_EQ(buf.chargedBytes(), 0u);
    EXPECT_EQ(pool.reservedBytes(), 600u); // charged once, owned by `moved`
    ManagedBuffer<std::int32_t> target(5, &pool);
    target = std::move(moved); // frees target's own cells first
    EXPECT_EQ(pool.reservedBytes(), 600u);

    ManagedBuffer<double, 4096> page(3, &pool);
    EXPECT_TRUE(isAligned(page.data(), 4096));
    ManagedBuffer<char> empty(0, &pool);
    EXPECT_EQ(empty.data(), nullptr);
  }
  EXPECT_EQ(pool.reservedBytes(), 0u);
  EXPECT_EQ(pool.liveAllocations(), 0);
}

TEST(ManagedBuffer, RefusedGrowthKeepsContents) {
  RamPool pool("tight", 100);
  ManagedBuffer<std::uint64_t> buf(4, &pool);
  buf[3] = 42;
  EXPECT_THROW(buf.resize(20), VelaException);
  EXPECT_EQ(buf.size(), 4u);
  EXPECT_EQ(buf[3], 42u);
  EXPECT_THROW(buf.reserve(SIZE_MAX / 4), std::length_error);
  EXPECT_EQ(pool.reservedBytes(), 32u);
}

} // namespace
