// Slices of the column-batch evaluator: the scratch's reuse and pool balance, results independent of slice
// boundaries, batches within a slice, memory bounded by the slice, loads borrowed.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <set>
#include <vector>

#include <gtest/gtest.h>
#include <tbb/task_arena.h>

#include "tests/cuda/VectorEvalTestSupport.h"
#include "tests/support/EvalHarness.h"

using namespace quarry::test;
using vela::ManagedBuffer;
using vela::cuda::ScopedOpHandler;
using vela::cuda::VectorEvalScratch;
using vela::cuda::VectorEvalStackEntry;
using vela::ParserUtils::Program;

namespace {

constexpr unsigned long kSlice = Eval::kSliceRows;
constexpr int kSubI64 = 1045, kMulI64 = 1061;

ManagedBuffer<unsigned char> dirtyColumn(std::size_t bytes) {
  ManagedBuffer<unsigned char> b(bytes);
  std::fill(b.begin(), b.end(), 0xEE);
  return b;
}

} // namespace

TEST(VectorEvalScratch, TakeReusesAGivenColumnUnclearedAtTheRequestedSize) {
  struct Case {
    std::size_t given, wanted;
    bool reused;
  };
  const Case cases[] = {
      {4096, 4096, true}, {4096, 1, true}, {4096, 0, true}, {4096, 4097, false}, {64, 8192, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "given " << c.given << ", wanted " << c.wanted);
    PrivatePool pool;
    {
      VectorEvalScratch scratch;
      ManagedBuffer<unsigned char> column = dirtyColumn(c.given);
      const unsigned char* storage = column.data();
      scratch.give(std::move(column));
      EXPECT_EQ(scratch.idleColumns(), 1u);
      const auto reservesBefore = pool.pool.reserveCalls();
      ManagedBuffer<unsigned char> taken = scratch.take(c.wanted);
      EXPECT_EQ(taken.size(), c.wanted);
      // A reused column keeps its stale cells (its next kernel overwrites them); a new one is zeroed.
      EXPECT_EQ(std::count(taken.begin(), taken.end(), c.reused ? 0xEE : 0), static_cast<long>(c.wanted));
      if (c.reused) { // a new column may be placed where the freed idle one was: no address check then
        EXPECT_EQ(taken.data(), storage);
      }
      EXPECT_EQ(pool.pool.reserveCalls() - reservesBefore, c.reused || c.wanted == 0 ? 0u : 1u);
      // Not reused: the idle column was too small and is given back rather than kept.
      EXPECT_EQ(scratch.idleColumns(), 0u);
      EXPECT_EQ(pool.pool.reservedBytes(), taken.chargedBytes());
    }
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}

TEST(VectorEvalScratch, AnEntryGivesItsColumnBackOnceWhereverItWasMoved) {
  PrivatePool pool;
  VectorEvalScratch scratch;
  {
    VectorEvalStackEntry a = VectorEvalStackEntry::scratchColumn(scratch, 512);
    ASSERT_NE(a.data, nullptr);
    const void* cells = a.data;
    VectorEvalStackEntry b = std::move(a);
    VectorEvalStackEntry c;
    c = std::move(b);
    EXPECT_EQ(c.data, cells);
    EXPECT_EQ(scratch.idleColumns(), 0u);
  }
  EXPECT_EQ(scratch.idleColumns(), 1u);
  {
    // Reassigning an entry that holds a scratch column gives the old column back first.
    VectorEvalStackEntry d = VectorEvalStackEntry::scratchColumn(scratch, 512);
    EXPECT_EQ(scratch.idleColumns(), 0u);
    d = VectorEvalStackEntry::ownedColumn(16);
    EXPECT_EQ(scratch.idleColumns(), 1u);
  }
  EXPECT_EQ(scratch.idleColumns(), 1u);
}

// (a / b) + c over rows whose zero divisors and minimum / -1 sit on both sides of slice boundaries: the
// division's column is an intermediate drawn from the scratch, its states go straight to outNulls.
TEST(VectorSlices, ResultsDoNotDependOnWhereSlicesEnd) {
  const unsigned long own = 3 * kSlice + 5;
  std::vector<std::int64_t> a(own), b(own), c(own);
  for (unsigned long r = 0; r < own; ++r) {
    a[r] = static_cast<std::int64_t>(r * 7919) - 5000;
    b[r] = static_cast<std::int64_t>(r % 13) - 6;
    c[r] = static_cast<std::int64_t>(r);
  }
  for (unsigned long r : {kSlice - 1, kSlice, kSlice + 1, 2 * kSlice, own - 1})
    b[r] = 0;
  for (unsigned long r : {kSlice - 2, 2 * kSlice + 1}) {
    a[r] = std::numeric_limits<std::int64_t>::min();
    b[r] = -1;
  }
  // The model: the division's value on a failed row is ignored (its cell ends zero).
  std::vector<std::int64_t> want(own);
  std::vector<std::uint8_t> states(own, 0);
  for (unsigned long r = 0; r < own; ++r) {
    if (b[r] == 0)
      states[r] = vela::cuda::RPN_EVAL_DIVIDE_BY_ZERO;
    else if (a[r] == std::numeric_limits<std::int64_t>::min() && b[r] == -1)
      states[r] = vela::cuda::RPN_EVAL_OVERFLOW;
    else
      want[r] = a[r] / b[r] + c[r];
  }
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64).column(kLoadI64, 2).op(kAddI64);
  HarnessCase hc(p);
  hc.addColumn(a).addColumn(b).addColumn(c);
  hc.rowCounts({kSlice - 1, kSlice, kSlice + 1, 2 * kSlice + 64, 5 * kSlice + 63});
  hc.expectRows(want, states, vela::cuda::RPN_EVAL_OVERFLOW);
}

namespace {

struct BatchLog {
  std::mutex mutex;
  std::vector<std::pair<unsigned long, unsigned long>> batches; // (start row, rows)
};
BatchLog g_batches;

// a * b, recording each batch it runs over.
void recordingMul(Eval& e) {
  auto b = e.popInput<std::int64_t>();
  auto a = e.popInput<std::int64_t>();
  auto out = e.prepareOutput<std::int64_t>();
  {
    std::lock_guard<std::mutex> lock(g_batches.mutex);
    g_batches.batches.emplace_back(e.startRow(), e.rowCount());
  }
  for (unsigned long r = 0; r < e.rowCount(); ++r)
    out.column()[r] = static_cast<std::int64_t>(static_cast<std::uint64_t>(a.column()[r]) *
                                                static_cast<std::uint64_t>(b.column()[r]));
  e.push(std::move(out));
}

} // namespace

// (a + b) * (a - b): two intermediate columns live at once in every batch.
TEST(VectorSlices, BatchesStayWithinASliceAndScratchDoesNotGrowWithTheRowCount) {
  ScopedOpHandler<Eval> mul(kMulI64, &recordingMul);
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64);
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kSubI64).op(kMulI64);
  const std::size_t threads = static_cast<std::size_t>(tbb::this_task_arena::max_concurrency());
  for (unsigned long rows : {kSlice * 4 + 1, 1000000ul}) {
    SCOPED_TRACE(testing::Message() << rows << " rows");
    std::vector<std::int64_t> a(rows), b(rows);
    for (unsigned long r = 0; r < rows; ++r) {
      a[r] = static_cast<std::int64_t>(r * 31 + 7);
      b[r] = static_cast<std::int64_t>(r * 17) - 100;
    }
    g_batches.batches.clear();
    PrivatePool pool;
    Outputs out;
    ASSERT_EQ(runVector(p,
                        {reinterpret_cast<const unsigned char*>(a.data()),
                         reinterpret_cast<const unsigned char*>(b.data())},
                        rows, out),
              vela::cuda::RPN_EVAL_OK);
    for (unsigned long r = 0; r < rows; r += 997) {
      const auto x = static_cast<std::uint64_t>(a[r]), y = static_cast<std::uint64_t>(b[r]);
      std::int64_t got;
      std::memcpy(&got, out.cell(r), sizeof got);
      ASSERT_EQ(got, static_cast<std::int64_t>((x + y) * (x - y))) << "row " << r;
    }

    // Every row in exactly one batch; every batch at most a slice and starting on a chunk boundary.
    auto batches = g_batches.batches;
    std::sort(batches.begin(), batches.end());
    unsigned long next = 0;
    for (auto [start, count] : batches) {
      EXPECT_EQ(start, next);
      EXPECT_EQ(start % Eval::kChunkRows, 0u);
      EXPECT_LE(count, kSlice);
      EXPECT_GT(count, 0u);
      next = start + count;
    }
    EXPECT_EQ(next, rows);

    // At most two intermediate columns of one slice per thread, and all of it given back.
    EXPECT_LE(pool.pool.peakBytes(), threads * 2 * kSlice * sizeof(std::int64_t));
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
    EXPECT_EQ(pool.pool.liveAllocations(), 0);
    // A batch allocates at most its two intermediates; later slices of a thread reuse earlier ones'.
    EXPECT_LE(pool.pool.reserveCalls(), 2 * batches.size());
  }
}

// a - b over a million rows (many tasks, many batches): every batch gets the caller's columns at its rows
// as inputs and the caller's output buffer at its rows as output, and nothing is charged to the pool.
TEST(VectorSlices, LoadsAreBorrowedAndTheLastElementWritesTheCallersBuffer) {
  static std::atomic<long> batches, borrowedAndDirect;
  auto checkingSub = [](Eval& e) {
    auto b = e.popInput<std::int64_t>();
    auto a = e.popInput<std::int64_t>();
    auto out = e.prepareOutput<std::int64_t>();
    const auto& p = e.params();
    ++batches;
    if (!a.isConstant() && !b.isConstant() &&
        a.column() == reinterpret_cast<const std::int64_t*>(p.columns[0]) + e.startRow() &&
        b.column() == reinterpret_cast<const std::int64_t*>(p.columns[1]) + e.startRow() &&
        out.column() == reinterpret_cast<std::int64_t*>(p.outValues) + e.startRow())
      ++borrowedAndDirect;
    for (unsigned long r = 0; r < e.rowCount(); ++r)
      out.column()[r] = a.column()[r] - b.column()[r];
    e.push(std::move(out));
  };
  ScopedOpHandler<Eval> sub(kSubI64, +checkingSub);
  const unsigned long rows = 1000000;
  std::vector<std::int64_t> a(rows), b(rows);
  for (unsigned long r = 0; r < rows; ++r) {
    a[r] = static_cast<std::int64_t>(r * 3);
    b[r] = static_cast<std::int64_t>(r);
  }
  PrivatePool pool;
  Outputs out;
  batches = borrowedAndDirect = 0;
  ASSERT_EQ(runVector(Program().column(kLoadI64, 0).column(kLoadI64, 1).op(kSubI64),
                      {bytes(a.data()), bytes(b.data())}, rows, out),
            vela::cuda::RPN_EVAL_OK);
  EXPECT_GT(batches.load(), 0);
  EXPECT_EQ(borrowedAndDirect.load(), batches.load());
  const auto* values = reinterpret_cast<const std::int64_t*>(out.values.data());
  for (unsigned long r = 0; r < rows; r += 997)
    ASSERT_EQ(values[r], static_cast<std::int64_t>(2 * r)) << r;
  EXPECT_EQ(values[rows - 1], static_cast<std::int64_t>(2 * (rows - 1)));
  EXPECT_EQ(pool.pool.peakBytes(), 0u);
}
