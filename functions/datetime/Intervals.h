#pragma once
// Interval arithmetic on timestamps and packed date, time and datetime values: field extraction,
// truncation, addition and difference by a unit, boundary counting and months-between. Every routine is
// a pure, inline function of its arguments and never fails; an out-of-range unit yields 0 or the
// unchanged value as documented per routine.
//
// Instants: a packed value is read as an instant through its year, day-of-year and time fields (the
// conversion to milliseconds), so the routines that move or truncate a value work on that instant and
// repack the result with every field recomputed. Arithmetic that a hostile operand could push past 64
// bits wraps (unsigned arithmetic); the fields of such results are unspecified but well-defined.

#include <cstdint>
#include <utility>

#include "base/Calendar.h"

namespace vela::cuda {

/// The interval unit of the interval ops (an i32 operand read as unsigned, so a negative unit is a unit
/// above 12).
enum class TimeInterval : unsigned {
  Millisecond = 0,
  Second = 1,
  Minute = 2,
  Hour = 3,
  Day = 4,
  Week = 5, // weeks start on Sunday
  DayOfWeek = 6,
  DayOfYear = 7,
  Month = 8,
  Quarter = 9,
  Year = 10,
  EpochMilliseconds = 11,
  EpochSeconds = 12,
};

inline TimeInterval toTimeInterval(int unit) {
  return static_cast<TimeInterval>(static_cast<unsigned>(unit));
}

namespace interval_detail {

inline constexpr long kUnitMs[6] = {1L, 1000L, 60000L, 3600000L, 86400000L, 604800000L};
/// Offsets of the boundary grids: 1901-01-01, and the Sunday 1899-01-01 for weeks.
inline constexpr long kGridAnchorMs = calendar::kFastAnchorMs;
inline constexpr long kWeekGridAnchorMs = 2240524800000L;

constexpr long wrapMul(long a, long b) {
  return static_cast<long>(static_cast<unsigned long>(a) * static_cast<unsigned long>(b));
}
constexpr long wrapSub(long a, long b) {
  return static_cast<long>(static_cast<unsigned long>(a) - static_cast<unsigned long>(b));
}
constexpr long floorDiv(long a, long b) {
  const long q = a / b;
  return q - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
constexpr long floorMod(long a, long b) {
  const long r = a % b;
  return r != 0 && ((r < 0) != (b < 0)) ? r + b : r;
}

/// Milliseconds of the time of day of a timestamp, in the decomposition ymd_from_ms uses (days since
/// 0001-01-01 truncated toward zero), so that days * kMsPerDay + timeOfDay gives the instant back.
constexpr long timeOfDayMs(long ms) {
  return calendar::wrapAdd(ms, calendar::kEpochOffsetMs) % calendar::kMsPerDay;
}

/// The timestamp of a calendar date (year >= 1 for exact results) plus a time of day in milliseconds.
constexpr long instantOf(int year, int month, int day, long timeOfDay) {
  const long ordinal = calendar::daysBeforeYear(year) + calendar::dayOfYear(year, month, day);
  return calendar::wrapAdd(wrapMul(ordinal - 1, calendar::kMsPerDay), timeOfDay - calendar::kEpochOffsetMs);
}

/// The day-of-month and time fields of a datetime taken together (bits 17 to 48), the remainder that
/// decides whether a month has been completed.
constexpr unsigned long monthRemainder(long dt) {
  return (static_cast<unsigned long>(dt) >> 17) & 0xFFFFFFFFUL;
}

/// Whole months from dt1 to dt2 by their calendar fields; `forward` tells whether the second instant
/// lies after the first.
constexpr long monthsBetweenFields(long dt1, long dt2, bool forward) {
  long months = 12L * (calendar::dtYear(dt2) - calendar::dtYear(dt1)) +
                (calendar::dtMonth(dt2) - calendar::dtMonth(dt1));
  const unsigned long r1 = monthRemainder(dt1), r2 = monthRemainder(dt2);
  if (forward && r2 < r1)
    --months;
  else if (!forward && r2 > r1)
    ++months;
  return months;
}

} // namespace interval_detail

/// ms plus n units (units 0..5 and 8..10). Milliseconds to weeks add n times the unit's length (64-bit
/// wrap-around). Months, quarters and years move the calendar date by whole months (floor division into
/// years and months), clamp the day to the new month's length (31 January plus one month is the last day
/// of February) and keep the time of day; a move of more than 2000 years either way returns ms unchanged.
/// Units 6, 7 and above 10 give the timestamp 0 (1970-01-01), not the input: a unit that cannot be added
/// yields the same fixed value whatever the operands, as the difference routines yield 0.
inline long timestampadd_from_ms(TimeInterval unit, long n, long ms) {
  using namespace interval_detail;
  const auto u = static_cast<unsigned>(unit);
  if (u <= 5)
    return calendar::wrapAdd(ms, wrapMul(n, kUnitMs[u]));
  long years, months;
  switch (unit) {
  case TimeInterval::Month:
    years = floorDiv(n, 12);
    months = floorMod(n, 12);
    break;
  case TimeInterval::Quarter: // 3n months = 12 floor(n / 4) + 3 (n mod 4), without forming 3n
    years = floorDiv(n, 4);
    months = 3 * floorMod(n, 4);
    break;
  case TimeInterval::Year:
    years = n;
    months = 0;
    break;
  default:
    return 0;
  }
  if (years < -2000 || years > 2000)
    return ms;
  int year, month, day, doy;
  calendar::ymd_from_ms(ms, year, month, day, doy, nullptr);
  year += static_cast<int>(years);
  month += static_cast<int>(months);
  if (month > 12) {
    month -= 12;
    ++year;
  }
  const int last = calendar::days_in_month(year, month);
  return instantOf(year, month, day < last ? day : last, timeOfDayMs(ms));
}

/// Whole units from ms1 to ms2. Units 0..5: the difference divided by the unit's length, truncated
/// toward zero. Months, quarters and years: whole months by the calendar fields (a month counts once the
/// later instant's day and time of day reach the earlier one's), then divided by 3 or 12 truncating.
/// Units 6, 7 and above 10 give 0.
inline long timestampdiff_from_ms(TimeInterval unit, long ms1, long ms2) {
  using namespace interval_detail;
  const long d = wrapSub(ms2, ms1);
  switch (unit) { // constant divisors, which the compiler turns into multiplications
  case TimeInterval::Millisecond:
    return d;
  case TimeInterval::Second:
    return d / kUnitMs[1];
  case TimeInterval::Minute:
    return d / kUnitMs[2];
  case TimeInterval::Hour:
    return d / kUnitMs[3];
  case TimeInterval::Day:
    return d / kUnitMs[4];
  case TimeInterval::Week:
    return d / kUnitMs[5];
  case TimeInterval::Month:
  case TimeInterval::Quarter:
  case TimeInterval::Year:
    break;
  default:
    return 0;
  }
  const long months = monthsBetweenFields(calendar::create_timestamp_from_ms2(ms1, nullptr),
                                          calendar::create_timestamp_from_ms2(ms2, nullptr), ms2 > ms1);
  return unit == TimeInterval::Month ? months : unit == TimeInterval::Quarter ? months / 3 : months / 12;
}

/// Whole months from datetime dt1 to dt2 (the month rule of timestampdiff_from_ms on the fields).
inline long timestampdiff_m(long dt1, long dt2) {
  return interval_detail::monthsBetweenFields(
      dt1, dt2, calendar::msecs_since_epoch(dt2) > calendar::msecs_since_epoch(dt1));
}

/// Unit boundaries crossed from ms1 to ms2 (negative when ms2 is earlier), on a grid anchored at
/// 1901-01-01 (weeks at the Sunday 1899-01-01). Unit 0 is the difference itself; months, quarters and
/// years come from the four-year-cycle decomposition (year_from_ms, month_from_ms), exact from 1901 to
/// 2099. Units 6, 7 and above 10 give 0.
inline long timeboundarydiff_from_ms(TimeInterval unit, long ms1, long ms2) {
  using namespace interval_detail;
  const long a1 = calendar::wrapAdd(ms1, kGridAnchorMs), a2 = calendar::wrapAdd(ms2, kGridAnchorMs);
  switch (unit) { // constant divisors, which the compiler turns into multiplications
  case TimeInterval::Millisecond:
    return wrapSub(ms2, ms1);
  case TimeInterval::Second:
    return floorDiv(a2, kUnitMs[1]) - floorDiv(a1, kUnitMs[1]);
  case TimeInterval::Minute:
    return floorDiv(a2, kUnitMs[2]) - floorDiv(a1, kUnitMs[2]);
  case TimeInterval::Hour:
    return floorDiv(a2, kUnitMs[3]) - floorDiv(a1, kUnitMs[3]);
  case TimeInterval::Day:
    return floorDiv(a2, kUnitMs[4]) - floorDiv(a1, kUnitMs[4]);
  case TimeInterval::Week:
    return floorDiv(calendar::wrapAdd(ms2, kWeekGridAnchorMs), kUnitMs[5]) -
           floorDiv(calendar::wrapAdd(ms1, kWeekGridAnchorMs), kUnitMs[5]);
  case TimeInterval::Month:
  case TimeInterval::Quarter:
  case TimeInterval::Year:
    break;
  default:
    return 0;
  }
  const long y1 = calendar::year_from_ms(ms1), y2 = calendar::year_from_ms(ms2);
  if (unit == TimeInterval::Year)
    return y2 - y1;
  const long m1 = calendar::month_from_ms(ms1), m2 = calendar::month_from_ms(ms2);
  if (unit == TimeInterval::Month)
    return 12 * (y2 - y1) + (m2 - m1);
  return (4 * y2 + (m2 - 1) / 3) - (4 * y1 + (m1 - 1) / 3);
}

/// timeboundarydiff_from_ms of two datetimes.
inline long timeboundarydiff(TimeInterval unit, long dt1, long dt2) {
  return timeboundarydiff_from_ms(unit, calendar::msecs_since_epoch(dt1), calendar::msecs_since_epoch(dt2));
}

/// The field of a unit: 0 millisecond, 1 second, 2 minute, 3 hour, 4 day of month, 5 Sunday-based week
/// of year, 6 day of week, 7 day of year, 8 month, 9 quarter, 10 year (9999 for the field 1023), 11 epoch
/// milliseconds, 12 epoch seconds; 0 above 12. Fields are read as stored.
inline long timestampPart(TimeInterval unit, long dt) {
  using namespace calendar;
  switch (unit) {
  case TimeInterval::Millisecond:
    return dtMsec(dt);
  case TimeInterval::Second:
    return dtSecond(dt);
  case TimeInterval::Minute:
    return dtMinute(dt);
  case TimeInterval::Hour:
    return dtHour(dt);
  case TimeInterval::Day:
    return dtDay(dt);
  case TimeInterval::Week:
    return (dtDayOfYear(dt) - dtDayOfWeek(dt) + 6) / 7 + 1;
  case TimeInterval::DayOfWeek:
    return dtDayOfWeek(dt);
  case TimeInterval::DayOfYear:
    return dtDayOfYear(dt);
  case TimeInterval::Month:
    return dtMonth(dt);
  case TimeInterval::Quarter:
    return (dtMonth(dt) - 1) / 3 + 1;
  case TimeInterval::Year:
    return dtYear(dt);
  case TimeInterval::EpochMilliseconds:
    return msecs_since_epoch(dt);
  case TimeInterval::EpochSeconds:
    return ((epochDaysOfDateTime(dt) * 24 + dtHour(dt)) * 60 + dtMinute(dt)) * 60 + dtSecond(dt);
  }
  return 0;
}

/// The datetime truncated to a unit: 1 to the second, 2 minute, 3 hour, 4 day, 5 the preceding Sunday,
/// 8 the first of the month, 9 of the quarter, 10 of the year, all at 00:00:00.000 for units 4 and up.
/// Other units return the value normalised (converted to milliseconds and back, which recomputes every
/// field from the year, day-of-year and time fields). A value whose year field is 1023 (9999) is returned
/// unchanged. The day of month and day of week are those of the instant, not the stored fields.
[[gnu::always_inline]] inline long timestampTrunc(TimeInterval unit, long dt) {
  using namespace calendar;
  if (dtYearField(dt) == kYear9999Field)
    return dt;
  const long ms = msecs_since_epoch(dt);
  long out = ms;
  const auto u = static_cast<unsigned>(unit);
  if (u == 1) {
    out = ms - interval_detail::floorMod(ms, 1000);
  } else if (u == 2) {
    out = ms - interval_detail::floorMod(ms, 60000);
  } else if (u == 3) {
    out = ms - interval_detail::floorMod(ms, 3600000);
  } else if (u == 4 || u == 5 || (u >= 8 && u <= 10)) {
    const long days = interval_detail::floorDiv(ms, kMsPerDay);
    if (u == 4) {
      out = days * kMsPerDay;
    } else if (u == 5) {
      out = (days - mod7(days + 4)) * kMsPerDay; // 1970-01-01 is a Thursday: days + 4 is 0 on Sundays
    } else {
      int year, month, day, doy;
      ymd_from_ms(ms, year, month, day, doy, nullptr);
      const int first = u == 8 ? month : u == 9 ? month - (month - 1) % 3 : 1;
      out = interval_detail::instantOf(year, first, 1, 0);
    }
  }
  return create_timestamp_from_ms2(out, nullptr);
}

/// A packed date plus n units (timestampadd_from_ms on its midnight), repacked; a date whose year field
/// is 1023 (9999) is returned unchanged.
inline int dateadd(TimeInterval unit, long n, int date) {
  using namespace calendar;
  if (dYearField(date) == kYear9999Field)
    return date;
  const long ms = timestampadd_from_ms(unit, n, epochDaysOfDate(date) * kMsPerDay);
  return dateTimeToDate(create_timestamp_from_ms2(ms, nullptr));
}

/// A packed time plus n units, wrapped within the day: milliseconds, seconds, minutes and hours shift by
/// n modulo a day; units 4, 5, 8, 9, 10 return the time unchanged; other units shift by 0 (the time is
/// repacked from its milliseconds within the day).
inline int timeadd(TimeInterval unit, long n, int time) {
  using namespace interval_detail;
  long shift = 0;
  switch (unit) {
  case TimeInterval::Millisecond:
    shift = floorMod(n, calendar::kMsPerDay);
    break;
  case TimeInterval::Second:
    shift = floorMod(n, 86400) * 1000;
    break;
  case TimeInterval::Minute:
    shift = floorMod(n, 1440) * 60000;
    break;
  case TimeInterval::Hour:
    shift = floorMod(n, 24) * 3600000;
    break;
  case TimeInterval::Day:
  case TimeInterval::Week:
  case TimeInterval::Month:
  case TimeInterval::Quarter:
  case TimeInterval::Year:
    return time;
  default:
    break;
  }
  return calendar::timeFromMs((calendar::timeToMs(time) + shift) % calendar::kMsPerDay);
}

/// Months from date2 to date1 (positive when date1 is later) and the fractional part: whole months by
/// year and month; equal days of month, or two last days of their months, give a whole number; otherwise
/// the day difference counts in 31sts of a month. Times of day are not considered.
inline std::pair<double, double> months_between(int date1, int date2) {
  using namespace calendar;
  const int y1 = dYear(date1), y2 = dYear(date2), m1 = dMonth(date1), m2 = dMonth(date2);
  const int day1 = dDay(date1), day2 = dDay(date2);
  const long months = 12L * (y1 - y2) + (m1 - m2);
  if (day1 == day2 || (day1 == days_in_month(y1, m1) && day2 == days_in_month(y2, m2)))
    return {static_cast<double>(months), 0.0};
  if (day2 >= day1) {
    const double fraction = (day1 + 31 - day2) / 31.0;
    return {static_cast<double>(months - 1) + fraction, fraction};
  }
  const double fraction = (day1 - day2) / 31.0;
  return {static_cast<double>(months) + fraction, fraction};
}

} // namespace vela::cuda
