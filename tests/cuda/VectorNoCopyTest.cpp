// The column-batch evaluator never copies what it can borrow: intermediate column loads are views of the
// caller's columns, and the last element writes into the caller's output buffers. Checked with a fake
// kernel that looks at the pointers it is given, over a million rows (many tasks, many batches).
#include <atomic>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cuda/VectorEvalTestSupport.h"

using namespace quarry::test;
using vela::cuda::ScopedOpHandler;
using vela::ParserUtils::Program;

namespace {

constexpr unsigned long kMillion = 1000000;
constexpr int kLoadI64 = 153, kSubI64 = 1045;

struct PointerCheck {
  std::atomic<long> batches{0};
  std::atomic<long> borrowedInputs{0};
  std::atomic<long> directOutputs{0};
  std::atomic<unsigned long> rows{0};
};
PointerCheck g_check;

// a - b, recording whether a and b are the caller's columns at the batch's rows and whether the output
// is the caller's output buffer at the batch's rows.
void checkingSub(Eval& e) {
  auto b = e.popInput<std::int64_t>();
  auto a = e.popInput<std::int64_t>();
  auto out = e.prepareOutput<std::int64_t>();
  const auto& p = e.params();
  const auto* colA = reinterpret_cast<const std::int64_t*>(p.columns[0]) + e.startRow();
  const auto* colB = reinterpret_cast<const std::int64_t*>(p.columns[1]) + e.startRow();
  const auto* caller = reinterpret_cast<std::int64_t*>(p.outValues) + e.startRow();
  g_check.batches++;
  g_check.rows += e.rowCount();
  if (!a.isConstant() && !b.isConstant() && a.column() == colA && b.column() == colB)
    g_check.borrowedInputs++;
  if (out.column() == caller)
    g_check.directOutputs++;
  for (unsigned long r = 0; r < e.rowCount(); ++r)
    out.column()[r] = a.column()[r] - b.column()[r];
  e.push(std::move(out));
}

} // namespace

TEST(VectorNoCopy, LoadsAreBorrowedAndTheLastElementWritesTheCallersBuffer) {
  PrivatePool pool;
  ScopedOpHandler<Eval> sub(kSubI64, &checkingSub);
  std::vector<std::int64_t> a(kMillion), b(kMillion);
  for (unsigned long r = 0; r < kMillion; ++r) {
    a[r] = static_cast<std::int64_t>(r * 3);
    b[r] = static_cast<std::int64_t>(r);
  }
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kSubI64);
  Outputs out;
  g_check.batches = g_check.borrowedInputs = g_check.directOutputs = 0;
  g_check.rows = 0;
  ASSERT_EQ(runVector(p,
                      {reinterpret_cast<const unsigned char*>(a.data()),
                       reinterpret_cast<const unsigned char*>(b.data())},
                      kMillion, out),
            vela::cuda::RPN_EVAL_OK);
  EXPECT_EQ(g_check.rows.load(), kMillion);
  EXPECT_GT(g_check.batches.load(), 0);
  EXPECT_EQ(g_check.borrowedInputs.load(), g_check.batches.load());
  EXPECT_EQ(g_check.directOutputs.load(), g_check.batches.load());
  const auto* values = reinterpret_cast<const std::int64_t*>(out.values.data());
  for (unsigned long r = 0; r < kMillion; r += 997)
    ASSERT_EQ(values[r], static_cast<std::int64_t>(2 * r)) << r;
  EXPECT_EQ(values[kMillion - 1], static_cast<std::int64_t>(2 * (kMillion - 1)));
  // Nothing was charged for the intermediate loads or the result; the pool is back where it started.
  EXPECT_EQ(pool.pool.reservedBytes(), 0u);
}

TEST(VectorNoCopy, AMillionRowLoadOfEveryWidthComesBackUnchanged) {
  PrivatePool pool;
  // One load of each fixed width: i8, i16, i32, i64, dec128 (12 bytes), 16-byte values.
  for (int code : {117, 128, 139, 153, 186, 148}) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(vela::ParserUtils::get_type(code));
    const auto column = randomBytes(kMillion, width, static_cast<unsigned>(code));
    Program p;
    p.column(code, 0);
    Outputs out;
    ASSERT_EQ(runVector(p, {column.data()}, kMillion, out), vela::cuda::RPN_EVAL_OK);
    EXPECT_EQ(out.values, column);
    EXPECT_EQ(out.nulls, std::vector<unsigned char>(kMillion, 0));
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}
