// The clock ops: NOW (1431) and SLEEP (1432) of the string family, CURRENT_YEAR (2288) of the value
// family.
//
// NOW reads the real-time clock once per call: the first task to evaluate it stores the value in the
// call's EvaluatorCache and every other task, batch and row of the call reads that one value, so that
// NOW is one instant for the whole statement (a call without a cache, which only tests build, reads the
// clock once per batch). The value is the UTC wall-clock datetime to the millisecond; a failed clock
// read gives the epoch, 1970-01-01 00:00:00.000 (day of year 1, a Thursday).
//
// SLEEP passes its f64 operand through. In a call with a job, each row first waits round(seconds * 1000)
// milliseconds (halves up; nothing for zero, negative or NaN seconds) in slices of at most 10 ms, asking
// the job before every slice and stopping the wait once it is cancelled; the rows after that do not wait
// either (they ask before their first slice). Without a job no time passes. A wait longer than the
// clock's range ends only by cancellation.

#include <cmath>
#include <cstdint>
#include <ctime>
#include <tuple>

#include "base/Calendar.h"
#include "base/CallContext.h"
#include "base/TimeUtils.h"
#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace {

namespace cal = vela::calendar;

/// The current UTC datetime from the real-time clock; the epoch when the clock cannot be read.
long readClockDateTime() {
  timespec now{};
  long ms = 0;
  if (clock_gettime(CLOCK_REALTIME, &now) == 0)
    ms = static_cast<long>(now.tv_sec) * 1000 + static_cast<long>(now.tv_nsec) / 1000000;
  return cal::create_timestamp_from_ms2(ms, nullptr);
}

/// NOW: one clock value per call, pushed as a constant.
struct NowOp {
  static constexpr const char* kCacheKey = "NOW.datetime";

  template <class E>
  static void eval(E& e) {
    EvaluatorCache* cache = e.params().cache;
    const long now =
        cache != nullptr ? cache->getOrCreate<long>(kCacheKey, &readClockDateTime) : readClockDateTime();
    e.template evalConstValue<long>(now);
  }
};

/// Milliseconds of a SLEEP operand: round(seconds * 1000) with halves up; 0 for NaN and non-positive
/// values, the largest count for values beyond it.
std::uint64_t sleepMilliseconds(double seconds) {
  const double ms = std::floor(seconds * 1000.0 + 0.5);
  if (!(ms > 0.0))
    return 0;
  if (ms >= 0x1p64)
    return UINT64_MAX;
  return static_cast<std::uint64_t>(ms);
}

template <class E>
struct SleepFunc {
  const E* evaluator;

  double operator()(double seconds) const {
    if (evaluator->hasJobContext()) {
      const std::uint64_t ms = sleepMilliseconds(seconds);
      if (ms != 0)
        TimeUtils::sleepForMilliseconds(ms, [this] { return evaluator->isJobCancelled(); });
    }
    return seconds;
  }
};

/// SLEEP: the row functor needs the evaluator (its job), so the shape builds it from the evaluator
/// rather than from the element.
struct SleepOp {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, double>(e);
    auto out = e.template prepareOutput<double>();
    const SleepFunc<E> f{&e};
    e.runKernel(f, out, std::get<0>(inputs));
    e.push(std::move(out));
  }
};

/// CURRENT_YEAR: the call's current year, as a constant.
struct CurrentYearOp {
  template <class E>
  static void eval(E& e) {
    e.template evalConstValue<int>(e.params().currentYear);
  }
};

const OpRegistration kStringOps[] = {
    opEntry<NowOp>(1431),
    opEntry<SleepOp>(1432),
};
[[maybe_unused]] const bool kStringRegistered = registerOps(OpFamily::String, kStringOps);

const OpRegistration kValueOps[] = {
    opEntry<CurrentYearOp>(2288),
};
[[maybe_unused]] const bool kValueRegistered = registerOps(OpFamily::Value, kValueOps);

} // namespace

} // namespace vela::cuda
