// The clock ops: NOW (one value per call, taken between the clock readings around the call, with
// consistent fields), SLEEP (the operand unchanged; a cancelled job stops the wait) and CURRENT_YEAR (the
// call's parameter). NOW and SLEEP go through the entry point and the evaluators directly, since their
// values or timing differ between the harness's runs.
#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "base/CallContext.h"
#include "base/RamPool.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"
#include "tests/functions/datetime/DateTimeZoneTestModel.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;
using vela::job_info;
using vela::JobStatus;
using vela::cuda::TypedRpnEvaluatorParams;
using vela::cuda::TypedRpnValueEvaluator;
using vela::cuda::TypedRpnVectorEvaluator;

namespace {

constexpr TypedRpnOp kNow = 1431, kSleep = 1432, kCurrentYear = 2288;

long wallMs() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000;
}

/// Decodes a packed datetime with the test's own model; -1 when its derived fields disagree with the
/// date.
long decodedMs(long v) {
  const auto u = static_cast<unsigned long>(v);
  const long y = 1900 + static_cast<long>(v >> 53);
  const unsigned mo = (u >> 49) & 15, d = (u >> 44) & 31;
  const long h = (u >> 39) & 31, mi = (u >> 33) & 63, s = (u >> 27) & 63, ms = (u >> 17) & 1023;
  if (static_cast<int>((u >> 8) & 511) != dtmodel::dayOfYear(y, mo, d) ||
      static_cast<int>((u >> 5) & 7) != dtmodel::dayOfWeek(y, mo, d) || (u & 31) != 0)
    return -1;
  return dtmodel::msOf(y, mo, d, h, mi, s, ms);
}

struct Call {
  std::vector<long> values;
  std::vector<unsigned char> nulls;
  rpn_eval_result_t code = vela::cuda::RPN_EVAL_OK;
};

enum class Path { Entry, Vector, Row };

template <class T>
Call run(const Program& p, unsigned long rows, Path path, const std::vector<T>& column = {},
         const job_info* job = nullptr, int year = 2001) {
  Call c;
  c.values.assign(rows, -7);
  c.nulls.assign(rows, 9);
  std::vector<unsigned char> bytes(rows * sizeof(T));
  for (unsigned long r = 0; r < rows && !column.empty(); ++r)
    std::memcpy(bytes.data() + r * sizeof(T), &column[r % column.size()], sizeof(T));
  const unsigned char* columns[] = {bytes.data()};
  vela::RamPool pool("clock-test");
  vela::RamPoolThreadBinding binding(&pool);
  if (path == Path::Entry) {
    c.code = vela::cuda::evaluateTypedRpnHost(p.elements(), columns, 1,
                                              reinterpret_cast<unsigned char*>(c.values.data()),
                                              c.nulls.data(), nullptr, rows, 0, job, nullptr);
  } else {
    vela::EvaluatorCache cache;
    const TypedRpnEvaluatorParams params(nullptr, p.elements(), columns, 1,
                                         reinterpret_cast<unsigned char*>(c.values.data()), c.nulls.data(),
                                         nullptr, rows, year, 0, &cache, job, nullptr);
    c.code = path == Path::Row ? TypedRpnValueEvaluator::evaluate(params)
                               : TypedRpnVectorEvaluator::evaluate(params);
  }
  return c;
}

TEST(Now, OneInstantPerCallWithinTheClockReadings) {
  for (Path path : {Path::Entry, Path::Vector, Path::Row})
    for (unsigned long rows : {1ul, 64ul, 20000ul}) {
      SCOPED_TRACE(rows);
      Program p;
      p.op(kNow);
      const long before = wallMs();
      const Call c = run<long>(p, rows, path);
      const long after = wallMs();
      EXPECT_EQ(c.code, 0);
      const long first = decodedMs(c.values[0]);
      EXPECT_GE(first, before);
      EXPECT_LE(first, after);
      for (unsigned long r = 0; r < rows; ++r)
        if (c.values[r] != c.values[0] || c.nulls[r] != 0) {
          ADD_FAILURE() << "row " << r << " differs from row 0";
          break;
        }
    }
}

TEST(Now, TakesPartInArithmeticAsAnyDatetime) {
  // NOW, to a timestamp, minus itself read again in the same call: zero in every row.
  Program p;
  p.op(kNow).op(1421).op(kNow).op(1421).op(vela::ParserUtils::findOpByName("SUB_I64")->code);
  const Call c = run<long>(p, 5000, Path::Entry);
  for (long v : c.values)
    ASSERT_EQ(v, 0);
}

TEST(CurrentYear, IsTheCallsParameterInEveryRow) {
  Program p;
  p.op(kCurrentYear);
  for (Path path : {Path::Vector, Path::Row}) {
    std::vector<int> out(300, -1);
    std::vector<unsigned char> nulls(300, 9);
    vela::RamPool pool("year-test");
    vela::RamPoolThreadBinding binding(&pool);
    vela::EvaluatorCache cache;
    const TypedRpnEvaluatorParams params(nullptr, p.elements(), nullptr, 0,
                                         reinterpret_cast<unsigned char*>(out.data()), nulls.data(), nullptr,
                                         out.size(), 1987, 0, &cache, nullptr, nullptr);
    path == Path::Row ? TypedRpnValueEvaluator::evaluate(params) : TypedRpnVectorEvaluator::evaluate(params);
    for (int v : out)
      ASSERT_EQ(v, 1987);
  }
  // Through the entry point: the year it reads.
  HarnessCase(p).expectRows(std::vector<int>{vela::currentYear()});
}

TEST(Sleep, WithoutAJobPassesTheOperandAndDoesNotWait) {
  // 1,000 rows of 10 s each would take hours if any of them waited.
  const std::vector<double> seconds = {10.0,  0.0, -3.5, 1e300, std::numeric_limits<double>::quiet_NaN(),
                                       0.0004};
  HarnessCase(Program().column(kLoadF64, 0).op(kSleep)).addColumn(seconds).expectRows(seconds);
}

TEST(Sleep, ACancelledJobStopsTheWait) {
  Program p;
  p.column(kLoadF64, 0).op(kSleep);
  // Cancelled before the call: nothing waits.
  for (JobStatus status : {JobStatus::CancelRequested, JobStatus::Cancelled, JobStatus::Aborted})
    for (Path path : {Path::Entry, Path::Vector, Path::Row}) {
      job_info job(1, "sleep", static_cast<int>(status));
      const auto start = std::chrono::steady_clock::now();
      run<double>(p, 100, path, std::vector<double>{10.0}, &job);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
  // Cancelled while a row waits: the wait ends, and no later row starts one.
  for (Path path : {Path::Vector, Path::Row}) {
    job_info job(2, "sleep");
    std::thread canceller([&job] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      job.setStatus(JobStatus::Cancelled);
    });
    const auto start = std::chrono::steady_clock::now();
    const Call c = run<double>(p, path == Path::Row ? 1 : 3, path, std::vector<double>{10.0}, &job);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    canceller.join();
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_EQ(c.code, 0);
  }
}

TEST(Sleep, ARunningJobWaitsAndPassesTheOperand) {
  Program p;
  p.column(kLoadF64, 0).op(kSleep);
  job_info job(3, "sleep");
  const Call c = run<double>(p, 2, Path::Vector, std::vector<double>{0.0125, -1.0}, &job);
  double first, second;
  std::memcpy(&first, &c.values[0], sizeof first);
  std::memcpy(&second, &c.values[1], sizeof second);
  EXPECT_EQ(first, 0.0125);
  EXPECT_EQ(second, -1.0);
}

} // namespace
