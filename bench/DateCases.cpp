// Benchmark cases of date/time functions over timestamps and packed datetimes spread uniformly over the
// supported range (1000-01-01 to 2900-12-31). Each fused loop is the one expression written by hand for
// its one unit with the calendar routines the ops use (base/Calendar.h), without the unit dispatch.

#include <cstring>

#include "base/Calendar.h"
#include "base/ProgramBuilder.h"
#include "bench/BenchSupport.h"
#include "cuda/VectorEvalTypes.h"

namespace quarry::bench {

using vela::cuda::RPN_EVAL_OK;
using vela::ParserUtils::Program;
namespace cal = vela::calendar;

namespace {

// Op and load codes used below.
constexpr int kLoadI64 = 153, kConstI32 = 37, kConstI64 = 40;
constexpr int kTsYear = 1441, kDtWeek = 1381, kDtTrunc = 1416, kTsTimestampAdd = 1456,
              kTsTimestampDiff = 1454;
constexpr int kUnitDay = 4, kUnitMonth = 8;

long anyTimestamp(std::size_t c, unsigned long r) {
  const auto span = static_cast<std::uint64_t>(cal::kMaxTimestamp - cal::kMinTimestamp + 1);
  return cal::kMinTimestamp + static_cast<long>(mix(c, r) % span);
}
long anyDateTime(std::size_t c, unsigned long r) {
  return cal::create_timestamp_from_ms2(anyTimestamp(c, r), nullptr);
}
void genTimestamps(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<long, anyTimestamp>(c, column, b, e);
}
void genDateTimes(std::size_t c, InputColumn& column, unsigned long b, unsigned long e) {
  fill<long, anyDateTime>(c, column, b, e);
}

// The timestamp of a calendar date and a time of day (the ordinal of the date from 0001-01-01).
inline long instant(int year, int month, int day, long timeOfDay) {
  const long ordinal = cal::daysBeforeYear(year) + cal::dayOfYear(year, month, day);
  return (ordinal - 1) * cal::kMsPerDay + timeOfDay - cal::kEpochOffsetMs;
}

rpn_eval_result_t fusedTsYear(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  int* __restrict v = reinterpret_cast<int*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i)
    v[i] = cal::year_from_ms(a[i]);
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedDtWeek(const Dataset& in, OutputBuffers& out, unsigned long begin, unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  int* __restrict v = reinterpret_cast<int*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i)
    v[i] = (cal::dtDayOfYear(a[i]) - cal::dtDayOfWeek(a[i]) + 6) / 7 + 1;
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedTruncMonth(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                  unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  long* __restrict v = reinterpret_cast<long*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i) {
    if (cal::dtYearField(a[i]) == cal::kYear9999Field) {
      v[i] = a[i];
      continue;
    }
    int year, month, day, doy;
    cal::ymd_from_ms(cal::msecs_since_epoch(a[i]), year, month, day, doy, nullptr);
    v[i] = cal::create_timestamp_from_ms2(instant(year, month, 1, 0), nullptr);
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedAddMonth(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  long* __restrict v = reinterpret_cast<long*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i) {
    int year, month, day, doy;
    cal::ymd_from_ms(a[i], year, month, day, doy, nullptr);
    if (++month > 12) {
      month = 1;
      ++year;
    }
    const int last = cal::days_in_month(year, month);
    v[i] = instant(year, month, day < last ? day : last, (a[i] + cal::kEpochOffsetMs) % cal::kMsPerDay);
  }
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

rpn_eval_result_t fusedDiffDays(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                unsigned long end) {
  const long* __restrict a = col<long>(in, 0);
  const long* __restrict b = col<long>(in, 1);
  long* __restrict v = reinterpret_cast<long*>(out.values.data());
  for (unsigned long i = begin; i < end; ++i)
    v[i] = (b[i] - a[i]) / cal::kMsPerDay;
  clearStates(out, begin, end);
  return RPN_EVAL_OK;
}

} // namespace

void appendDateCases(std::vector<BenchCase>& cases) {
  addCase(cases, "ts_year", 4, {8}, genTimestamps, fusedTsYear)->column(kLoadI64, 0).op(kTsYear);
  // The week of year by the Sunday-based DT_WEEK: the ops offer no ISO week of their own.
  addCase(cases, "dt_week", 4, {8}, genDateTimes, fusedDtWeek)->column(kLoadI64, 0).op(kDtWeek);
  addCase(cases, "dt_trunc_month", 8, {8}, genDateTimes, fusedTruncMonth)
      ->constant(kConstI32, kUnitMonth)
      .column(kLoadI64, 0)
      .op(kDtTrunc);
  addCase(cases, "ts_add_month", 8, {8}, genTimestamps, fusedAddMonth)
      ->constant(kConstI32, kUnitMonth)
      .constant(kConstI64, 1L)
      .column(kLoadI64, 0)
      .op(kTsTimestampAdd);
  addCase(cases, "ts_diff_days", 8, {8, 8}, genTimestamps, fusedDiffDays)
      ->constant(kConstI32, kUnitDay)
      .column(kLoadI64, 0)
      .column(kLoadI64, 1)
      .op(kTsTimestampDiff);
}

} // namespace quarry::bench
