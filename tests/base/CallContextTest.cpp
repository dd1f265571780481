#include "base/CallContext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <set>
#include <thread>
#include <vector>

using namespace vela;

namespace {

TEST(JobInfo, OnlyStoppingStatusesCancel) {
  job_info job(17, "q17");
  JobInfoWrapper wrapper(&job);
  for (int status = -1; status <= 12; ++status) {
    job.setStatus(status);
    const bool stops = status == 4 || status == 7 || status == 10;
    EXPECT_EQ(wrapper.isCancelled(), stops) << status;
  }
  EXPECT_FALSE(JobInfoWrapper(nullptr).isCancelled());

  // A status set on another thread is seen by the polling thread.
  job.setStatus(JobStatus::Running);
  std::thread([&] { job.setStatus(JobStatus::Cancelled); }).join();
  EXPECT_TRUE(wrapper.isCancelled());
}

TEST(EvaluatorCache, TypedEntriesFirstPutWinsAndChargesAreReturned) {
  RamPool pool("cache");
  {
    RamPoolThreadBinding bind(&pool);
    EvaluatorCache cache;
    EXPECT_EQ(cache.get<int>("k"), nullptr);
    EXPECT_TRUE(cache.put("k", 5));
    EXPECT_FALSE(cache.put("k", 6)); // kept: references to the first value stay valid
    ASSERT_NE(cache.get<int>("k"), nullptr);
    EXPECT_EQ(*cache.get<int>("k"), 5);
    EXPECT_THROW(cache.get<long>("k"), VelaException);
    EXPECT_TRUE(cache.put("vec", std::vector<int>(1000, 1), 1000 * sizeof(int)));
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_GT(pool.reservedBytes(), 4000u);
    EXPECT_EQ(pool.reservedBytes(), cache.chargedBytes());
    // A refused charge stores nothing.
    pool.setLimit(pool.reservedBytes() + 4);
    EXPECT_THROW(cache.put("d", 1.0), VelaException);
    EXPECT_FALSE(cache.contains("d"));
    pool.setLimit(RamPool::kUnlimited);
  }
  EXPECT_EQ(pool.reservedBytes(), 0u);
}

TEST(EvaluatorCache, ConcurrentGetOrCreateSharesOneValue) {
  RamPool pool("cache-mt");
  EvaluatorCache cache;
  constexpr int kThreads = 4;
  std::vector<const std::string*> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      RamPoolThreadBinding bind(&pool);
      for (int i = 0; i < 200; ++i)
        cache.getOrCreate<std::string>("key" + std::to_string(i % 20),
                                       [&] { return std::to_string(i % 20); });
      seen[t] = &cache.getOrCreate<std::string>("key7", [] { return std::string("late"); });
    });
  for (auto& th : threads)
    th.join();
  EXPECT_EQ(cache.size(), 20u);
  for (const std::string* s : seen) {
    EXPECT_EQ(s, seen[0]);
    EXPECT_EQ(*s, "7");
  }
  EXPECT_EQ(pool.reservedBytes(), cache.chargedBytes());
}

TEST(ManagedThreadLocalArena, AlignedDisjointAllocationsAndReset) {
  RamPool pool("arena");
  {
    ManagedThreadLocalArena arena(256, &pool);
    struct Req {
      std::size_t bytes, alignment;
    };
    const Req reqs[] = {{1, 1},   {3, 2},     {10, 8}, {0, 16},   {100, 64},
                        {7, 128}, {1000, 16}, {5, 1},  {300, 256}};
    std::vector<std::pair<char*, std::size_t>> got;
    for (const Req& r : reqs) {
      char* p = static_cast<char*>(arena.allocate(r.bytes, r.alignment));
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % r.alignment, 0u) << r.bytes << "/" << r.alignment;
      std::memset(p, static_cast<int>(got.size()), r.bytes);
      got.emplace_back(p, r.bytes);
    }
    // Every allocation still holds its own fill: no two overlap.
    for (std::size_t i = 0; i < got.size(); ++i)
      for (std::size_t j = 0; j < got[i].second; ++j)
        ASSERT_EQ(got[i].first[j], static_cast<char>(i));
    EXPECT_GE(arena.threadUsedBytes(), 1426u);
    EXPECT_EQ(pool.reservedBytes(), arena.chargedBytes());
    EXPECT_GT(pool.liveAllocations(), 1); // the 1000-byte request needed a block of its own

    arena.reset();
    EXPECT_EQ(arena.threadUsedBytes(), 0u);
    EXPECT_EQ(arena.chargedBytes(), 256u); // one standard block kept
    EXPECT_EQ(pool.reservedBytes(), 256u);
    arena.allocate(200);
    EXPECT_EQ(pool.reservedBytes(), 256u); // reused, not reallocated
    EXPECT_THROW(arena.allocate(8, 3), VelaException);
  }
  EXPECT_EQ(pool.reservedBytes(), 0u);
  EXPECT_EQ(pool.liveAllocations(), 0);
}

TEST(KernelExecutionHelper, HostCopiesAndDeviceIsRefused) {
  KernelExecutionHelper host;
  EXPECT_TRUE(host.isHost());
  char buf[] = "abcdef";
  host.kernelCopy(buf + 1, buf, 4); // overlapping
  EXPECT_STREQ(buf, "aabcdf");
  host.kernelCopy(nullptr, nullptr, 0);
  EXPECT_THROW(host.kernelCopy(nullptr, buf, 1), VelaException);

  auto expectUnsupported = [](auto f) {
    try {
      f();
      ADD_FAILURE() << "no exception";
    } catch (const VelaException& e) {
      EXPECT_EQ(e.whatCode(), static_cast<int>(VelaWhat::Unsupported));
      EXPECT_NE(std::string(e.what()).find("not available"), std::string::npos) << e.what();
    }
  };
  expectUnsupported([] { KernelExecutionHelper device(false); });
  expectUnsupported([&] { RawDeviceMemoryPtr mem(host, 64); });
  RawDeviceMemoryPtr empty;
  EXPECT_FALSE(empty);
  EXPECT_EQ(empty.get(), nullptr);
}

TEST(CurrentYear, EpochSecondsAgreeWithTheCLibraryAtBoundaries) {
  std::vector<std::int64_t> times = {0, -1, 86399, 86400, -86400, -86401};
  // Last and first second of years around leap rules: 1900 (no leap), 2000 (leap), 2100 (no leap).
  for (int year : {1600, 1899, 1900, 1969, 1970, 1999, 2000, 2024, 2100, 2400}) {
    std::tm jan1{};
    jan1.tm_year = year - 1900;
    jan1.tm_mday = 1;
    const std::int64_t start = timegm(&jan1);
    times.insert(times.end(), {start - 1, start, start + 59 * 86400, start + 364 * 86400 + 86399});
  }
  for (std::int64_t s = -5'000'000'000LL; s < 10'000'000'000LL; s += 7'777'777)
    times.push_back(s);
  for (std::int64_t s : times) {
    const std::time_t t = static_cast<std::time_t>(s);
    std::tm tm{};
    ASSERT_NE(gmtime_r(&t, &tm), nullptr);
    ASSERT_EQ(utcYearOfEpochSeconds(s), tm.tm_year + 1900) << s;
  }
}

} // namespace
