// DateTime family: interval ops (difference, boundary difference, addition, truncation and parts by a
// unit), time buckets, months between, timestamps built from calendar fields and week starts.
//
// Datetime operands are read as instants (msecs_since_epoch) and results repacked with
// create_timestamp_from_ms2. A result outside the supported timestamp range is not an error here: its
// packed fields wrap as every packed value's do (the 11-bit year field).

#include "base/Calendar.h"
#include "cuda/EvalElementHandler.h"
#include "functions/datetime/IntervalShapes.h"
#include "functions/datetime/Intervals.h"

namespace vela::cuda {

namespace {

using namespace vela::calendar;

// --- differences, addition and truncation by a unit -------------------------------------------------

using U = TimeInterval;

long dateTimeDiff(U u, long dt1, long dt2) {
  return timestampdiff_from_ms(u, msecs_since_epoch(dt1), msecs_since_epoch(dt2));
}
long dateTimeBoundaryDiff(U u, long dt1, long dt2) {
  return timeboundarydiff(u, dt1, dt2);
}
long timestampDiff(U u, long ts1, long ts2) {
  return timestampdiff_from_ms(u, ts1, ts2);
}
long timestampBoundaryDiff(U u, long ts1, long ts2) {
  return timeboundarydiff_from_ms(u, ts1, ts2);
}
long dateTimeAdd(U u, long n, long dt) {
  return create_timestamp_from_ms2(timestampadd_from_ms(u, n, msecs_since_epoch(dt)), nullptr);
}
long timestampAdd(U u, long n, long ts) {
  return timestampadd_from_ms(u, n, ts);
}
int dateAdd(U u, long n, int d) {
  return dateadd(u, n, d);
}
int timeAdd(U u, long n, int t) {
  return timeadd(u, n, t);
}
[[gnu::always_inline]] inline long dateTimeTrunc(U u, long dt) {
  return timestampTrunc(u, dt);
}

using DateTimeDiffOp = UnitRoutineOp<dateTimeDiff, long, long, long>;
using DateTimeBoundaryDiffOp = UnitRoutineOp<dateTimeBoundaryDiff, long, long, long>;
using TimestampDiffOp = UnitRoutineOp<timestampDiff, long, long, long>;
using TimestampBoundaryDiffOp = UnitRoutineOp<timestampBoundaryDiff, long, long, long>;
using DateTimeAddOp = UnitRoutineOp<dateTimeAdd, long, long, long>;
using TimestampAddOp = UnitRoutineOp<timestampAdd, long, long, long>;
using DateAddOp = UnitRoutineOp<dateAdd, int, long, int>;
using TimeAddOp = UnitRoutineOp<timeAdd, int, long, int>;
using DateTimeTruncOp = UnitRoutineOp<dateTimeTrunc, long, long>;

/// A time truncated to a second (unit 1), minute (2) or hour (3); the other units, the date units among
/// them, leave it unchanged, as adding a date unit to a time does.
struct TimeTruncFunc {
  int operator()(int t, int unit) const {
    switch (toTimeInterval(unit)) {
    case TimeInterval::Second:
      return packTime(tHour(t), tMinute(t), tSecond(t), 0);
    case TimeInterval::Minute:
      return packTime(tHour(t), tMinute(t), 0, 0);
    case TimeInterval::Hour:
      return packTime(tHour(t), 0, 0, 0);
    default:
      return t;
    }
  }
};

// --- months between ----------------------------------------------------------------------------------

struct DateTimeMonthsBetweenFunc {
  double operator()(long dt1, long dt2) const {
    return months_between(dateTimeToDate(dt1), dateTimeToDate(dt2)).first;
  }
};
struct DateMonthsBetweenFunc {
  double operator()(int d1, int d2) const { return months_between(d1, d2).first; }
};

// --- time buckets ------------------------------------------------------------------------------------

/// The start of the width-millisecond bucket holding dt, buckets aligned to origin + offset: dt moved
/// back by ((dt - origin) - offset) mod width (made non-negative). A width of zero or less fails the row
/// with 18 and an overflowing subtraction with 17 (the value is then dt); a datetime whose year field is
/// 1023 (9999) is its own bucket.
struct TimeBucketFunc {
  long operator()(long width, long dt, long offset, long origin, rpn_eval_result_t& code) const {
    if (width <= 0) {
      code = RPN_EVAL_TIME_BUCKET_WIDTH;
      return dt;
    }
    const long a = msecs_since_epoch(dt);
    long e;
    if (__builtin_sub_overflow(a, msecs_since_epoch(origin), &e) || __builtin_sub_overflow(e, offset, &e)) {
      code = RPN_EVAL_OVERFLOW;
      return dt;
    }
    if (dtYearField(dt) == kYear9999Field)
      return dt;
    long r = e % width;
    if (r < 0)
      r += width;
    return create_timestamp_from_ms2(
        static_cast<long>(static_cast<unsigned long>(a) - static_cast<unsigned long>(r)), nullptr);
  }
};

// --- timestamps from fields --------------------------------------------------------------------------

struct DateToEpochMsecsFunc {
  long operator()(int year, int month, int day, int hour, int minute, int second, int msec,
                  rpn_eval_result_t& code) const {
    bool invalid = false;
    const long ms = date_to_epoch_msecs(year, month, day, hour, minute, second, msec, invalid);
    if (invalid)
      code = RPN_EVAL_DATE_PART_RANGE;
    return ms;
  }
};
struct DateToEpochSecsFunc {
  long operator()(int year, int month, int day, int hour, int minute, int second,
                  rpn_eval_result_t& code) const {
    bool invalid = false;
    const long s = date_to_epoch_secs(year, month, day, hour, minute, second, invalid);
    if (invalid)
      code = RPN_EVAL_DATE_PART_RANGE;
    return s;
  }
};

/// Days from 1970-01-01 to the Sunday that begins week `week` of `year`: the Sunday on or before
/// 1 January, plus 7 (week - 1) days. Any int year and week give a defined count (exact for years >= 1).
inline long weekStartDays(int year, int week) {
  int doy = 0, dow = 0;
  get_day_of_year_and_week(year, 1, 1, doy, dow);
  return daysBeforeYear(year) - (kEpochOrdinal - 1) - (dow - 1) + 7 * (static_cast<long>(week) - 1);
}
/// Midnight of the week start in epoch milliseconds; years far outside the calendar wrap in 64 bits.
struct WeekStartFunc {
  long operator()(int year, int week) const {
    return static_cast<long>(static_cast<unsigned long>(weekStartDays(year, week)) *
                             static_cast<unsigned long>(kMsPerDay));
  }
};
struct WeekStartSecondsFunc {
  long operator()(int year, int week) const { return weekStartDays(year, week) * 86400; }
};

const OpRegistration kOps[] = {
    opEntry<DateTimeDiffOp>(1389),
    opEntry<DateTimeDiffOp>(1410),
    opEntry<DateTimeBoundaryDiffOp>(1390),
    opEntry<DateTimeBoundaryDiffOp>(1411),
    opEntry<DateTimeAddOp>(1391),
    opEntry<DateTimeAddOp>(1412),
    opEntry<DateTimeAddOp>(1413),
    opEntry<ElementwiseOp<DateTimeMonthsBetweenFunc, double, long, long>>(1397),
    opEntry<ElementwiseOp<DateTimeMonthsBetweenFunc, double, long, long>>(1425),
    opEntry<DateTimeTruncOp>(1416),
    opEntry<ElementwiseOpWithState<TimeBucketFunc, long, long, long, long, long>>(1417),
    opEntry<ElementwiseOpWithState<DateToEpochMsecsFunc, long, int, int, int, int, int, int, int>>(1452),
    opEntry<ElementwiseOp<WeekStartFunc, long, int, int>>(1453),
    opEntry<TimestampDiffOp>(1454),
    opEntry<TimestampBoundaryDiffOp>(1455),
    opEntry<TimestampAddOp>(1456),
    opEntry<ElementwiseOpWithState<DateToEpochSecsFunc, long, int, int, int, int, int, int>>(1459),
    opEntry<ElementwiseOp<WeekStartSecondsFunc, long, int, int>>(1460),
    opEntry<ElementwiseOp<DateMonthsBetweenFunc, double, int, int>>(1471),
    opEntry<DateAddOp>(1476),
    opEntry<DateAddOp>(1477),
    opEntry<TimeAddOp>(1482),
    opEntry<TimeAddOp>(1486),
    opEntry<ElementwiseOp<TimeTruncFunc, int, int, int>>(1483),
    opEntry<ElementwiseOp<TimeTruncFunc, int, int, int>>(1485),
};

[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::DateTime, kOps);

} // namespace

} // namespace vela::cuda
